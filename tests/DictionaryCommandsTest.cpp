// What of the dictionary commands needs the window's real controls: the
// buttons, the double-click on the selected rows, the header clicks and the
// selection. The commands themselves are tested through the controller.
#include "EntryListModel.h"
#include "WindowTest.h"

#include <QImage>
#include <QItemSelectionModel>
#include <QMouseEvent>

#include <algorithm>

namespace {

const QString kConfirmText = QStringLiteral("削除してよろしいですか？");
const QString kConfirmCaption = QStringLiteral("確認");

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
    QComboBox& Before() const { return *dlg->BeforeCombo(); }
    QComboBox& After() const { return *dlg->AfterCombo(); }
    QTableView& List() const { return *dlg->DictList(); }

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
};

// --- Register ---------------------------------------------------------------

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

// --- Selection and header sort ------------------------------------------------

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
