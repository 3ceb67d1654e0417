// File names kept as bytes: the path text of any name, and its shown form.
#include <QTest>
#include <algorithm>

#include "system/directory.h"
#include "system/filenames.h"

class FileNamesTest : public QObject {
    Q_OBJECT

private slots:
    void fileNames_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("ASCII") << QByteArray("/a/plain.jpg") << "/a/plain.jpg";
        QTest::newRow("UTF-8") << QByteArray("/\xE5\x86\x99/\xE6\x97\xA5\xE6\x9C\xAC.jpg")
                               << "/写/日本.jpg";
        QTest::newRow("Shift_JIS")
            << QByteArray("/\x8e\xca\x90\x5e/\x93\xfa\x96\x7b.jpg") << "/写真/日本.jpg";
        QTest::newRow("four bytes") << QByteArray("/\xF0\x9F\x93\xB7.jpg") << "/\U0001F4F7.jpg";
        QTest::newRow("Latin-1") << QByteArray("/caf\xe9.jpg") << "/caf\uFFFD.jpg";
        QTest::newRow("encoded surrogate") << QByteArray("/\xED\xB3\x80.jpg") << QString();
        QTest::newRow("overlong slash") << QByteArray("/\xC0\xAF.jpg") << QString();
        QTest::newRow("cut short") << QByteArray("/x\xE6\x97") << QString();
    }
    void fileNames() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, shown);
        const QString text = forms::PathText(bytes);
        QCOMPARE(forms::NativePath(text), bytes);
        QCOMPARE(text.contains(QLatin1Char('/')), true);
        if (!shown.isEmpty()) QCOMPARE(forms::DisplayPath(text), shown);
        QVERIFY(!forms::DisplayPath(text).isEmpty());
        const QString utf8 = QString::fromUtf8(bytes);
        if (utf8.toUtf8() == bytes)
            QCOMPARE(text, utf8);
        else
            QVERIFY(text != forms::PathText(forms::DisplayPath(text).toUtf8()));
    }

    // The lists' order, against QString's own comparisons of the names as shown.
    void listOrder() {
        const QList<QByteArray> names = {"b",
                                         "B",
                                         "a",
                                         "A",
                                         "_x",
                                         "[x",
                                         "~",
                                         "Z",
                                         "img_0010.jpg",
                                         "IMG_0010.jpg",
                                         "img_001.jpg",
                                         "abcdefgh",
                                         "ABCDEFGH1",
                                         "abcdefg",
                                         "abcdefghi",
                                         "\xC3\x9Crlaub.jpg",
                                         "urlaub.jpg",
                                         "\xC3\xBCrlaub.jpg",
                                         "\xC3\xA9"
                                         "clair",
                                         "\xC3\x89"
                                         "clair",
                                         "eclair",
                                         "\xE5\x86\x99\xE7\x9C\x9F",
                                         "\x8e\xca\x90\x5e",
                                         "\xF0\x9F\x93\xB7",
                                         "caf\xe9"};
        for (int rotate = 0; rotate < 3; ++rotate) {
            forms::Listing listing;
            for (int i = 0; i < names.size(); ++i) {
                listing.entries.emplace_back(listing.names.size(), forms::EntryKind::File);
                const QByteArray& n = names[(i * 7 + rotate) % names.size()];
                listing.names.append(n.constData(), size_t(n.size()) + 1);
            }
            const forms::Files files =
                forms::matchingFiles(listing, forms::Matcher(QStringLiteral("*")));
            QStringList expected;
            for (const QByteArray& n : names) expected << forms::DisplayName(n);
            std::sort(expected.begin(), expected.end(), [](const QString& a, const QString& b) {
                const int c = a.compare(b, Qt::CaseInsensitive);
                return c != 0 ? c < 0 : a < b;
            });
            QCOMPARE(files.shown, expected);
        }
    }
};

QTEST_GUILESS_MAIN(FileNamesTest)
#include "tst_filenames.moc"
