// The dictionary list's entry model.
#include "DictionaryView.h"
#include "EngineTestSupport.h"
#include "EntryListModel.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QColor>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTest>

#include "QtTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

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
    model.Refresh();
    EXPECT_EQ(model.rowCount(), 0);
    model.SortByColumn(EntryListModel::AfterColumn);
    EXPECT_EQ(model.rowCount(), 0);
}

TEST_F(EntryListModelTest, RowsFollowTheEntriesInOrderOfTheBeforeString)
{
    AddAll(replacer, {{u"b", u"2"}, {u"a", u"1"}, {u"ab", u"3"}, {u"Z", u"4"}});
    model.Refresh();
    ASSERT_EQ(model.rowCount(), 4);
    EXPECT_EQ(Column(model, 0), (QStringList{"Z", "a", "ab", "b"}));
    EXPECT_EQ(Column(model, 1), (QStringList{"4", "1", "3", "2"}));
}

TEST_F(EntryListModelTest, JoinedAfterValueIsOneCell)
{
    AddAll(replacer, {{u"k", u"x"}, {u"k", u"y"}});
    model.Refresh();
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_EQ(Cell(model, 0, 1), QStringLiteral("x; y"));
}

TEST_F(EntryListModelTest, EmptyBeforeStringShowsAnEmptyCellAndSortsFirst)
{
    AddAll(replacer, {{u"a", u"1"}, {u"", u"empty"}, {u"\u0001", u"2"}});
    model.Refresh();
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
    model.Refresh();
    replacer.m_entries[0]->after = std::u16string(u"xy\0z", 4);
    EXPECT_EQ(Cell(model, 0, 1), QStringLiteral("xy"));
}

TEST_F(EntryListModelTest, NonBasicPlaneTextIsShownWhole)
{
    AddAll(replacer, {{u"\U0001F600", u"\uFF21\u3042"}});
    model.Refresh();
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_EQ(Cell(model, 0, 0), QString::fromUtf8("\xF0\x9F\x98\x80"));
    EXPECT_EQ(Cell(model, 0, 1), QString::fromUtf8("\xEF\xBC\xA1\xE3\x81\x82"));
}

TEST_F(EntryListModelTest, OnlyDisplayAndBackgroundRoles)
{
    AddAll(replacer, {{u"a", u"1"}});
    model.Refresh();
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
    model.Refresh();
    EXPECT_FALSE(model.index(1, 0).isValid());
    EXPECT_FALSE(model.index(0, 2).isValid());
    EXPECT_FALSE(model.data(QModelIndex(), Qt::DisplayRole).isValid());
    EXPECT_EQ(model.rowCount(model.index(0, 0)), 0);
    EXPECT_EQ(model.columnCount(model.index(0, 0)), 0);
}

TEST_F(EntryListModelTest, RowsAreShadedByRowNumber)
{
    AddAll(replacer, {{u"a", u"3"}, {u"b", u"2"}, {u"c", u"1"}, {u"d", u"0"}});
    model.Refresh();
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

    model.SortByColumn(EntryListModel::AfterColumn);
    EXPECT_EQ(Column(model, 0), (QStringList{"d", "c", "b", "a"}));
    expectStripes();

    model.SortByColumn(EntryListModel::BeforeColumn);
    EXPECT_EQ(Column(model, 0), (QStringList{"a", "b", "c", "d"}));
    expectStripes();
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
    model.Refresh();
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
    model.Refresh();
    EXPECT_EQ(aboutToReset.count(), 1);
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(inserted.count(), 0);
    EXPECT_EQ(removed.count(), 0);
    EXPECT_EQ(model.rowCount(), 3);
}

TEST_F(EntryListModelTest, RemovingOneEntryRemovesItsRowAndKeepsTheOrder)
{
    AddAll(replacer, {{u"a", u"4"}, {u"b", u"3"}, {u"c", u"2"}, {u"d", u"1"}, {u"", u"0"}});
    model.Refresh();
    model.SortByColumn(EntryListModel::AfterColumn);
    ASSERT_EQ(Column(model, 0), (QStringList{"", "d", "c", "b", "a"}));
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);

    // Found as a zero-terminated string: "c\0x" is "c", "" the entry of the
    // empty before-string.
    EXPECT_TRUE(model.RemoveEntry(std::u16string_view(u"c\0x", 3)));
    EXPECT_FALSE(model.RemoveEntry(u"q"));
    EXPECT_TRUE(model.RemoveEntry(u""));
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(Column(model, 0), (QStringList{"d", "b", "a"}));
    EXPECT_EQ(Column(model, 1), (QStringList{"1", "3", "4"}));
    ASSERT_EQ(removed.count(), 2);
    EXPECT_EQ(removed[0][1].toInt(), 2);
    EXPECT_EQ(removed[0][2].toInt(), 2);
    EXPECT_EQ(removed[1][1].toInt(), 0);
    EXPECT_EQ(reset.count(), 0);
}

TEST_F(EntryListModelTest, ReorderingKeepsTheRowCountAndRepaintsEveryRow)
{
    AddAll(replacer, {{u"a", u"2"}, {u"b", u"1"}, {u"c", u"0"}});
    model.Refresh();
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    model.SortByColumn(EntryListModel::AfterColumn);
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
    model.Refresh();
    model.SortByColumn(EntryListModel::AfterColumn);
    AddAll(replacer, {{u"a", u"2"}});
    model.Refresh();
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
    model.Refresh();
    EXPECT_EQ(model.rowCount(), 50);
    model.SortByColumn(EntryListModel::AfterColumn);
    ASSERT_TRUE(model.RemoveEntry(replacer.m_entries[10]->before));
    EXPECT_EQ(model.rowCount(), 49);
    model.SortByColumn(EntryListModel::BeforeColumn);
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
    model.Refresh();
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
    model.SortByColumn(EntryListModel::AfterColumn);
    EXPECT_EQ(Cell(model, 0, 1), QStringLiteral("v1"));
    ASSERT_TRUE(model.RemoveEntry(replacer.m_entries.back()->before));
    EXPECT_EQ(model.rowCount(), count - 1);
    QApplication::processEvents();
}

} // namespace
