// The found-files model and the file list over it: texts of the columns, the sort rules of
// each column kind, update mode, header clicks and the incremental search.
#include "widgets/FileListView.h"
#include "widgets/FoundFilesModel.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QtTest>

using namespace pictavo;

namespace {

constexpr uint32_t DosTime(int year, int month, int day, int hour, int minute, int second) {
    return (static_cast<uint32_t>(year - 1980) << 25) | (static_cast<uint32_t>(month) << 21) |
           (static_cast<uint32_t>(day) << 16) | (static_cast<uint32_t>(hour) << 11) |
           (static_cast<uint32_t>(minute) << 5) | static_cast<uint32_t>(second / 2);
}

TIconFileRow Row(const std::string& name, int icons = 1, int64_t kb = 1, uint32_t time = DosTime(2020, 1, 2, 3, 4, 6),
                 const std::string& folder = "/f/") {
    return TIconFileRow{name, folder, folder + name, icons, kb, time};
}

QStringList Column(const QAbstractItemModel& model, int column) {
    QStringList texts;
    for (int r = 0; r < model.rowCount(); ++r) texts << model.index(r, column).data().toString();
    return texts;
}

}  // namespace

class FoundFilesModelTest : public QObject {
    Q_OBJECT
private slots:
    void timeText_data() {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<uint>("time");
        QTest::addColumn<QString>("text");
        const QLocale german(QLocale::German, QLocale::Germany);
        const QLocale chinese(QLocale::Chinese, QLocale::China);
        QTest::newRow("de") << german << uint{DosTime(2021, 6, 15, 13, 45, 30)} << "15.06.21 13:45:30";
        QTest::newRow("de, midnight") << german << uint{DosTime(2021, 6, 15, 0, 0, 0)} << "15.06.21";
        QTest::newRow("de, one second") << german << uint{DosTime(2021, 6, 15, 0, 0, 2)} << "15.06.21 00:00:02";
        QTest::newRow("zh") << chinese << uint{DosTime(2024, 3, 5, 14, 7, 8)} << "2024/3/5 14:07:08";
        QTest::newRow("C") << QLocale::c() << uint{DosTime(2024, 3, 5, 14, 7, 8)} << "5 Mar 2024 14:07:08";
    }
    void timeText() {
        QFETCH(QLocale, locale);
        QFETCH(uint, time);
        QFETCH(QString, text);
        QCOMPARE(FileTimeText(time, locale), text);
    }

    void columnsAndCaptions() {
        TFoundFilesModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model.columnCount(), 5);
        QStringList captions;
        for (int c = 0; c < 5; ++c) captions << model.headerData(c, Qt::Horizontal).toString();
        QCOMPARE(captions, (QStringList{"文件名称    ", "图标   ", "修改时间    ", "大小 [KB]  ", "位置      "}));
        model.AddRow(Row("图标.ico", 3, 2, DosTime(2021, 6, 15, 13, 45, 30), "/一/二/"));
        QCOMPARE(model.index(0, 0).data().toString(), QStringLiteral("图标.ico"));
        QCOMPARE(model.index(0, 1).data().toString(), QStringLiteral("3"));
        QCOMPARE(model.index(0, 2).data().toString(), FileTimeText(DosTime(2021, 6, 15, 13, 45, 30)));
        QCOMPARE(model.index(0, 3).data().toString(), QStringLiteral("2"));
        QCOMPARE(model.index(0, 4).data().toString(), QStringLiteral("/一/二/"));
        for (const int c : {1, 3}) {
            QCOMPARE(model.index(0, c).data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight,
                     Qt::AlignRight);
            QCOMPARE(model.headerData(c, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight,
                     Qt::AlignRight);
        }
        model.Clear();
        QCOMPARE(model.rowCount(), 0);
    }

    // Rows added in update mode stay at the end until the outermost EndUpdate sorts them (by
    // name while no header was clicked); outside update mode a row goes to its sorted place.
    void updateModeAndAutomaticSort() {
        TFoundFilesModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.EndUpdate();  // outside update mode: nothing
        QVERIFY(!model.Updating());
        // The first row goes to the views at once; those after it wait until the reveal
        // interval has passed ...
        model.RevealInterval = 60'000;
        model.BeginUpdate();
        model.BeginUpdate();
        for (const char* name : {"c", "a"}) model.AddRow(Row(name));
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.PendingCount(), 1);
        // ... and go to them at the end, in the order they came, ...
        model.RevealInterval = 0;
        model.AddRow(Row("b"));
        QCOMPARE(model.PendingCount(), 0);
        QCOMPARE(Column(model, 0), (QStringList{"c", "a", "b"}));
        model.EndUpdate();
        QCOMPARE(Column(model, 0), (QStringList{"c", "a", "b"}));
        const QPersistentModelIndex c = model.index(0, 3);
        model.EndUpdate();
        model.EndUpdate();
        QCOMPARE(Column(model, 0), (QStringList{"a", "b", "c"}));
        QCOMPARE(c.row(), 2);
        QCOMPARE(c.column(), 3);
        model.AddRow(Row("bb"));
        QCOMPARE(Column(model, 0), (QStringList{"a", "b", "bb", "c"}));
        // ... or once the interval has passed with no row after them. Rows held back when update
        // mode ends are given to the views, sorted; a clear drops them.
        model.RevealInterval = 50;
        model.BeginUpdate();
        model.AddRow(Row("0"));
        model.AddRow(Row("00"));
        QCOMPARE(model.PendingCount(), 1);
        QTRY_COMPARE(model.PendingCount(), 0);
        model.EndUpdate();
        QCOMPARE(Column(model, 0), (QStringList{"0", "00", "a", "b", "bb", "c"}));
        model.RevealInterval = 60'000;
        model.BeginUpdate();
        model.AddRow(Row("1"));
        model.AddRow(Row("2"));
        model.Clear();
        model.EndUpdate();
        QCOMPARE(model.rowCount(), 0);
    }

    // Rows are added in name order A, B, a, b; equal keys keep the order the rows had.
    void sortRulesByColumnKind_data() {
        QTest::addColumn<int>("column");
        QTest::addColumn<QStringList>("ascending");  // names in the expected order
        QTest::addColumn<QStringList>("descending");
        QTest::newRow("name: case significant")
            << 0 << QStringList{"A", "B", "a", "b"} << QStringList{"b", "a", "B", "A"};
        QTest::newRow("icons: numbers") << 1 << QStringList{"b", "a", "B", "A"} << QStringList{"A", "B", "a", "b"};
        QTest::newRow("time") << 2 << QStringList{"B", "b", "A", "a"} << QStringList{"A", "a", "b", "B"};
        QTest::newRow("size: 9 before 10") << 3 << QStringList{"A", "a", "b", "B"} << QStringList{"B", "b", "A", "a"};
        QTest::newRow("location") << 4 << QStringList{"A", "a", "b", "B"} << QStringList{"B", "b", "a", "A"};
    }
    void sortRulesByColumnKind() {
        QFETCH(int, column);
        QFETCH(QStringList, ascending);
        QFETCH(QStringList, descending);
        QLocale::setDefault(QLocale::c());
        TFoundFilesModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.AddRow(Row("a", 10, 9, DosTime(2022, 1, 1, 0, 0, 0), "/x/"));
        model.AddRow(Row("b", 9, 10, DosTime(2021, 12, 31, 23, 59, 58), "/y/"));
        model.AddRow(Row("A", 100, 9, DosTime(2022, 1, 1, 0, 0, 0), "/w/"));
        model.AddRow(Row("B", 11, 100, DosTime(2010, 5, 5, 5, 5, 4), "/z/"));
        QCOMPARE(Column(model, 0), (QStringList{"A", "B", "a", "b"}));
        model.ToggleSort(column);
        QCOMPARE(model.Direction(column), TSortDirection::Ascending);
        QCOMPARE(Column(model, 0), ascending);
        model.ToggleSort(column);
        QCOMPARE(model.Direction(column), TSortDirection::Descending);
        QCOMPARE(Column(model, 0), descending);
        model.ToggleSort(column);
        QCOMPARE(Column(model, 0), ascending);
    }

    // Equal keys keep the order the rows had, in either direction.
    void sortIsStable() {
        TFoundFilesModel model;
        for (const char* name : {"d", "c", "b", "a"}) model.AddRow(Row(name, 1, 5));
        model.AddRow(Row("e", 1, 7));
        model.ToggleSort(TFoundFilesModel::colSize);
        QCOMPARE(Column(model, 0), (QStringList{"a", "b", "c", "d", "e"}));
        model.ToggleSort(TFoundFilesModel::colSize);
        QCOMPARE(Column(model, 0), (QStringList{"e", "a", "b", "c", "d"}));
        QCOMPARE(model.SortColumn(), int{TFoundFilesModel::colSize});
        QCOMPARE(model.Direction(TFoundFilesModel::colName), TSortDirection::None);
    }

    void typedTextComparison_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("match");
        QTest::newRow("AB") << "ab"
                            << "AB.ico" << true;
        QTest::newRow("Ab") << "ab"
                            << "Ab.ico" << true;
        QTest::newRow("ab") << "ab"
                            << "ab.ico" << true;
        QTest::newRow("a is shorter") << "ab"
                                      << "a" << false;
        QTest::newRow("b") << "ab"
                           << "b.ico" << false;
        QTest::newRow("whole caption") << "AB.ICO"
                                       << "ab.ico" << true;
        QTest::newRow("Chinese") << "图标"
                                 << "图标库.icl" << true;
        QTest::newRow("Greek case") << "ω"
                                    << "Ω.ico" << true;
    }
    void typedTextComparison() {
        QFETCH(QString, typed);
        QFETCH(QString, caption);
        QFETCH(bool, match);
        QCOMPARE(CompareTypedText(typed, caption) == 0, match);
    }

    // Typed characters gather into one search text; the first row from the current one that
    // begins with it becomes current.
    void incrementalSearchInTheView() {
        TFileListView view;
        view.SearchInterval = 60'000;
        for (const char* name : {"a", "AB1", "Ab2", "ab3", "b"}) view.Model()->AddRow(Row(name));
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.setCurrentIndex(view.Model()->index(view.Model()->rowCount() - 1, 0));  // "b"
        QTest::keyClicks(&view, "ab");
        QCOMPARE(view.SearchText(), QStringLiteral("ab"));
        QCOMPARE(view.Model()->File(view.CurrentRow()).Name, QStringLiteral("AB1"));
        QTest::keyClicks(&view, "3");
        QCOMPARE(view.Model()->File(view.CurrentRow()).Name, QStringLiteral("ab3"));
        QTest::keyClicks(&view, "x");  // nothing matches: the current row stays
        QCOMPARE(view.Model()->File(view.CurrentRow()).Name, QStringLiteral("ab3"));
        view.SearchInterval = -1;  // every character starts a new search, after the current row
        QTest::keyClicks(&view, "a");
        QCOMPARE(view.Model()->File(view.CurrentRow()).Name, QStringLiteral("AB1"));
    }

    void headerClicksToggleTheColumn() {
        TFileListView view;
        QCOMPARE(view.header()->height(), 18);
        QVERIFY(!view.header()->sectionsMovable());
        QCOMPARE(view.selectionMode(), QAbstractItemView::SingleSelection);
        QCOMPARE(view.selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(view.columnWidth(0), 200);
        QCOMPARE(view.columnWidth(4), 300);
        for (const int kb : {10, 9, 100}) view.Model()->AddRow(Row("f" + std::to_string(kb), 1, kb));
        emit view.header()->sectionClicked(3);
        QCOMPARE(Column(*view.Model(), 3), (QStringList{"9", "10", "100"}));
        QCOMPARE(view.header()->sortIndicatorOrder(), Qt::AscendingOrder);
        emit view.header()->sectionClicked(3);
        QCOMPARE(Column(*view.Model(), 3), (QStringList{"100", "10", "9"}));
        QCOMPARE(view.header()->sortIndicatorOrder(), Qt::DescendingOrder);
    }
};

QTEST_MAIN(FoundFilesModelTest)
#include "FoundFilesModelTest.moc"
