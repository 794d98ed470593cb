// The before and after boxes: ordinal order, the history and the box set-up.
#include "ComboHistory.h"

#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include "QtTestSupport.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

TEST(OrdinalLess, Table)
{
    const QString surrogateHigh = Units({0xD83D, 0xDE00}); // U+1F600
    const QString fullWidthA = Units({0xFF21});
    const struct Case {
        const char* name;
        QString a;
        QString b;
        bool less;
    } cases[] = {
        {"upper case before lower case", "Z", "a", true},
        {"lower case after upper case", "a", "Z", false},
        {"prefix first", "ab", "abc", true},
        {"longer after its prefix", "abc", "ab", false},
        {"equal is not less", "abc", "abc", false},
        {"empty first", "", "a", true},
        {"empty against empty", "", "", false},
        {"nothing before empty", "a", "", false},
        {"unit decides before length", "b", "abc", false},
        {"ASCII before full-width", "z", fullWidthA, true},
        {"full-width after ASCII", fullWidthA, "~", false},
        {"surrogates before full-width", surrogateHigh, fullWidthA, true},
        {"full-width after surrogates", fullWidthA, surrogateHigh, false},
        {"surrogates after kana", Units({0x3042}), surrogateHigh, true},
        {"private use after surrogates", Units({0xE000}), surrogateHigh, false},
        {"U+0000 before U+0001", Units({0x0000}), Units({0x0001}), true},
        {"U+FFFF last", Units({0xFFFF}), Units({0xFFFE}), false},
        {"high units are unsigned", Units({0x8000}), Units({0x7FFF}), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(OrdinalLess(c.a, c.b), c.less);
    }
}

class HistoryTest : public ::testing::Test {
protected:
    void SetUp() override { SetUpHistoryCombo(box); }

    // What the commands do: read the field, then put it in the history.
    void Commit(const QString& typed)
    {
        box.setEditText(typed);
        AddToHistory(box, box.currentText());
    }

    QComboBox box;
};

TEST_F(HistoryTest, AddSortedPlacesByOrdinalOrder)
{
    for (const char* s : {"b", "a", "Z", "ab", "", "b"})
        AddSorted(box, s);
    AddSorted(box, Units({0xFF21}));
    AddSorted(box, Units({0xD83D, 0xDE00}));
    EXPECT_EQ(Items(box), (QStringList{"", "Z", "a", "ab", "b", "b", Units({0xD83D, 0xDE00}),
                                       Units({0xFF21})}));
}

TEST_F(HistoryTest, FirstCommitAddsTheTextOnce)
{
    Commit("a");
    EXPECT_EQ(Items(box), QStringList{"a"});
    EXPECT_EQ(box.currentText(), QStringLiteral("a"));
    EXPECT_EQ(box.currentIndex(), -1);
    Commit("a");
    EXPECT_EQ(Items(box), QStringList{"a"});
    EXPECT_EQ(box.currentText(), QStringLiteral("a"));
}

TEST_F(HistoryTest, DistinctByExactComparisonAndSorted)
{
    for (const char* s : {"b", "a", "A", "a", "ab", "b"})
        Commit(s);
    EXPECT_EQ(Items(box), (QStringList{"A", "a", "ab", "b"}));
    EXPECT_EQ(box.currentText(), QStringLiteral("b"));
}

TEST_F(HistoryTest, WidthCounts)
{
    Commit("A");
    Commit(Units({0xFF21}));
    EXPECT_EQ(Items(box), (QStringList{"A", Units({0xFF21})}));
}

TEST_F(HistoryTest, EmptyStringIsAddedOnce)
{
    Commit("");
    EXPECT_EQ(Items(box), QStringList{""});
    EXPECT_EQ(box.currentText(), QString());
    Commit("x");
    Commit("");
    Commit("");
    EXPECT_EQ(Items(box), (QStringList{"", "x"}));
    EXPECT_EQ(box.currentText(), QString());
    EXPECT_EQ(box.currentIndex(), -1);
}

TEST_F(HistoryTest, BlanksAreNotTrimmed)
{
    Commit(" a ");
    Commit("a");
    Commit("\ta");
    EXPECT_EQ(Items(box), (QStringList{"\ta", " a ", "a"}));
    Commit(" ");
    EXPECT_EQ(box.currentText(), QStringLiteral(" "));
    EXPECT_EQ(Items(box), (QStringList{"\ta", " ", " a ", "a"}));
}

TEST_F(HistoryTest, FieldEndsWithTheGivenText)
{
    for (const char* s : {"m", "c", "x"})
        Commit(s);
    // The field text goes into the history; the given text is what the
    // field shows afterwards.
    box.setEditText("typed");
    AddToHistory(box, "shown");
    EXPECT_EQ(Items(box), (QStringList{"c", "m", "typed", "x"}));
    EXPECT_EQ(box.currentText(), QStringLiteral("shown"));
    EXPECT_EQ(box.lineEdit()->text(), QStringLiteral("shown"));
    EXPECT_EQ(box.currentIndex(), -1);
}

TEST_F(HistoryTest, FieldIsNotTakenOverByTheFirstItem)
{
    // The text sorts last, so a box that made item 0 current would show "a".
    Commit("a");
    Commit("zz");
    EXPECT_EQ(Items(box), (QStringList{"a", "zz"}));
    EXPECT_EQ(box.currentText(), QStringLiteral("zz"));
    EXPECT_EQ(box.currentIndex(), -1);
}

TEST_F(HistoryTest, ExistingDuplicatesCollapse)
{
    box.addItem("q");
    box.addItem("q");
    box.addItem("p");
    Commit("q");
    EXPECT_EQ(Items(box), (QStringList{"p", "q"}));
}

TEST_F(HistoryTest, SetsTheFieldThenClearingKeepsTheHistory)
{
    Commit("a");
    Commit("b");
    // Register and Delete empty the field afterwards.
    box.setEditText(QString());
    EXPECT_EQ(box.currentText(), QString());
    EXPECT_EQ(Items(box), (QStringList{"a", "b"}));
}

TEST_F(HistoryTest, LongTextIsKeptWhole)
{
    const QString longText(100000, QChar(u'x'));
    Commit(longText);
    EXPECT_EQ(box.currentText(), longText);
    ASSERT_EQ(box.count(), 1);
    EXPECT_EQ(box.itemText(0), longText);
}

class HistoryComboTest : public HistoryTest {
protected:
    void SetUp() override
    {
        HistoryTest::SetUp();
        box.resize(200, box.sizeHint().height());
        box.show();
        box.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
        box.setFocus();
    }
};

TEST_F(HistoryComboTest, SetUp)
{
    EXPECT_TRUE(box.isEditable());
    EXPECT_EQ(box.insertPolicy(), QComboBox::NoInsert);
    EXPECT_EQ(box.completer(), nullptr);
    ASSERT_NE(box.lineEdit(), nullptr);
    EXPECT_EQ(box.lineEdit()->completer(), nullptr);
    EXPECT_EQ(box.lineEdit()->maxLength(), std::numeric_limits<int>::max());
    EXPECT_NE(box.sizeAdjustPolicy(), QComboBox::AdjustToContents);
    EXPECT_NE(box.sizeAdjustPolicy(), QComboBox::AdjustToContentsOnFirstShow);
}

TEST_F(HistoryComboTest, SizeDoesNotGrowWithTheHistory)
{
    const QSize before = box.sizeHint();
    Commit(QString(500, QChar(u'w')));
    EXPECT_EQ(box.sizeHint(), before);
}

TEST_F(HistoryComboTest, TypingDoesNotCompleteToAHistoryItem)
{
    Commit("abc");
    box.setEditText(QString());
    QTest::keyClicks(&box, "a");
    EXPECT_EQ(box.currentText(), QStringLiteral("a"));
    QTest::keyClicks(&box, "b");
    EXPECT_EQ(box.currentText(), QStringLiteral("ab"));
}

TEST_F(HistoryComboTest, TypingDoesNotTakeAnItemOfAnotherCase)
{
    Commit("ABC");
    box.setEditText(QString());
    QTest::keyClicks(&box, "abc");
    QTest::keyClick(&box, Qt::Key_Return);
    EXPECT_EQ(box.currentText(), QStringLiteral("abc"));
    EXPECT_EQ(Items(box), QStringList{"ABC"});
}

TEST_F(HistoryComboTest, EnterDoesNotInsert)
{
    Commit("abc");
    box.setEditText(QString());
    QTest::keyClicks(&box, "new text");
    QTest::keyClick(&box, Qt::Key_Return);
    QTest::keyClick(&box, Qt::Key_Enter);
    EXPECT_EQ(Items(box), QStringList{"abc"});
    EXPECT_EQ(box.currentText(), QStringLiteral("new text"));
}

TEST_F(HistoryComboTest, EnterOnAHistoryTextKeepsIt)
{
    Commit("abc");
    box.setEditText(QString());
    QTest::keyClicks(&box, "abc");
    QTest::keyClick(&box, Qt::Key_Return);
    EXPECT_EQ(Items(box), QStringList{"abc"});
    EXPECT_EQ(box.currentText(), QStringLiteral("abc"));
}

TEST_F(HistoryComboTest, LongTypedTextIsKeptWhole)
{
    const QString typed(5000, QChar(u'k'));
    QTest::keyClicks(&box, typed);
    EXPECT_EQ(box.currentText(), typed);
    AddToHistory(box, box.currentText());
    EXPECT_EQ(Items(box), QStringList{typed});
    EXPECT_EQ(box.currentText(), typed);
}

} // namespace
