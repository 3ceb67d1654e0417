// The start-up set-up of fonts and texts. The captions' face: with the IPA fonts hidden from
// fontconfig, another installed Japanese face is chosen, at the layouts' 9 points, and it
// holds every character of every caption.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QRawFont>
#include <QTemporaryDir>
#include <QTest>

#include "core/app.h"
#include "core/forms.h"
#include "mainwindow/main_f.h"
#include "settings/setei.h"
#include "support/testsupport.h"

class FontsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        testing::InitRuntime();
        for (const QString& family : QFontDatabase::families())
            QVERIFY2(!family.startsWith(QLatin1String("IPA")), qPrintable(family));
        if (QFontDatabase::families(QFontDatabase::Japanese).isEmpty())
            QSKIP("no Japanese face installed besides the IPA fonts (fonts-noto-cjk)");
        app::Initialise(*qApp);
    }

    // Qt's own texts (a text box's context menu, standard buttons) come in Japanese.
    void qtTextsInJapanese() {
        QVERIFY(QCoreApplication::translate("QLineEdit", "&Copy") != QLatin1String("&Copy"));
    }

    void everyCaptionHasItsGlyphs() {
        QCOMPARE(QApplication::font().pointSize(), 9);
        std::vector<forms::Form*> forms{main_f, setei};
        for (forms::Form* form : forms) {
            QStringList captions{form->Caption()};
            for (QWidget* w : form->window()->findChildren<QWidget*>()) {
                if (auto* b = qobject_cast<QAbstractButton*>(w)) captions << b->text();
                if (auto* l = qobject_cast<QLabel*>(w)) captions << l->text();
                if (auto* g = qobject_cast<QGroupBox*>(w)) captions << g->title();
                for (QAction* a : w->actions()) captions << a->text();
            }
            // The face itself, not a fallback the font engine would take glyphs from.
            const QRawFont face = QRawFont::fromFont(form->window()->font());
            QVERIFY(face.isValid());
            for (const QString& caption : captions)
                for (const QChar c : caption)
                    QVERIFY2(face.supportsCharacter(c),
                             qPrintable(QStringLiteral("%1 lacks %2 of \"%3\"")
                                            .arg(face.familyName(), c, caption)));
        }
    }
};

// fontconfig reads its configuration when the application starts: it is given one that
// includes the system's and rejects the IPA fonts.
int main(int argc, char** argv) {
    QTemporaryDir dir;
    const QString conf = dir.filePath(QStringLiteral("fonts.conf"));
    QFile file(conf);
    if (!file.open(QIODevice::WriteOnly)) return 2;
    file.write(R"(<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "fonts.dtd">
<fontconfig>
  <include ignore_missing="yes">/etc/fonts/fonts.conf</include>
  <selectfont><rejectfont>
    <glob>*/ipafont*</glob>
    <glob>*/fonts-japanese-*</glob>
    <pattern><patelt name="family"><string>IPAGothic</string></patelt></pattern>
    <pattern><patelt name="family"><string>IPAPGothic</string></patelt></pattern>
  </rejectfont></selectfont>
</fontconfig>
)");
    file.close();
    qputenv("FONTCONFIG_FILE", QFile::encodeName(conf));
    QApplication application(argc, argv);
    FontsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_fonts.moc"
