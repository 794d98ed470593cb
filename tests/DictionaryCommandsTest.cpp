// Register, Delete, the double-click and the header sort, driven through the
// buttons, fields and list of the main window.
#include "EntryListModel.h"
#include "WindowTest.h"

#include <QColor>
#include <QImage>
#include <QItemSelectionModel>
#include <QMouseEvent>

#include <algorithm>

namespace {

const QString kConfirmText = QStringLiteral("削除してよろしいですか？");
const QString kConfirmCaption = QStringLiteral("確認");
const QColor kWhite(255, 255, 255);
const QColor kPaleBlue(238, 243, 253);

// Records which rows were selected when a double-click reached the list.
class DoubleClickWatcher : public QObject {
public:
    QList<QList<int>> seen;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonDblClick) {
            auto* view = qobject_cast<QTableView*>(watched->parent());
            QList<int> rows;
            if (view)
                for (const QModelIndex& index : view->selectionModel()->selectedRows())
                    rows << index.row();
            std::sort(rows.begin(), rows.end());
            seen << rows;
        }
        return false;
    }
};

class DictionaryCommandsTest : public OneWindowTest {
protected:
    QComboBox& Before() const { return *dlg->m_beforeCombo; }
    QComboBox& After() const { return *dlg->m_afterCombo; }
    QTableView& List() const { return *dlg->m_dictList; }

    QAbstractButton* Button(int id) const
    {
        auto* button = qobject_cast<QAbstractButton*>(dlg->GetDlgItem(id));
        EXPECT_NE(button, nullptr) << "control " << id;
        return button;
    }

    // Clicks Delete with the confirmation answered `yes`, and checks the question.
    void ClickDelete(bool yes)
    {
        const qsizetype asked = prompter.asked.size();
        prompter.yesNoAnswers << yes;
        QTest::mouseClick(Button(IDC_DELETE), Qt::LeftButton);
        ASSERT_EQ(prompter.asked.size(), asked + 1);
        const PromptRecord& question = prompter.asked.back();
        EXPECT_EQ(question.kind, PromptRecord::YesNo);
        EXPECT_EQ(question.text, kConfirmText);
        EXPECT_EQ(question.caption, kConfirmCaption);
        EXPECT_EQ(question.icon, Prompter::Icon::None);
        EXPECT_TRUE(prompter.yesNoAnswers.isEmpty());
    }

    QColor Shade(int row, int column = 0) const
    {
        return model->data(model->index(row, column), Qt::BackgroundRole).value<QColor>();
    }

    QPoint RowCenter(int row) const { return List().visualRect(model->index(row, 0)).center(); }

    void ClickRow(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        ASSERT_LT(row, model->rowCount());
        QTest::mouseClick(List().viewport(), Qt::LeftButton, modifiers, RowCenter(row));
    }

    void DoubleClickRow(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        ASSERT_LT(row, model->rowCount());
        QTest::mouseDClick(List().viewport(), Qt::LeftButton, modifiers, RowCenter(row));
    }

    QList<int> SelectedRows() const
    {
        QList<int> rows;
        for (const QModelIndex& index : List().selectionModel()->selectedRows())
            rows << index.row();
        std::sort(rows.begin(), rows.end());
        return rows;
    }

    void ExpectStripes() const
    {
        for (int row = 0; row < model->rowCount(); ++row)
            for (int column : {0, 1})
                EXPECT_EQ(Shade(row, column), row % 2 ? kPaleBlue : kWhite) << "row " << row << " column " << column;
    }
};

// --- Register ---------------------------------------------------------------

TEST_F(DictionaryCommandsTest, RegisterAddsOneRowAndEmptiesBothFields)
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

TEST_F(DictionaryCommandsTest, RegisterBringsTheRegisteredRowIntoView)
{
    for (int i = 100; i < 300; ++i)
        dlg->m_replacer.AddPair(QStringLiteral("m%1").arg(i).toStdU16String().c_str(), u"x");
    dlg->RefreshList();
    auto expectInView = [&](const QString& before) {
        QCoreApplication::processEvents();
        const QModelIndexList found = model->match(model->index(0, 0), Qt::DisplayRole, before, 1, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << before.toStdString();
        EXPECT_TRUE(List().viewport()->rect().contains(List().visualRect(found.front()))) << before.toStdString();
        EXPECT_TRUE(SelectedRows().isEmpty());
    };
    ClickRow(2);
    Register("z", "last"); // the end of the list
    expectInView("z");
    Register("a", "first");
    expectInView("a");
    Register("m200", "y"); // joined to a pair in the middle
    expectInView("m200");
    Register("m150\0", "z"); // taken up to the U+0000
    expectInView("m150");
}

TEST_F(DictionaryCommandsTest, RegisteringTheSamePairAgainChangesNothing)
{
    Register("a", "b");
    Register("a", "b");
    EXPECT_EQ(ListRows(), (Rows{{"a", "b"}}));
    EXPECT_EQ(Items(Before()), QStringList{"a"});
    EXPECT_EQ(Items(After()), QStringList{"b"});
    EXPECT_EQ(Before().currentText(), QString());
    EXPECT_EQ(After().currentText(), QString());
}

TEST_F(DictionaryCommandsTest, EmptyAfterBoxForANewBeforeAddsNoRowButOneEmptyHistoryItem)
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

TEST_F(DictionaryCommandsTest, TextsDifferingOnlyInCaseAreTwoHistoryItemsInOrdinalOrder)
{
    Register("a", "x");
    Register("A", "X");
    EXPECT_EQ(Items(Before()), (QStringList{"A", "a"}));
    EXPECT_EQ(Items(After()), (QStringList{"X", "x"}));
    EXPECT_EQ(ListRows(), (Rows{{"A", "X"}, {"a", "x"}}));
}

TEST_F(DictionaryCommandsTest, RegisterListsTheRowsInOrdinalOrderOfTheBeforeString)
{
    Register("b", "2");
    Register("a", "1");
    Register("ab", "3");
    Register("Z", "4");
    EXPECT_EQ(ListRows(), (Rows{{"Z", "4"}, {"a", "1"}, {"ab", "3"}, {"b", "2"}}));
    EXPECT_EQ(Items(Before()), (QStringList{"Z", "a", "ab", "b"}));
    EXPECT_EQ(Items(After()), (QStringList{"1", "2", "3", "4"}));
}

TEST_F(DictionaryCommandsTest, RegisterJoinsANewAfterStringOnlyOnce)
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

TEST_F(DictionaryCommandsTest, DoubleClickThenDeleteAnsweredYesRemovesThatRow)
{
    Register("a", "1");
    Register("b", "2");
    Register("c", "3");
    const QStringList beforeHistory = Items(Before());
    const QStringList afterHistory = Items(After());

    ClickRow(1);
    DoubleClickRow(1);
    EXPECT_EQ(Before().currentText(), QStringLiteral("b"));
    EXPECT_EQ(After().currentText(), QStringLiteral("2"));
    EXPECT_EQ(Items(Before()), beforeHistory) << "the double-click leaves the histories";
    EXPECT_EQ(Items(After()), afterHistory);

    QSignalSpy resets(model, &QAbstractItemModel::modelReset);
    QSignalSpy removed(model, &QAbstractItemModel::rowsRemoved);
    ClickDelete(true);
    EXPECT_EQ(ListRows(), (Rows{{"a", "1"}, {"c", "3"}}));
    EXPECT_EQ(resets.size(), 0);
    ASSERT_EQ(removed.size(), 1) << "the one row goes";
    EXPECT_EQ(removed.front().at(1).toInt(), 1);
    EXPECT_EQ(Before().currentText(), QString());
    EXPECT_EQ(After().currentText(), QString());
    EXPECT_EQ(Items(Before()), beforeHistory);
    EXPECT_EQ(Items(After()), afterHistory);
    EXPECT_EQ(prompter.Messages().size(), 0);
}

TEST_F(DictionaryCommandsTest, DeleteAnsweredNoChangesNothing)
{
    Register("a", "1");
    Register("b", "2");
    Type(Before(), "b");
    Type(After(), "2");
    const QStringList beforeHistory = Items(Before());
    const QStringList afterHistory = Items(After());

    ClickDelete(false);
    EXPECT_EQ(ListRows(), (Rows{{"a", "1"}, {"b", "2"}}));
    EXPECT_EQ(Before().currentText(), QStringLiteral("b"));
    EXPECT_EQ(After().currentText(), QStringLiteral("2"));
    EXPECT_EQ(Items(Before()), beforeHistory);
    EXPECT_EQ(Items(After()), afterHistory);

    // Not even texts that are new to the histories get in.
    Type(Before(), "new");
    Type(After(), "text");
    ClickDelete(false);
    EXPECT_EQ(Before().currentText(), QStringLiteral("new"));
    EXPECT_EQ(After().currentText(), QStringLiteral("text"));
    EXPECT_EQ(Items(Before()), beforeHistory);
    EXPECT_EQ(Items(After()), afterHistory);
    EXPECT_EQ(ListRows(), (Rows{{"a", "1"}, {"b", "2"}}));
}

TEST_F(DictionaryCommandsTest, DeleteWithADifferentAfterStringRemovesNothing)
{
    Register("a", "1");
    Register("b", "2");
    Type(Before(), "b");
    Type(After(), "zz");
    QSignalSpy resets(model, &QAbstractItemModel::modelReset);

    ClickDelete(true);
    EXPECT_EQ(ListRows(), (Rows{{"a", "1"}, {"b", "2"}}));
    EXPECT_EQ(resets.size(), 0);
    EXPECT_EQ(Before().currentText(), QStringLiteral("b"));
    EXPECT_EQ(After().currentText(), QStringLiteral("zz"));
    EXPECT_EQ(Items(Before()), (QStringList{"a", "b"}));
    EXPECT_EQ(Items(After()), (QStringList{"1", "2", "zz"})) << "the histories gain the texts";
    EXPECT_EQ(prompter.Messages().size(), 0) << "no message";
}

TEST_F(DictionaryCommandsTest, DeleteOfOnePieceOfAJoinedValueRemovesNothing)
{
    Register("k", "x");
    Register("k", "y");
    Type(Before(), "k");
    Type(After(), "x");
    ClickDelete(true);
    EXPECT_EQ(ListRows(), (Rows{{"k", "x; y"}}));
    EXPECT_EQ(Before().currentText(), QStringLiteral("k"));
    EXPECT_EQ(After().currentText(), QStringLiteral("x"));

    Type(After(), "x; y");
    ClickDelete(true);
    EXPECT_EQ(model->rowCount(), 0);
    EXPECT_EQ(Before().currentText(), QString());
    EXPECT_EQ(After().currentText(), QString());
}

TEST_F(DictionaryCommandsTest, DeleteOfABeforeStringWithoutPairRemovesNothing)
{
    Register("a", "1");
    Type(Before(), "q");
    Type(After(), "1");
    ClickDelete(true);
    EXPECT_EQ(ListRows(), (Rows{{"a", "1"}}));
    EXPECT_EQ(Before().currentText(), QStringLiteral("q"));
    EXPECT_EQ(After().currentText(), QStringLiteral("1"));
    EXPECT_EQ(Items(Before()), (QStringList{"a", "q"}));
}

TEST_F(DictionaryCommandsTest, DeleteOfAPrefixHoldingNoValueEmptiesTheFieldsOnly)
{
    Register("abc", "1");
    Register("b", "2");
    Type(Before(), "ab");
    Type(After(), "");
    QSignalSpy resets(model, &QAbstractItemModel::modelReset);

    ClickDelete(true);
    EXPECT_EQ(ListRows(), (Rows{{"abc", "1"}, {"b", "2"}})) << "no row disappears";
    EXPECT_EQ(resets.size(), 0);
    EXPECT_EQ(Before().currentText(), QString());
    EXPECT_EQ(After().currentText(), QString());
    EXPECT_EQ(Items(Before()), (QStringList{"ab", "abc", "b"}));
    EXPECT_EQ(Items(After()), (QStringList{QString(), "1", "2"}));
}

TEST_F(DictionaryCommandsTest, DeleteOfTheEmptyBeforeStringsEntry)
{
    Register("a", "1");
    dlg->m_replacer.AddPair(u"", u"x");
    dlg->RefreshList();
    ASSERT_EQ(ListRows(), (Rows{{"", "x"}, {"a", "1"}}));

    ClickRow(0);
    DoubleClickRow(0);
    EXPECT_EQ(Before().currentText(), QString());
    EXPECT_EQ(After().currentText(), QStringLiteral("x"));
    ClickDelete(true);
    EXPECT_EQ(ListRows(), (Rows{{"a", "1"}}));
    EXPECT_EQ(Items(Before()), (QStringList{QString(), "a"}));
}

TEST_F(DictionaryCommandsTest, DeleteAfterASortByTheAfterStringKeepsThatOrderUntilTheNextRegister)
{
    Register("a", "3");
    Register("b", "1");
    Register("c", "2");
    Register("d", "4");
    ClickHeader(1);
    ASSERT_EQ(ListRows(), (Rows{{"b", "1"}, {"c", "2"}, {"a", "3"}, {"d", "4"}}));

    ClickRow(1);
    DoubleClickRow(1);
    ASSERT_EQ(Before().currentText(), QStringLiteral("c"));
    ClickDelete(true);
    EXPECT_EQ(ListRows(), (Rows{{"b", "1"}, {"a", "3"}, {"d", "4"}}));
    ExpectStripes();

    Register("e", "0");
    EXPECT_EQ(ListRows(), (Rows{{"a", "3"}, {"b", "1"}, {"d", "4"}, {"e", "0"}}));
}

// --- Double-click -------------------------------------------------------------

TEST_F(DictionaryCommandsTest, DoubleClickWithTwoRowsSelectedCopiesTheLowestNumberedOne)
{
    Register("a", "1");
    Register("b", "2");
    Register("c", "3");
    Register("d", "4");
    const QStringList beforeHistory = Items(Before());
    const QStringList afterHistory = Items(After());

    ClickRow(1);
    ClickRow(3, Qt::ControlModifier); // row 3 is now the current one
    ASSERT_EQ(SelectedRows(), (QList<int>{1, 3}));

    DoubleClickWatcher watcher;
    List().viewport()->installEventFilter(&watcher);
    DoubleClickRow(3, Qt::ControlModifier);
    List().viewport()->removeEventFilter(&watcher);
    ASSERT_EQ(watcher.seen.size(), 1);
    EXPECT_EQ(watcher.seen.front(), (QList<int>{1, 3})) << "two rows were selected at the double-click";

    EXPECT_EQ(Before().currentText(), QStringLiteral("b")) << "the lower-numbered row, not the clicked one";
    EXPECT_EQ(After().currentText(), QStringLiteral("2"));
    EXPECT_EQ(Items(Before()), beforeHistory);
    EXPECT_EQ(Items(After()), afterHistory);
    EXPECT_EQ(ListRows(), (Rows{{"a", "1"}, {"b", "2"}, {"c", "3"}, {"d", "4"}}));
}

TEST_F(DictionaryCommandsTest, DoubleClickWithNoRowSelectedDoesNothing)
{
    Register("a", "1");
    Register("b", "2");
    Type(Before(), "p");
    Type(After(), "q");
    ASSERT_TRUE(SelectedRows().isEmpty());

    DoubleClickRow(1);
    EXPECT_EQ(Before().currentText(), QStringLiteral("p"));
    EXPECT_EQ(After().currentText(), QStringLiteral("q"));

    // Below the last row: the click clears the selection, the double-click
    // finds none.
    List().clearSelection();
    const QPoint below(RowCenter(1).x(), List().visualRect(model->index(1, 0)).bottom() + 20);
    ASSERT_FALSE(List().indexAt(below).isValid());
    QTest::mouseClick(List().viewport(), Qt::LeftButton, Qt::NoModifier, below);
    QTest::mouseDClick(List().viewport(), Qt::LeftButton, Qt::NoModifier, below);
    EXPECT_EQ(Before().currentText(), QStringLiteral("p"));
    EXPECT_EQ(After().currentText(), QStringLiteral("q"));
    EXPECT_EQ(Items(Before()), (QStringList{"a", "b"}));
    EXPECT_EQ(Items(After()), (QStringList{"1", "2"}));
}

TEST_F(DictionaryCommandsTest, DoubleClickCopiesTheEntryTheRowShowsAfterASort)
{
    Register("a", "3");
    Register("b", "1");
    Register("c", "2");
    ClickRow(0);
    ClickHeader(1);
    ASSERT_EQ(SelectedRows(), QList<int>{0});
    DoubleClickRow(0);
    EXPECT_EQ(Before().currentText(), QStringLiteral("b"));
    EXPECT_EQ(After().currentText(), QStringLiteral("1"));
}

// A cell shows only the start of a long string, never half a surrogate pair;
// the double-click still copies the whole pair.
TEST_F(DictionaryCommandsTest, LongStringsShowTheirStartAndDoubleClickCopiesThemWhole)
{
    const size_t max = EntryListModel::kCellTextMax;
    const std::u16string before = std::u16string(max - 1, u'a') + u"\U0001F600b"; // the pair straddles the cut
    const std::u16string after(100000, u'x');
    dlg->m_replacer.AddPair(before.c_str(), after.c_str());
    dlg->RefreshList();

    EXPECT_EQ(Cell(0, 0), QString(qsizetype(max - 1), u'a'));
    EXPECT_EQ(Cell(0, 1), QString(qsizetype(max), u'x'));
    ClickRow(0);
    DoubleClickRow(0);
    EXPECT_EQ(Before().currentText(), QString::fromStdU16String(before));
    EXPECT_EQ(After().currentText(), QString::fromStdU16String(after));
}

// --- Header sort ----------------------------------------------------------------

TEST_F(DictionaryCommandsTest, HeaderClicksSortInOrdinalOrder)
{
    Register("a", "y");
    Register("Z", "b");
    Register("ab", "B");
    dlg->m_replacer.AddPair(u"", u"x");
    dlg->RefreshList();
    const Rows byBefore{{"", "x"}, {"Z", "b"}, {"a", "y"}, {"ab", "B"}};
    ASSERT_EQ(ListRows(), byBefore);
    EXPECT_TRUE(model->data(model->index(0, 0)).isValid());
    EXPECT_EQ(Cell(0, 0).size(), 0) << "the empty before-string's entry shows an empty cell";

    QSignalSpy resets(model, &QAbstractItemModel::modelReset);
    ClickHeader(1);
    const Rows byAfter{{"ab", "B"}, {"Z", "b"}, {"", "x"}, {"a", "y"}};
    EXPECT_EQ(ListRows(), byAfter);
    ClickHeader(0);
    EXPECT_EQ(ListRows(), byBefore);
    EXPECT_EQ(resets.size(), 0) << "a sort keeps the row count";
    EXPECT_EQ(model->rowCount(), 4);
    EXPECT_TRUE(prompter.asked.isEmpty());
}

TEST_F(DictionaryCommandsTest, SecondClickOnTheSameHeaderKeepsTheAscendingOrder)
{
    Register("a", "3");
    Register("b", "1");
    Register("c", "2");
    ClickHeader(1);
    const Rows byAfter{{"b", "1"}, {"c", "2"}, {"a", "3"}};
    EXPECT_EQ(ListRows(), byAfter);
    ClickHeader(1);
    EXPECT_EQ(ListRows(), byAfter);

    const Rows byBefore{{"a", "3"}, {"b", "1"}, {"c", "2"}};
    ClickHeader(0);
    EXPECT_EQ(ListRows(), byBefore);
    ClickHeader(0);
    EXPECT_EQ(ListRows(), byBefore);
    EXPECT_FALSE(List().horizontalHeader()->isSortIndicatorShown());
}

TEST_F(DictionaryCommandsTest, HeaderClicksOnAnEmptyListChangeNothing)
{
    ClickHeader(0);
    ClickHeader(1);
    EXPECT_EQ(model->rowCount(), 0);
}

TEST_F(DictionaryCommandsTest, ShadingStaysWithTheRowNumbers)
{
    Register("a", "4");
    Register("b", "3");
    Register("c", "2");
    Register("d", "1");
    ExpectStripes();
    EXPECT_EQ(Shade(0), kWhite);
    EXPECT_EQ(Shade(1), kPaleBlue);

    ClickHeader(1);
    ASSERT_EQ(Cell(0, 0), QStringLiteral("d"));
    ExpectStripes();
    EXPECT_EQ(Shade(0), kWhite);
    EXPECT_EQ(Shade(1), kPaleBlue);

    ClickHeader(0);
    ASSERT_EQ(Cell(0, 0), QStringLiteral("a"));
    ExpectStripes();
}

TEST_F(DictionaryCommandsTest, SelectionIsShownOnlyWhileTheListHasTheFocus)
{
    Register("a", "1");
    Register("b", "2");
    Register("c", "3");
    dlg->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
    Before().setFocus();
    const QImage unselected = List().viewport()->grab().toImage();

    ClickRow(1);
    ASSERT_TRUE(List().hasFocus());
    ASSERT_EQ(SelectedRows(), QList<int>{1});
    EXPECT_NE(List().viewport()->grab().toImage(), unselected) << "the selection shows in the focused list";

    After().setFocus();
    ASSERT_FALSE(List().hasFocus());
    EXPECT_EQ(List().viewport()->grab().toImage(), unselected) << "without the focus the rows look unselected";
    EXPECT_EQ(SelectedRows(), QList<int>{1}) << "and stay selected";
    List().setFocus();
    EXPECT_NE(List().viewport()->grab().toImage(), unselected);
}

TEST_F(DictionaryCommandsTest, HeaderClickKeepsTheSelectedRowNumbers)
{
    Register("a", "4");
    Register("b", "3");
    Register("c", "2");
    Register("d", "1");
    ClickRow(0);
    ClickRow(2, Qt::ControlModifier);
    ASSERT_EQ(SelectedRows(), (QList<int>{0, 2}));

    ClickHeader(1);
    EXPECT_EQ(ListRows(), (Rows{{"d", "1"}, {"c", "2"}, {"b", "3"}, {"a", "4"}}));
    EXPECT_EQ(SelectedRows(), (QList<int>{0, 2})) << "the same row numbers, now other entries";

    // They now show 'd' and 'b'; the double-click takes the lower row.
    DoubleClickRow(2, Qt::ControlModifier);
    EXPECT_EQ(Before().currentText(), QStringLiteral("d"));
    EXPECT_EQ(After().currentText(), QStringLiteral("1"));
}

} // namespace
