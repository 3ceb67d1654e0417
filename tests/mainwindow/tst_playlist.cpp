// The play list of the main window: add, remove and clear, pressed through their buttons.
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "core/forms.h"
#include "mainwindow/main_f.h"
#include "support/testsupport.h"

namespace {

QStringList entries() {
    QStringList out;
    for (int i = 0; i < main_f->List1.ListCount(); ++i) out << main_f->List1.List(i);
    return out;
}

void fill(const QStringList& items) {
    for (const QString& item : items) main_f->List1.AddItem(item);
}

}  // namespace

class PlayListTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        testing::InitRuntime();
        main_f->Show();
    }
    void init() {
        main_f->List1.Clear();
        main_f->selPath.clear();
    }
    void cleanupTestCase() { testing::UnloadAll(); }

    void listStartsEmpty() {
        QCOMPARE(main_f->List1.ListCount(), int16_t(0));
        QCOMPARE(main_f->List1.ListIndex(), int16_t(-1));
    }

    void addBeforeAnyFileClickAddsOneEmptyEntry() {
        testing::MsgBoxes boxes;
        QTest::mouseClick(static_cast<QPushButton*>(main_f->sentaku.widget()), Qt::LeftButton);
        QCOMPARE(entries(), QStringList({QString()}));
        QVERIFY(boxes.texts.isEmpty());
    }

    void addKeepsDuplicatesInOrderAndLeavesSelectionAndPath() {
        const QString a = QStringLiteral("/pics/a.jpg"), b = QStringLiteral("/pics/b.jpg");
        for (const QString& path : {a, a, b, a}) {
            main_f->selPath = path;
            main_f->sentaku.Value = true;
        }
        QCOMPARE(entries(), QStringList({a, a, b, a}));
        main_f->List1.ListIndex = 1;
        main_f->sentaku.Value = true;
        QCOMPARE(main_f->List1.ListIndex(), int16_t(1));
        QCOMPARE(main_f->selPath, a);
        QCOMPARE(entries(), QStringList({a, a, b, a, a}));
    }

    void removeSelected_data() {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<int>("selected");
        QTest::addColumn<QStringList>("after");
        const QStringList abcd{"a", "b", "c", "d"};
        QTest::newRow("first") << abcd << 0 << QStringList{"b", "c", "d"};
        QTest::newRow("middle") << abcd << 2 << QStringList{"a", "b", "d"};
        QTest::newRow("last") << abcd << 3 << QStringList{"a", "b", "c"};
        QTest::newRow("only") << QStringList{"a"} << 0 << QStringList{};
        QTest::newRow("one of duplicates")
            << QStringList{"x", "x", "y", "x"} << 1 << QStringList{"x", "y", "x"};
        QTest::newRow("empty entry") << QStringList{"a", "", "b"} << 1 << QStringList{"a", "b"};
    }
    void removeSelected() {
        QFETCH(QStringList, before);
        QFETCH(int, selected);
        QFETCH(QStringList, after);
        fill(before);
        main_f->List1.ListIndex = int16_t(selected);
        testing::MsgBoxes boxes;
        main_f->cll.Value = true;
        QCOMPARE(entries(), after);
        QVERIFY(boxes.texts.isEmpty());
        // The selection went with the entry: removing again asks for a selection.
        QCOMPARE(main_f->List1.ListIndex(), int16_t(-1));
        main_f->cll.Value = true;
        QCOMPARE(entries(), after);
        QCOMPARE(boxes.texts, QStringList({QStringLiteral("ファイルを選択してください。")}));
    }

    void removeWithoutSelection_data() {
        QTest::addColumn<QStringList>("items");
        QTest::newRow("empty list") << QStringList{};
        QTest::newRow("nothing selected") << QStringList{"a", "b", "c"};
        QTest::newRow("current but not selected") << QStringList{"a", "b"};
    }
    void removeWithoutSelection() {
        QFETCH(QStringList, items);
        fill(items);
        auto* list = static_cast<QListWidget*>(main_f->List1.widget());
        if (QByteArray(QTest::currentDataTag()) == "current but not selected") {
            // The list took the focus and has a current row, which the user has not selected.
            list->setFocus();
            list->selectionModel()->setCurrentIndex(list->model()->index(0, 0),
                                                    QItemSelectionModel::NoUpdate);
        }
        testing::MsgBoxes boxes;
        QTest::mouseClick(static_cast<QPushButton*>(main_f->cll.widget()), Qt::LeftButton);
        QCOMPARE(boxes.texts, QStringList({QStringLiteral("ファイルを選択してください。")}));
        QCOMPARE(boxes.titles, QStringList({QStringLiteral("varnel")}));
        QCOMPARE(entries(), items);
    }

    void removeAnEntryTheUserClicked() {
        fill({"a", "b", "c"});
        auto* list = static_cast<QListWidget*>(main_f->List1.widget());
        const QRect r = list->visualItemRect(list->item(1));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
        QCOMPARE(main_f->List1.ListIndex(), int16_t(1));
        testing::MsgBoxes boxes;
        main_f->cll.Value = true;
        QCOMPARE(entries(), QStringList({"a", "c"}));
        QVERIFY(boxes.texts.isEmpty());
    }

    void clear_data() {
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<int>("selected");
        QTest::newRow("empty") << QStringList{} << -1;
        QTest::newRow("entries") << QStringList{"a", "b", "a"} << -1;
        QTest::newRow("with a selection") << QStringList{"a", "b"} << 1;
    }
    void clear() {
        QFETCH(QStringList, items);
        QFETCH(int, selected);
        fill(items);
        main_f->List1.ListIndex = int16_t(selected);
        testing::MsgBoxes boxes;
        QTest::mouseClick(static_cast<QPushButton*>(main_f->allcll.widget()), Qt::LeftButton);
        QCOMPARE(main_f->List1.ListCount(), int16_t(0));
        QCOMPARE(main_f->List1.ListIndex(), int16_t(-1));
        QVERIFY(boxes.texts.isEmpty());
        // The list is usable again at once.
        main_f->selPath = QStringLiteral("/pics/z.jpg");
        main_f->sentaku.Value = true;
        QCOMPARE(entries(), QStringList({"/pics/z.jpg"}));
    }

    void addPastTheLimitIsRefused() {
        const QString last = QStringLiteral("/pics/last.jpg");
        for (int i = 0; i < 32766; ++i) main_f->List1.AddItem(QString::number(i));
        main_f->selPath = last;
        testing::MsgBoxes boxes;
        main_f->sentaku.Value = true;  // the 32767th entry still fits
        QCOMPARE(main_f->List1.ListCount(), int16_t(32767));
        QVERIFY(boxes.texts.isEmpty());

        main_f->List1.ListIndex = 5;
        main_f->selPath = QStringLiteral("/pics/one-too-many.jpg");
        main_f->sentaku.Value = true;
        QCOMPARE(boxes.texts.size(), 1);
        QVERIFY2(boxes.texts[0].contains(QStringLiteral("32767")), qPrintable(boxes.texts[0]));
        QCOMPARE(boxes.titles, QStringList({QStringLiteral("varnel")}));
        QCOMPARE(main_f->List1.ListCount(), int16_t(32767));
        QCOMPARE(main_f->List1.List(32766), last);
        QCOMPARE(main_f->List1.List(0), QStringLiteral("0"));
        QCOMPARE(main_f->List1.ListIndex(), int16_t(5));

        // Removing one makes room again.
        main_f->cll.Value = true;
        main_f->sentaku.Value = true;
        QCOMPARE(boxes.texts.size(), 1);
        QCOMPARE(main_f->List1.ListCount(), int16_t(32767));
        QCOMPARE(main_f->List1.List(32766), QStringLiteral("/pics/one-too-many.jpg"));
        QCOMPARE(main_f->List1.List(5), QStringLiteral("6"));
    }
};

QTEST_MAIN(PlayListTest)
#include "tst_playlist.moc"
