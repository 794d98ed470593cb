// The dictionary list's table view as SetUpDictionaryView makes it, over an
// entry model.
#include "DictionaryView.h"
#include "EngineTestSupport.h"
#include "EntryListModel.h"

#include <QApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

#include "QtTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

class DictionaryViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        AddAll(replacer, {{u"a", u"5"}, {u"b", u"4"}, {u"c", u"3"}, {u"d", u"2"}, {u"e", u"1"}});
        model.Refresh();
        SetUpDictionaryView(view, model);
        view.resize(480, 300);
    }

    void SelectRows(std::initializer_list<int> rows)
    {
        for (int row : rows)
            view.selectionModel()->select(model.index(row, 0),
                                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    std::vector<int> SelectedRows() const
    {
        std::vector<int> out;
        for (const QModelIndex& index : view.selectionModel()->selectedRows())
            out.push_back(index.row());
        std::sort(out.begin(), out.end());
        return out;
    }

    Replacer replacer;
    EntryListModel model{replacer};
    DictionaryView view;
};

TEST_F(DictionaryViewTest, ReportLook)
{
    EXPECT_EQ(view.model(), &model);
    EXPECT_EQ(view.selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(view.selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(view.editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_TRUE(view.verticalHeader()->isHidden());
    EXPECT_FALSE(view.showGrid());
    EXPECT_FALSE(view.wordWrap());
    EXPECT_FALSE(view.isSortingEnabled());
    EXPECT_TRUE(view.horizontalHeader()->sectionsClickable());
    EXPECT_FALSE(view.horizontalHeader()->isSortIndicatorShown());
    EXPECT_EQ(view.horizontalHeader()->defaultAlignment(), Qt::AlignLeft | Qt::AlignVCenter);
    EXPECT_EQ(view.columnWidth(0), 150);
    EXPECT_EQ(view.columnWidth(1), 300);
    EXPECT_EQ(view.verticalHeader()->sectionResizeMode(0), QHeaderView::Fixed);
    EXPECT_EQ(view.rowHeight(0), view.rowHeight(4));
    EXPECT_GE(view.rowHeight(0), view.fontMetrics().height());
}

TEST_F(DictionaryViewTest, ColumnWidthsSurviveAReload)
{
    model.ReloadRows();
    EXPECT_EQ(view.columnWidth(0), 150);
    EXPECT_EQ(view.columnWidth(1), 300);
}

TEST_F(DictionaryViewTest, DoubleClickDoesNotEdit)
{
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    QSignalSpy doubleClicked(&view, &QAbstractItemView::doubleClicked);
    const QPoint where = view.visualRect(model.index(1, 0)).center();
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, where);
    QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, where);
    EXPECT_EQ(doubleClicked.count(), 1);
    // No editor was opened.
    EXPECT_EQ(view.viewport()->findChild<QLineEdit*>(), nullptr);
    EXPECT_EQ(view.indexWidget(model.index(1, 0)), nullptr);
    EXPECT_EQ(FirstSelectedRow(view), 1);
}

TEST_F(DictionaryViewTest, SelectionKeepsItsRowNumbersAcrossAHeaderClickSort)
{
    int sorts = 0;
    QObject::connect(view.horizontalHeader(), &QHeaderView::sectionClicked, &view, [&](int column) {
        if (model.SortByColumn(column))
            ++sorts;
    });
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    SelectRows({1, 3});
    ASSERT_EQ(SelectedRows(), (std::vector<int>{1, 3}));

    QHeaderView* header = view.horizontalHeader();
    const QPoint afterHeader(header->sectionViewportPosition(1) + 20, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, afterHeader);
    EXPECT_EQ(sorts, 1);
    EXPECT_FALSE(header->isSortIndicatorShown());
    EXPECT_EQ(Column(model, 1), (QStringList{"1", "2", "3", "4", "5"}));
    EXPECT_EQ(SelectedRows(), (std::vector<int>{1, 3}));
    EXPECT_EQ(Cell(model, 1, 0), QStringLiteral("d"));
    EXPECT_EQ(Cell(model, 3, 0), QStringLiteral("b"));

    // A second click sorts ascending again.
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, afterHeader);
    EXPECT_EQ(sorts, 2);
    EXPECT_EQ(Column(model, 1), (QStringList{"1", "2", "3", "4", "5"}));

    const QPoint beforeHeader(header->sectionViewportPosition(0) + 20, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, beforeHeader);
    EXPECT_EQ(sorts, 3);
    EXPECT_EQ(Column(model, 0), (QStringList{"a", "b", "c", "d", "e"}));
    EXPECT_EQ(SelectedRows(), (std::vector<int>{1, 3}));
}

TEST_F(DictionaryViewTest, SelectionKeepsItsRowNumbersAcrossASort)
{
    SelectRows({1, 3});
    model.SortByColumn(EntryListModel::AfterColumn);
    EXPECT_EQ(SelectedRows(), (std::vector<int>{1, 3}));
    EXPECT_EQ(FirstSelectedRow(view), 1);
}

TEST_F(DictionaryViewTest, FirstSelectedRowIsTheLowest)
{
    EXPECT_EQ(FirstSelectedRow(view), -1);
    SelectRows({3});
    SelectRows({1});
    view.selectionModel()->setCurrentIndex(model.index(3, 0), QItemSelectionModel::NoUpdate);
    EXPECT_EQ(FirstSelectedRow(view), 1);
    view.clearSelection();
    EXPECT_EQ(FirstSelectedRow(view), -1);
    SelectRows({4});
    EXPECT_EQ(FirstSelectedRow(view), 4);
}

TEST_F(DictionaryViewTest, CtrlClickExtendsTheSelection)
{
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.visualRect(model.index(3, 1)).center());
    QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::ControlModifier,
                      view.visualRect(model.index(1, 0)).center());
    EXPECT_EQ(SelectedRows(), (std::vector<int>{1, 3}));
    EXPECT_EQ(FirstSelectedRow(view), 1);
}

// Home and End go to the first and last entry of the list, not to its first
// and last column, and move the selection with the current row as the arrow
// keys do, Ctrl or not; Shift grows the selection to it.
TEST_F(DictionaryViewTest, HomeAndEndGoToTheFirstAndLastEntry)
{
    struct Case {
        const char* name;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int row;                   // the current row after the key, from row 2
        std::vector<int> selected; // the rows selected after it
    };
    const Case cases[] = {
        {"Home", Qt::Key_Home, Qt::NoModifier, 0, {0}},
        {"End", Qt::Key_End, Qt::NoModifier, 4, {4}},
        {"Ctrl+Home", Qt::Key_Home, Qt::ControlModifier, 0, {0}},
        {"Ctrl+End", Qt::Key_End, Qt::ControlModifier, 4, {4}},
        {"Shift+End", Qt::Key_End, Qt::ShiftModifier, 4, {2, 3, 4}},
        {"Ctrl+Shift+Home", Qt::Key_Home, Qt::ControlModifier | Qt::ShiftModifier, 0, {0, 1, 2}},
    };
    view.resize(200, 300); // narrower than the two columns: the list could scroll sideways
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.visualRect(model.index(2, 0)).center());
        ASSERT_EQ(SelectedRows(), std::vector<int>{2});
        QTest::keyClick(&view, c.key, c.modifiers);
        EXPECT_EQ(view.currentIndex().row(), c.row);
        EXPECT_EQ(view.currentIndex().column(), 0);
        EXPECT_EQ(SelectedRows(), c.selected);
        EXPECT_EQ(view.horizontalScrollBar()->value(), 0);
    }
}

TEST_F(DictionaryViewTest, ReloadClearsTheSelection)
{
    SelectRows({2});
    model.ReloadRows();
    EXPECT_EQ(FirstSelectedRow(view), -1);
}

} // namespace
