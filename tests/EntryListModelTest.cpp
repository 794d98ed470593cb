// The dictionary list: the entry model and the table view set up over it.
#include "DictionaryView.h"
#include "EntryListModel.h"
#include "Replacer.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QBrush>
#include <QColor>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using Pairs = std::vector<std::pair<std::u16string, std::u16string>>;

void AddAll(Replacer& r, const Pairs& pairs)
{
    for (const auto& [before, after] : pairs)
        r.AddPair(before.c_str(), after.c_str());
}

// What the owner does after a Register or a dictionary file.
void Refresh(Replacer& r, EntryListModel& model)
{
    r.RebuildEntries();
    r.SortByBefore();
    model.ReloadRows();
}

QString Cell(const EntryListModel& model, int row, int column)
{
    const QVariant v = model.data(model.index(row, column), Qt::DisplayRole);
    EXPECT_TRUE(v.isValid()) << "row " << row << " column " << column;
    return v.toString();
}

QStringList Column(const EntryListModel& model, int column)
{
    QStringList out;
    for (int row = 0; row < model.rowCount(); ++row)
        out << Cell(model, row, column);
    return out;
}

QColor Shade(const EntryListModel& model, int row)
{
    return model.data(model.index(row, 0), Qt::BackgroundRole).value<QColor>();
}

const QColor White(255, 255, 255);
const QColor PaleBlue(238, 243, 253);

class EntryListModelTest : public ::testing::Test {
protected:
    Replacer replacer;
    EntryListModel model{replacer};
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::Warning};
};

TEST_F(EntryListModelTest, EmptyDictionaryHasNoRows)
{
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.columnCount(), 2);
    Refresh(replacer, model);
    EXPECT_EQ(model.rowCount(), 0);
    replacer.SortByAfter();
    model.RowsReordered();
    EXPECT_EQ(model.rowCount(), 0);
}

TEST_F(EntryListModelTest, RowsFollowTheEntriesInOrderOfTheBeforeString)
{
    AddAll(replacer, {{u"b", u"2"}, {u"a", u"1"}, {u"ab", u"3"}, {u"Z", u"4"}});
    Refresh(replacer, model);
    ASSERT_EQ(model.rowCount(), 4);
    EXPECT_EQ(Column(model, 0), (QStringList{"Z", "a", "ab", "b"}));
    EXPECT_EQ(Column(model, 1), (QStringList{"4", "1", "3", "2"}));
}

TEST_F(EntryListModelTest, JoinedAfterValueIsOneCell)
{
    AddAll(replacer, {{u"k", u"x"}, {u"k", u"y"}});
    Refresh(replacer, model);
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_EQ(Cell(model, 0, 1), QStringLiteral("x; y"));
}

TEST_F(EntryListModelTest, EmptyBeforeStringShowsAnEmptyCellAndSortsFirst)
{
    AddAll(replacer, {{u"a", u"1"}, {u"", u"empty"}, {u"\u0001", u"2"}});
    Refresh(replacer, model);
    ASSERT_EQ(model.rowCount(), 3);
    // Its before is the single unit U+0000.
    ASSERT_EQ(replacer.m_entries[0]->before, std::u16string(1, u'\0'));
    EXPECT_EQ(Cell(model, 0, 0), QString());
    EXPECT_EQ(Cell(model, 0, 0).size(), 0);
    EXPECT_EQ(Cell(model, 0, 1), QStringLiteral("empty"));
    EXPECT_EQ(Cell(model, 1, 0), QString(QChar(0x0001)));
    EXPECT_EQ(Cell(model, 2, 0), QStringLiteral("a"));
}

TEST_F(EntryListModelTest, CellIsCutAtTheFirstZeroUnit)
{
    AddAll(replacer, {{u"a", u"1"}});
    Refresh(replacer, model);
    replacer.m_entries[0]->after = std::u16string(u"xy\0z", 4);
    EXPECT_EQ(Cell(model, 0, 1), QStringLiteral("xy"));
}

TEST_F(EntryListModelTest, NonBasicPlaneTextIsShownWhole)
{
    AddAll(replacer, {{u"\U0001F600", u"\uFF21\u3042"}});
    Refresh(replacer, model);
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_EQ(Cell(model, 0, 0), QString::fromUtf8("\xF0\x9F\x98\x80"));
    EXPECT_EQ(Cell(model, 0, 1), QString::fromUtf8("\xEF\xBC\xA1\xE3\x81\x82"));
}

TEST_F(EntryListModelTest, OnlyDisplayAndBackgroundRoles)
{
    AddAll(replacer, {{u"a", u"1"}});
    Refresh(replacer, model);
    const QModelIndex cell = model.index(0, 0);
    for (int role : {int(Qt::DecorationRole), int(Qt::EditRole), int(Qt::ToolTipRole),
                     int(Qt::StatusTipRole), int(Qt::WhatsThisRole), int(Qt::SizeHintRole),
                     int(Qt::FontRole), int(Qt::TextAlignmentRole), int(Qt::ForegroundRole),
                     int(Qt::CheckStateRole), int(Qt::UserRole)})
        EXPECT_FALSE(model.data(cell, role).isValid()) << "role " << role;
    EXPECT_TRUE(model.data(cell, Qt::DisplayRole).isValid());
    EXPECT_TRUE(model.data(cell, Qt::BackgroundRole).isValid());
}

TEST_F(EntryListModelTest, NothingOutsideTheTable)
{
    AddAll(replacer, {{u"a", u"1"}});
    Refresh(replacer, model);
    EXPECT_FALSE(model.index(1, 0).isValid());
    EXPECT_FALSE(model.index(0, 2).isValid());
    EXPECT_FALSE(model.data(QModelIndex(), Qt::DisplayRole).isValid());
    EXPECT_EQ(model.rowCount(model.index(0, 0)), 0);
    EXPECT_EQ(model.columnCount(model.index(0, 0)), 0);
}

TEST_F(EntryListModelTest, RowsAreShadedByRowNumber)
{
    AddAll(replacer, {{u"a", u"3"}, {u"b", u"2"}, {u"c", u"1"}, {u"d", u"0"}});
    Refresh(replacer, model);
    auto expectStripes = [&] {
        for (int row = 0; row < model.rowCount(); ++row) {
            EXPECT_EQ(Shade(model, row), row % 2 ? PaleBlue : White) << "row " << row;
            EXPECT_EQ(model.data(model.index(row, 1), Qt::BackgroundRole).value<QColor>(),
                      row % 2 ? PaleBlue : White)
                << "row " << row;
        }
    };
    expectStripes();
    EXPECT_EQ(PaleBlue.rgb() & 0xFFFFFF, 0xEEF3FDu);

    replacer.SortByAfter();
    model.RowsReordered();
    EXPECT_EQ(Column(model, 0), (QStringList{"d", "c", "b", "a"}));
    expectStripes();

    replacer.SortByBefore();
    model.RowsReordered();
    EXPECT_EQ(Column(model, 0), (QStringList{"a", "b", "c", "d"}));
    expectStripes();
}

TEST_F(EntryListModelTest, ShadingReachesTheDelegate)
{
    AddAll(replacer, {{u"a", u"1"}, {u"b", u"2"}});
    Refresh(replacer, model);
    const QVariant v = model.data(model.index(1, 0), Qt::BackgroundRole);
    ASSERT_TRUE(v.canConvert<QBrush>());
    EXPECT_EQ(qvariant_cast<QBrush>(v).color(), PaleBlue);
}

TEST_F(EntryListModelTest, HeaderTexts)
{
    EXPECT_EQ(model.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(),
              QString::fromUtf8("置換前"));
    EXPECT_EQ(model.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(),
              QString::fromUtf8("置換後"));
    const auto alignment = Qt::Alignment(model.headerData(0, Qt::Horizontal, Qt::TextAlignmentRole).toInt());
    EXPECT_EQ(alignment, Qt::AlignLeft | Qt::AlignVCenter);
    EXPECT_FALSE(model.headerData(2, Qt::Horizontal, Qt::DisplayRole).isValid());
    // No row numbers.
    EXPECT_FALSE(model.headerData(0, Qt::Vertical, Qt::DisplayRole).isValid());
}

TEST_F(EntryListModelTest, RowsAreNotEditable)
{
    AddAll(replacer, {{u"a", u"1"}});
    Refresh(replacer, model);
    for (int column = 0; column < 2; ++column) {
        const Qt::ItemFlags flags = model.flags(model.index(0, column));
        EXPECT_EQ(flags, Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        EXPECT_FALSE(flags & Qt::ItemIsEditable);
    }
    EXPECT_FALSE(model.setData(model.index(0, 0), "x", Qt::EditRole));
    EXPECT_EQ(Cell(model, 0, 0), QStringLiteral("a"));
}

TEST_F(EntryListModelTest, ReloadIsOneResetWhateverTheCount)
{
    QSignalSpy aboutToReset(&model, &QAbstractItemModel::modelAboutToBeReset);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    AddAll(replacer, {{u"a", u"1"}, {u"b", u"2"}, {u"c", u"3"}});
    Refresh(replacer, model);
    EXPECT_EQ(aboutToReset.count(), 1);
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(inserted.count(), 0);
    EXPECT_EQ(removed.count(), 0);
    EXPECT_EQ(model.rowCount(), 3);
}

TEST_F(EntryListModelTest, ReloadAfterErasingOneEntryKeepsTheOrder)
{
    AddAll(replacer, {{u"a", u"4"}, {u"b", u"3"}, {u"c", u"2"}, {u"d", u"1"}});
    Refresh(replacer, model);
    replacer.SortByAfter();
    model.RowsReordered();
    ASSERT_EQ(Column(model, 0), (QStringList{"d", "c", "b", "a"}));

    // What Delete does: erase the entry in place, then reload.
    ASSERT_TRUE(replacer.RemovePair(u"c", u"2"));
    replacer.m_entries.erase(replacer.m_entries.begin() + 1);
    // Until the reload the model still has the old count; the row that has
    // no entry any more shows nothing.
    EXPECT_EQ(model.rowCount(), 4);
    EXPECT_FALSE(model.data(model.index(3, 0), Qt::DisplayRole).isValid());

    model.ReloadRows();
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(Column(model, 0), (QStringList{"d", "b", "a"}));
    EXPECT_EQ(Column(model, 1), (QStringList{"1", "3", "4"}));
}

TEST_F(EntryListModelTest, ReorderingKeepsTheRowCountAndRepaintsEveryRow)
{
    AddAll(replacer, {{u"a", u"2"}, {u"b", u"1"}, {u"c", u"0"}});
    Refresh(replacer, model);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    replacer.SortByAfter();
    model.RowsReordered();
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(reset.count(), 0);
    const QModelIndex topLeft = changed[0][0].value<QModelIndex>();
    const QModelIndex bottomRight = changed[0][1].value<QModelIndex>();
    EXPECT_EQ(topLeft, model.index(0, 0));
    EXPECT_EQ(bottomRight, model.index(2, 1));
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(Column(model, 1), (QStringList{"0", "1", "2"}));
}

TEST_F(EntryListModelTest, RebuildAfterMoreRegistersReloads)
{
    AddAll(replacer, {{u"b", u"1"}});
    Refresh(replacer, model);
    replacer.SortByAfter();
    model.RowsReordered();
    AddAll(replacer, {{u"a", u"2"}});
    Refresh(replacer, model);
    EXPECT_EQ(Column(model, 0), (QStringList{"a", "b"}));
}

TEST(EntryListModelFatal, ReloadSortAndEraseUnderTheFatalTester)
{
    Replacer replacer;
    EntryListModel model(replacer);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    Pairs pairs;
    for (int i = 0; i < 50; ++i)
        pairs.emplace_back(std::u16string(1, char16_t(u'a' + i % 26)) + char16_t(u'0' + i / 26),
                           std::u16string(1, char16_t(u'z' - i % 26)));
    AddAll(replacer, pairs);
    Refresh(replacer, model);
    EXPECT_EQ(model.rowCount(), 50);
    replacer.SortByAfter();
    model.RowsReordered();
    replacer.m_entries.erase(replacer.m_entries.begin() + 10);
    model.ReloadRows();
    EXPECT_EQ(model.rowCount(), 49);
    replacer.SortByBefore();
    model.RowsReordered();
    replacer.m_entries.clear();
    model.ReloadRows();
    EXPECT_EQ(model.rowCount(), 0);
}

TEST(EntryListModelLarge, ThreeHundredThousandEntries)
{
    Replacer replacer;
    EntryListModel model(replacer);
    constexpr int count = 300000;
    for (int i = 0; i < count; ++i) {
        const std::u16string before = u"k" + std::u16string(reinterpret_cast<const char16_t*>(
                                                    QString::number(i).utf16()));
        const std::u16string after = u"v" + std::u16string(reinterpret_cast<const char16_t*>(
                                                   QString::number(count - i).utf16()));
        replacer.AddPair(before.c_str(), after.c_str());
    }
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    Refresh(replacer, model);
    EXPECT_EQ(reset.count(), 1);
    ASSERT_EQ(model.rowCount(), count);
    EXPECT_EQ(Cell(model, 0, 0), QStringLiteral("k0"));
    EXPECT_EQ(Cell(model, 1, 0), QStringLiteral("k1"));
    EXPECT_EQ(Cell(model, 2, 0), QStringLiteral("k10"));
    EXPECT_EQ(Cell(model, count - 1, 0), QStringLiteral("k99999"));
    EXPECT_EQ(Shade(model, count - 1), PaleBlue);

    QTableView view;
    SetUpDictionaryView(view, model);
    view.resize(480, 300);
    view.show();
    QApplication::processEvents();
    view.scrollToBottom();
    QApplication::processEvents();
    replacer.SortByAfter();
    model.RowsReordered();
    EXPECT_EQ(Cell(model, 0, 1), QStringLiteral("v1"));
    replacer.m_entries.pop_back();
    model.ReloadRows();
    EXPECT_EQ(model.rowCount(), count - 1);
    QApplication::processEvents();
}

class DictionaryViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        AddAll(replacer, {{u"a", u"5"}, {u"b", u"4"}, {u"c", u"3"}, {u"d", u"2"}, {u"e", u"1"}});
        Refresh(replacer, model);
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
    QTableView view;
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
        if (column == 0)
            replacer.SortByBefore();
        else if (column == 1)
            replacer.SortByAfter();
        else
            return;
        ++sorts;
        model.RowsReordered();
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
    replacer.SortByAfter();
    model.RowsReordered();
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

TEST_F(DictionaryViewTest, ReloadClearsTheSelection)
{
    SelectRows({2});
    model.ReloadRows();
    EXPECT_EQ(FirstSelectedRow(view), -1);
}

} // namespace
