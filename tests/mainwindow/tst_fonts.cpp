// The start-up set-up of fonts and texts. With the IPA fonts hidden from fontconfig, another
// installed Japanese face is chosen, at the layouts' 9 points, that holds every caption.
#include <QAbstractButton>
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

class FontsTest : public QObject {
    Q_OBJECT

private slots:
    void captionsAndQtTexts() {
        for (const QString& family : QFontDatabase::families())
            QVERIFY2(!family.startsWith(QLatin1String("IPA")), qPrintable(family));
        if (QFontDatabase::families(QFontDatabase::Japanese).isEmpty())
            QSKIP("no Japanese face installed besides the IPA fonts (fonts-noto-cjk)");
        app::Initialise(*qApp);
        QCOMPARE(QApplication::font().pointSize(), 9);
        // Qt's own texts (a text box's context menu) in Japanese.
        QVERIFY(QCoreApplication::translate("QLineEdit", "&Copy") != QLatin1String("&Copy"));
        for (forms::Form* form :
             {static_cast<forms::Form*>(main_f), static_cast<forms::Form*>(setei)}) {
            QStringList captions{form->Caption()};
            for (QWidget* w : form->window()->findChildren<QWidget*>()) {
                if (auto* b = qobject_cast<QAbstractButton*>(w)) captions << b->text();
                if (auto* l = qobject_cast<QLabel*>(w)) captions << l->text();
                if (auto* g = qobject_cast<QGroupBox*>(w)) captions << g->title();
            }
            // The face itself, not a fallback the font engine would take glyphs from.
            const QRawFont face = QRawFont::fromFont(form->window()->font());
            for (const QString& caption : captions)
                for (const QChar c : caption)
                    QVERIFY2(face.supportsCharacter(c),
                             qPrintable(face.familyName() + " lacks " + c + " of " + caption));
        }
    }
};

// fontconfig reads its configuration as the application starts: one that includes the
// system's and rejects the IPA fonts.
int main(int argc, char** argv) {
    QTemporaryDir dir;
    QFile conf(dir.filePath(QStringLiteral("fonts.conf")));
    if (!conf.open(QIODevice::WriteOnly)) return 2;
    conf.write(R"(<?xml version="1.0"?><!DOCTYPE fontconfig SYSTEM "fonts.dtd"><fontconfig>
<include ignore_missing="yes">/etc/fonts/fonts.conf</include><selectfont><rejectfont>
<glob>*/ipafont*</glob><glob>*/fonts-japanese-*</glob></rejectfont></selectfont></fontconfig>)");
    conf.close();
    qputenv("FONTCONFIG_FILE", QFile::encodeName(conf.fileName()));
    QApplication application(argc, argv);
    FontsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_fonts.moc"
