// Register, Delete, the copy of a listed pair and the sort, driven through
// the dictionary controller.
#include "ControllerTest.h"

namespace {

// --- Register ---------------------------------------------------------------

TEST_F(DictionaryControllerTest, RegisterAddsOneRowAndEmptiesBothFields)
{
    ASSERT_EQ(model->rowCount(), 0);
    Register("a", "b");
    EXPECT_EQ(ListRows(), (Rows{{"a", "b"}}));
    EXPECT_EQ(Before().currentText(), QString());
    EXPECT_EQ(After().currentText(), QString());
    EXPECT_EQ(Items(Before()), QStringList{"a"});
    EXPECT_EQ(Items(After()), QStringList{"b"});
    EXPECT_TRUE(prompter.asked.isEmpty()) << "Register shows no message";
}

TEST_F(DictionaryControllerTest, RegisteringTheSamePairAgainChangesNothing)
{
    Register("a", "b");
    Register("a", "b");
    EXPECT_EQ(ListRows(), (Rows{{"a", "b"}}));
    EXPECT_EQ(Items(Before()), QStringList{"a"});
    EXPECT_EQ(Items(After()), QStringList{"b"});
    EXPECT_EQ(Before().currentText(), QString());
    EXPECT_EQ(After().currentText(), QString());
}

TEST_F(DictionaryControllerTest, EmptyAfterBoxForANewBeforeAddsNoRowButOneEmptyHistoryItem)
{
    Register("k", "");
    EXPECT_EQ(model->rowCount(), 0);
    EXPECT_EQ(Items(Before()), QStringList{"k"});
    EXPECT_EQ(Items(After()), QStringList{QString()});

    Register("m", "");
    EXPECT_EQ(model->rowCount(), 0);
    EXPECT_EQ(Items(Before()), (QStringList{"k", "m"}));
    EXPECT_EQ(Items(After()), QStringList{QString()}) << "the empty string goes in once";

    // An empty before box is a text like any other for the history.
    Register("", "v");
    EXPECT_EQ(Items(Before()), (QStringList{QString(), "k", "m"}));
    EXPECT_EQ(Items(After()), (QStringList{QString(), "v"}));
}

TEST_F(DictionaryControllerTest, TextsDifferingOnlyInCaseAreTwoHistoryItemsInOrdinalOrder)
{
    Register("a", "x");
    Register("A", "X");
    EXPECT_EQ(Items(Before()), (QStringList{"A", "a"}));
    EXPECT_EQ(Items(After()), (QStringList{"X", "x"}));
    EXPECT_EQ(ListRows(), (Rows{{"A", "X"}, {"a", "x"}}));
}

TEST_F(DictionaryControllerTest, RegisterListsTheRowsInOrdinalOrderOfTheBeforeString)
{
    Register("b", "2");
    Register("a", "1");
    Register("ab", "3");
    Register("Z", "4");
    EXPECT_EQ(ListRows(), (Rows{{"Z", "4"}, {"a", "1"}, {"ab", "3"}, {"b", "2"}}));
    EXPECT_EQ(Items(Before()), (QStringList{"Z", "a", "ab", "b"}));
    EXPECT_EQ(Items(After()), (QStringList{"1", "2", "3", "4"}));
}

TEST_F(DictionaryControllerTest, RegisterJoinsANewAfterStringOnlyOnce)
{
    Register("k", "x");
    Register("k", "y");
    EXPECT_EQ(ListRows(), (Rows{{"k", "x; y"}}));

    Register("k", "y"); // already a piece of the value
    EXPECT_EQ(ListRows(), (Rows{{"k", "x; y"}}));
    Register("k", "x");
    EXPECT_EQ(ListRows(), (Rows{{"k", "x; y"}}));
    Register("k", "x; y"); // the whole value
    EXPECT_EQ(ListRows(), (Rows{{"k", "x; y"}}));
    Register("k", ""); // an empty after-string never changes a value
    EXPECT_EQ(ListRows(), (Rows{{"k", "x; y"}}));

    Register("k", "z");
    EXPECT_EQ(ListRows(), (Rows{{"k", "x; y; z"}}));
    EXPECT_EQ(Items(Before()), QStringList{"k"});
    EXPECT_EQ(Items(After()), (QStringList{QString(), "x", "x; y", "y", "z"}));
}

// --- Delete -----------------------------------------------------------------

TEST_F(DictionaryControllerTest, DeleteAnsweredNoChangesNothing)
{
    Register("a", "1");
    Register("b", "2");
    Type(Before(), "b");
    Type(After(), "2");
    const QStringList beforeHistory = Items(Before());
    const QStringList afterHistory = Items(After());

    Delete(false);
    EXPECT_EQ(ListRows(), (Rows{{"a", "1"}, {"b", "2"}}));
    EXPECT_EQ(Before().currentText(), QStringLiteral("b"));
    EXPECT_EQ(After().currentText(), QStringLiteral("2"));
    EXPECT_EQ(Items(Before()), beforeHistory);
    EXPECT_EQ(Items(After()), afterHistory);

    // Not even texts that are new to the histories get in.
    Type(Before(), "new");
    Type(After(), "text");
    Delete(false);
    EXPECT_EQ(Before().currentText(), QStringLiteral("new"));
    EXPECT_EQ(After().currentText(), QStringLiteral("text"));
    EXPECT_EQ(Items(Before()), beforeHistory);
    EXPECT_EQ(Items(After()), afterHistory);
    EXPECT_EQ(ListRows(), (Rows{{"a", "1"}, {"b", "2"}}));
}

TEST_F(DictionaryControllerTest, DeleteWithADifferentAfterStringRemovesNothing)
{
    Register("a", "1");
    Register("b", "2");
    Type(Before(), "b");
    Type(After(), "zz");
    QSignalSpy resets(model, &QAbstractItemModel::modelReset);

    Delete(true);
    EXPECT_EQ(ListRows(), (Rows{{"a", "1"}, {"b", "2"}}));
    EXPECT_EQ(resets.size(), 0);
    EXPECT_EQ(Before().currentText(), QStringLiteral("b"));
    EXPECT_EQ(After().currentText(), QStringLiteral("zz"));
    EXPECT_EQ(Items(Before()), (QStringList{"a", "b"}));
    EXPECT_EQ(Items(After()), (QStringList{"1", "2", "zz"})) << "the histories gain the texts";
    EXPECT_EQ(prompter.Messages().size(), 0) << "no message";
}

TEST_F(DictionaryControllerTest, DeleteOfOnePieceOfAJoinedValueRemovesNothing)
{
    Register("k", "x");
    Register("k", "y");
    Type(Before(), "k");
    Type(After(), "x");
    Delete(true);
    EXPECT_EQ(ListRows(), (Rows{{"k", "x; y"}}));
    EXPECT_EQ(Before().currentText(), QStringLiteral("k"));
    EXPECT_EQ(After().currentText(), QStringLiteral("x"));

    Type(After(), "x; y");
    Delete(true);
    EXPECT_EQ(model->rowCount(), 0);
    EXPECT_EQ(Before().currentText(), QString());
    EXPECT_EQ(After().currentText(), QString());
}

TEST_F(DictionaryControllerTest, DeleteOfABeforeStringWithoutPairRemovesNothing)
{
    Register("a", "1");
    Type(Before(), "q");
    Type(After(), "1");
    Delete(true);
    EXPECT_EQ(ListRows(), (Rows{{"a", "1"}}));
    EXPECT_EQ(Before().currentText(), QStringLiteral("q"));
    EXPECT_EQ(After().currentText(), QStringLiteral("1"));
    EXPECT_EQ(Items(Before()), (QStringList{"a", "q"}));
}

TEST_F(DictionaryControllerTest, DeleteOfAPrefixHoldingNoValueEmptiesTheFieldsOnly)
{
    Register("abc", "1");
    Register("b", "2");
    Type(Before(), "ab");
    Type(After(), "");
    QSignalSpy resets(model, &QAbstractItemModel::modelReset);

    Delete(true);
    EXPECT_EQ(ListRows(), (Rows{{"abc", "1"}, {"b", "2"}})) << "no row disappears";
    EXPECT_EQ(resets.size(), 1) << "the rows are reloaded";
    EXPECT_EQ(Before().currentText(), QString());
    EXPECT_EQ(After().currentText(), QString());
    EXPECT_EQ(Items(Before()), (QStringList{"ab", "abc", "b"}));
    EXPECT_EQ(Items(After()), (QStringList{QString(), "1", "2"}));
}

TEST_F(DictionaryControllerTest, DeleteOfTheEmptyBeforeStringsEntry)
{
    Register("a", "1");
    replacer.AddPair(u"", u"x");
    dictionary.RefreshList();
    ASSERT_EQ(ListRows(), (Rows{{"", "x"}, {"a", "1"}}));

    dictionary.CopyRow(0);
    EXPECT_EQ(Before().currentText(), QString());
    EXPECT_EQ(After().currentText(), QStringLiteral("x"));
    Delete(true);
    EXPECT_EQ(ListRows(), (Rows{{"a", "1"}}));
    EXPECT_EQ(Items(Before()), (QStringList{QString(), "a"}));
}

TEST_F(DictionaryControllerTest, DeleteAfterASortByTheAfterStringKeepsThatOrderUntilTheNextRegister)
{
    Register("a", "3");
    Register("b", "1");
    Register("c", "2");
    Register("d", "4");
    dictionary.SortByColumn(1);
    ASSERT_EQ(ListRows(), (Rows{{"b", "1"}, {"c", "2"}, {"a", "3"}, {"d", "4"}}));

    dictionary.CopyRow(1);
    ASSERT_EQ(Before().currentText(), QStringLiteral("c"));
    Delete(true);
    EXPECT_EQ(ListRows(), (Rows{{"b", "1"}, {"a", "3"}, {"d", "4"}}));

    Register("e", "0");
    EXPECT_EQ(ListRows(), (Rows{{"a", "3"}, {"b", "1"}, {"d", "4"}, {"e", "0"}}));
}

// --- Copy of a row -------------------------------------------------------------

// A cell shows only the start of a long string, never half a surrogate pair;
// the copy into the boxes still takes the whole pair.
TEST_F(DictionaryControllerTest, LongStringsShowTheirStartAndCopyRowCopiesThemWhole)
{
    const size_t max = EntryListModel::kCellTextMax;
    const std::u16string before = std::u16string(max - 1, u'a') + u"\U0001F600b"; // the pair straddles the cut
    const std::u16string after(100000, u'x');
    replacer.AddPair(before.c_str(), after.c_str());
    dictionary.RefreshList();

    EXPECT_EQ(Cell(0, 0), QString(qsizetype(max - 1), u'a'));
    EXPECT_EQ(Cell(0, 1), QString(qsizetype(max), u'x'));
    dictionary.CopyRow(0);
    EXPECT_EQ(Before().currentText(), QString::fromStdU16String(before));
    EXPECT_EQ(After().currentText(), QString::fromStdU16String(after));
}

// --- Sort ---------------------------------------------------------------------

TEST_F(DictionaryControllerTest, SortsInOrdinalOrder)
{
    Register("a", "y");
    Register("Z", "b");
    Register("ab", "B");
    replacer.AddPair(u"", u"x");
    dictionary.RefreshList();
    const Rows byBefore{{"", "x"}, {"Z", "b"}, {"a", "y"}, {"ab", "B"}};
    ASSERT_EQ(ListRows(), byBefore);
    EXPECT_TRUE(model->data(model->index(0, 0)).isValid());
    EXPECT_EQ(Cell(0, 0).size(), 0) << "the empty before-string's entry shows an empty cell";

    QSignalSpy resets(model, &QAbstractItemModel::modelReset);
    dictionary.SortByColumn(1);
    const Rows byAfter{{"ab", "B"}, {"Z", "b"}, {"", "x"}, {"a", "y"}};
    EXPECT_EQ(ListRows(), byAfter);
    dictionary.SortByColumn(0);
    EXPECT_EQ(ListRows(), byBefore);
    EXPECT_EQ(resets.size(), 0) << "a sort keeps the row count";
    EXPECT_EQ(model->rowCount(), 4);
    EXPECT_TRUE(prompter.asked.isEmpty());
}

TEST_F(DictionaryControllerTest, SortingAgainByTheSameColumnKeepsTheAscendingOrder)
{
    Register("a", "3");
    Register("b", "1");
    Register("c", "2");
    dictionary.SortByColumn(1);
    const Rows byAfter{{"b", "1"}, {"c", "2"}, {"a", "3"}};
    EXPECT_EQ(ListRows(), byAfter);
    dictionary.SortByColumn(1);
    EXPECT_EQ(ListRows(), byAfter);

    const Rows byBefore{{"a", "3"}, {"b", "1"}, {"c", "2"}};
    dictionary.SortByColumn(0);
    EXPECT_EQ(ListRows(), byBefore);
    dictionary.SortByColumn(0);
    EXPECT_EQ(ListRows(), byBefore);
}

TEST_F(DictionaryControllerTest, SortingAnEmptyListChangesNothing)
{
    dictionary.SortByColumn(0);
    dictionary.SortByColumn(1);
    EXPECT_EQ(model->rowCount(), 0);
}

} // namespace
