// The text area held to QPlainTextEdit: the same keys, input-method events,
// pastes and clicks on both, offscreen and unshown, and the same text, caret
// and selection after them, and the same answers to the input method.
#include "QtTranslations.h"
#include "TextArea.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextLayout>
#include <QTranslator>

#include "QtTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

constexpr int kMaxPiece = int(TextBuffer::kMaxPiece);

// A line of words `pieces` pieces long.
QString LongLine(int pieces = 3)
{
    QString words;
    for (int i = 0; words.size() < pieces * kMaxPiece; ++i)
        words += QStringLiteral("word%1 ").arg(i % 97);
    return words;
}

// Where a piece of LongLine() starts.
int LongLineCut(size_t piece)
{
    TextBuffer buffer;
    buffer.Assign(LongLine().toStdU16String());
    return int(buffer.PieceStart(piece));
}

// One of the two editors under the same steps.
class Editor {
public:
    virtual ~Editor() = default;
    virtual QWidget* Widget() = 0;
    virtual void Set(const QString& text, int anchor, int position) = 0;
    virtual QString Text() = 0;
    virtual int Position() = 0;
    virtual int Anchor() = 0;
    // The middle of the caret at `position`, in the viewport.
    virtual QPoint PointAt(int position) = 0;
    QWidget* Viewport() { return static_cast<QAbstractScrollArea*>(Widget())->viewport(); }
};

class AreaEditor : public Editor {
public:
    TextArea area;
    QWidget* Widget() override { return &area; }
    void Set(const QString& text, int anchor, int position) override
    {
        area.SetText(text);
        area.SetSelection(anchor, position);
    }
    QString Text() override { return area.ReadText(); }
    int Position() override { return int(area.Position()); }
    int Anchor() override { return int(area.Anchor()); }
    QPoint PointAt(int position) override
    {
        const qsizetype anchor = area.Anchor(), caret = area.Position();
        area.SetPosition(position);
        const QPoint point = area.Control().CaretRect().center().toPoint();
        area.SetSelection(anchor, caret);
        return point;
    }
};

// Unshown, a scroll area lays out its viewport at its size, and the editor
// wraps its text at the viewport's width, only once told of the size.
void Resized(QAbstractScrollArea& area)
{
    QResizeEvent resize(area.size(), QSize());
    QApplication::sendEvent(&area, &resize);
    QResizeEvent viewport(area.viewport()->size(), QSize());
    QApplication::sendEvent(area.viewport(), &viewport);
}

class PlainEditor : public Editor {
public:
    QPlainTextEdit edit;
    QWidget* Widget() override { return &edit; }
    void Set(const QString& text, int anchor, int position) override
    {
        edit.setPlainText(text);
        Resized(edit);
        QTextCursor cursor = edit.textCursor();
        cursor.setPosition(anchor);
        cursor.setPosition(position, QTextCursor::KeepAnchor);
        edit.setTextCursor(cursor);
    }
    QString Text() override { return edit.toPlainText(); }
    int Position() override { return edit.textCursor().position(); }
    int Anchor() override { return edit.textCursor().anchor(); }
    QPoint PointAt(int position) override
    {
        QTextCursor cursor = edit.textCursor();
        cursor.setPosition(position);
        return edit.cursorRect(cursor).center();
    }
};

using Step = std::function<void(Editor&)>;

Step Keys(const QString& text)
{
    return [text](Editor& e) { QTest::keyClicks(e.Widget(), text); };
}

Step Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    return [key, modifiers](Editor& e) { QTest::keyClick(e.Widget(), key, modifiers); };
}

Step Undo()
{
    return Key(Qt::Key_Z, Qt::ControlModifier);
}

// QPlainTextEdit moves in visual order as the text area does.
Step Visual()
{
    return [](Editor& e) {
        if (auto* plain = qobject_cast<QPlainTextEdit*>(e.Widget()))
            plain->document()->setDefaultCursorMoveStyle(Qt::VisualMoveStyle);
    };
}

Step Paste(const QString& text)
{
    return [text](Editor& e) {
        QGuiApplication::clipboard()->setText(text);
        QTest::keyClick(e.Widget(), Qt::Key_V, Qt::ControlModifier);
    };
}

// An input-method event: what is composed, what is committed and what of
// the text around the caret the commit replaces, and its attributes.
Step Input(const QString& preedit, const QString& commit, int from = 0, int length = 0,
           QList<QInputMethodEvent::Attribute> attributes = {})
{
    return [=](Editor& e) {
        QInputMethodEvent event(preedit, attributes);
        event.setCommitString(commit, from, length);
        QApplication::sendEvent(e.Widget(), &event);
    };
}

QInputMethodEvent::Attribute Segment(int start, int length, bool active)
{
    QTextCharFormat format;
    format.setFontUnderline(true);
    if (active)
        format.setBackground(Qt::darkBlue);
    return {QInputMethodEvent::TextFormat, start, length, format};
}

Step Click(int position, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    return [=](Editor& e) { QTest::mouseClick(e.Viewport(), Qt::LeftButton, modifiers, e.PointAt(position)); };
}

Step DoubleClick(int position)
{
    return [=](Editor& e) {
        const QPoint at = e.PointAt(position);
        QTest::mouseClick(e.Viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseDClick(e.Viewport(), Qt::LeftButton, Qt::NoModifier, at);
    };
}

Step TripleClick(int position)
{
    return [=](Editor& e) {
        DoubleClick(position)(e);
        QTest::mouseClick(e.Viewport(), Qt::LeftButton, Qt::NoModifier, e.PointAt(position));
    };
}

// Text dragged from elsewhere and dropped at the caret place of `position`.
Step DropText(int position, const QString& text)
{
    return [=](Editor& e) {
        QMimeData mime;
        mime.setText(text);
        const QPoint at = e.PointAt(position);
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(e.Viewport(), &enter);
        QDragMoveEvent move(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(e.Viewport(), &move);
        QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(e.Viewport(), &drop);
    };
}

// Where the rows of the text start, as laid out at the width of each.
QList<int> RowStarts(const TextAreaControl& control)
{
    QList<int> starts;
    for (size_t piece = 0; piece < control.Buffer().PieceCount(); ++piece)
        for (int row = 0; row < control.RowCount(piece); ++row)
            starts.append(int(control.DisplayStart(piece)) + control.LayoutOf(piece).lineAt(row).textStart());
    return starts;
}

QList<int> RowStarts(QPlainTextEdit& edit)
{
    QList<int> starts;
    auto* layout = static_cast<QPlainTextDocumentLayout*>(edit.document()->documentLayout());
    for (QTextBlock block = edit.document()->firstBlock(); block.isValid(); block = block.next()) {
        layout->ensureBlockLayout(block);
        for (int row = 0; row < block.layout()->lineCount(); ++row)
            starts.append(block.position() + block.layout()->lineAt(row).textStart());
    }
    return starts;
}

struct Row {
    const char* name;
    QString text;
    int anchor;
    int position;
    std::vector<Step> steps;
};

class TextAreaTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (Editor* e : {static_cast<Editor*>(&area), static_cast<Editor*>(&plain)}) {
            e->Widget()->setFont(QFont(QStringLiteral("DejaVu Sans"), 10));
            e->Widget()->resize(300, 200);
            static_cast<QAbstractScrollArea*>(e->Widget())->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        }
        for (Editor* e : {static_cast<Editor*>(&area), static_cast<Editor*>(&plain)})
            Resized(*static_cast<QAbstractScrollArea*>(e->Widget()));
        QGuiApplication::clipboard()->clear();
    }

    // Runs the row on both editors and compares them.
    void Compare(const Row& row)
    {
        SCOPED_TRACE(row.name);
        for (Editor* e : {static_cast<Editor*>(&area), static_cast<Editor*>(&plain)}) {
            e->Set(row.text, row.anchor, row.position);
            for (const Step& step : row.steps)
                step(*e);
        }
        const QString ours = State(area);
        const QString theirs = State(plain);
        if (ours != theirs)
            ADD_FAILURE() << row.name << "\n  text area:      " << ours.toStdString()
                          << "\n  QPlainTextEdit: " << theirs.toStdString();
    }

    // Text, caret, anchor and the input method's answers, as one string
    // that shows where the two differ. In a text longer than a piece the
    // text area answers for the caret's piece, not its whole paragraph.
    static QString State(Editor& e)
    {
        QString state = e.Text().replace(u'\n', u'/') + QStringLiteral(" | caret %1 anchor %2").arg(e.Position()).arg(e.Anchor());
        const bool piece = e.Text().size() <= qsizetype(TextBuffer::kMaxPiece);
        for (Qt::InputMethodQuery query : {Qt::ImSurroundingText, Qt::ImCursorPosition, Qt::ImAnchorPosition,
                                           Qt::ImCurrentSelection, Qt::ImAbsolutePosition, Qt::ImTextBeforeCursor,
                                           Qt::ImTextAfterCursor, Qt::ImHints, Qt::ImEnabled})
            if (piece || query == Qt::ImAbsolutePosition || query == Qt::ImHints)
                state += QStringLiteral(" | %1").arg(e.Widget()->inputMethodQuery(query).toString().replace(u'\n', u'/'));
        return state;
    }

    AreaEditor area;
    PlainEditor plain;
};

TEST_F(TextAreaTest, DoesAsQPlainTextEditDoes)
{
    const QList<QInputMethodEvent::Attribute> composing = {
        {QInputMethodEvent::Cursor, 1, 1}, Segment(0, 2, true), Segment(2, 2, false)};
    const int cut = LongLineCut(1);
    const Row rows[] = {
        // Undo steps
        {"typing, Enter and typing: undo takes the last line's typing", "", 0, 0,
         {Keys("hello"), Key(Qt::Key_Return), Keys("world"), Undo()}},
        {"and the line break next", "", 0, 0, {Keys("hello"), Key(Qt::Key_Return), Keys("world"), Undo(), Undo()}},
        {"typing with spaces is one step", "", 0, 0, {Keys("a b c"), Undo()}},
        {"three Backspaces are one step", "abcd", 4, 4,
         {Key(Qt::Key_Backspace), Key(Qt::Key_Backspace), Key(Qt::Key_Backspace), Undo()}},
        {"Backspaces over a line break", "ab\ncd", 4, 4,
         {Key(Qt::Key_Backspace), Key(Qt::Key_Backspace), Key(Qt::Key_Backspace), Undo()}},
        {"Backspace over a selection is a step of its own", "abcd", 4, 4,
         {Key(Qt::Key_Backspace), Key(Qt::Key_Left, Qt::ShiftModifier), Key(Qt::Key_Backspace), Undo()}},
        {"three Deletes are one step", "abcd", 0, 0,
         {Key(Qt::Key_Delete), Key(Qt::Key_Delete), Key(Qt::Key_Delete), Undo()}},
        {"typing then Backspace", "", 0, 0, {Keys("ab"), Key(Qt::Key_Backspace), Undo()}},
        {"a paste is its own step after typing", "", 0, 0, {Keys("ab"), Paste("X"), Undo()}},
        {"and before typing", "", 0, 0, {Paste("X"), Keys("ab"), Undo()}},
        {"typing elsewhere is a new step", "", 0, 0, {Keys("ab"), Key(Qt::Key_Left), Keys("c"), Undo()}},
        {"typing over a selection", "abcd", 1, 3, {Keys("XY"), Undo()}},
        {"two commits", "", 0, 0, {Input("", "漢字"), Input("", "です"), Undo()}},
        {"typing after a commit", "", 0, 0, {Input("", "漢字"), Keys("a"), Undo()}},
        {"redo", "", 0, 0, {Keys("ab"), Key(Qt::Key_Return), Keys("cd"), Undo(), Undo(),
                            Key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier)}},
        // Input methods
        {"a commit replaces the unit before the caret", "abc", 3, 3, {Input("", "X", -1, 1)}},
        {"a commit replaces the unit after the caret", "abc", 0, 0, {Input("", "X", 1, 1)}},
        {"a replacement without a commit removes", "abc", 2, 2, {Input("", "", -2, 1)}},
        {"composing leaves the text", "ab\ncd", 4, 4, {Input("かな", "", 0, 0, composing)}},
        {"composing removes the selection", "abc", 1, 2, {Input("x", "")}},
        {"composing then committing", "ab", 2, 2, {Input("かな", "", 0, 0, composing), Input("", "仮名")}},
        {"a selection from the input method", "abc\ndef", 5, 5,
         {Input("", "", 0, 0, {{QInputMethodEvent::Selection, 0, 2}})}},
        {"the answers with a selection", "abc\ndef\nghi", 1, 9, {}},
        // The mouse
        {"a click places the caret", "abc def\nghi", 0, 0, {Click(5)}},
        {"shift and a click select", "abc def\nghi", 1, 1, {Click(9, Qt::ShiftModifier)}},
        {"a double-click selects the word", "abc def\nghi", 0, 0, {DoubleClick(5)}},
        {"a triple-click selects the line", "abc def\nghi", 0, 0, {TripleClick(5)}},
        {"and the last line", "abc def\nghi", 0, 0, {TripleClick(9)}},
        {"a click in the selection collapses it", "abc def", 0, 7, {Click(2)}},
        {"text dropped goes in where it is dropped", "abc def", 0, 0, {DropText(4, "XY")}},
        // Right to left: the arrows go the way the text runs on screen.
        {"right in Arabic goes back in the text", "مرحبا", 3, 3, {Visual(), Key(Qt::Key_Right)}},
        {"left in Arabic goes on", "مرحبا", 3, 3, {Visual(), Key(Qt::Key_Left)}},
        {"over a Hebrew word in English", "ab אבג cd", 3, 3,
         {Visual(), Key(Qt::Key_Right), Key(Qt::Key_Right)}},
        {"into a Hebrew word from its right", "ab אבג cd", 7, 7, {Visual(), Key(Qt::Key_Left)}},
        {"shift selects visually", "ab אבג cd", 3, 3,
         {Visual(), Key(Qt::Key_Right, Qt::ShiftModifier), Key(Qt::Key_Right, Qt::ShiftModifier)}},
        // A line longer than a piece: its rows go on over the pieces' edges.
        {"down over a piece's edge", LongLine(), cut - 90, cut - 90,
         {Key(Qt::Key_Down), Key(Qt::Key_Down), Key(Qt::Key_Down)}},
        {"up back over it", LongLine(), LongLineCut(2) + 30, LongLineCut(2) + 30,
         {Key(Qt::Key_Up), Key(Qt::Key_Up), Key(Qt::Key_Up)}},
        {"end of the row across the edge", LongLine(), cut - 2, cut - 2, {Key(Qt::Key_End)}},
        {"and its start", LongLine(), cut + 2, cut + 2, {Key(Qt::Key_Home)}},
    };
    for (const Row& row : rows)
        Compare(row);
    // A line longer than a piece wraps into the rows of one layout of it,
    // and no cluster at a piece's edge is parted.
    const QString family = QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466");
    const QString kanji = QStringLiteral("\u845B\U000E0100");
    const QString rowTexts[] = {
        LongLine(),
        QString(kMaxPiece - 3, u'x') + family + QString(kMaxPiece, u'x'),
        QString(kMaxPiece - 1, u'x') + kanji + QString(kMaxPiece, u'x'),
        QStringLiteral("short\n") + LongLine() + QStringLiteral("\nshort"),
    };
    for (const QString& text : rowTexts) {
        area.Set(text, 0, 0);
        plain.Set(text, 0, 0);
        const QList<int> ours = RowStarts(area.area.Control());
        EXPECT_GT(ours.size(), 3);
        EXPECT_EQ(ours, RowStarts(plain.edit)) << text.left(20).toStdString();
    }
    // Shown from its end first, a long line is laid out from a few pieces
    // back; its rows are still those of the whole line, also where a run
    // with no place to wrap keeps them from falling in.
    for (const QString& text : {LongLine(9), QString(9 * kMaxPiece, u'x'), LongLine(4) + QString(5 * kMaxPiece, u'x')}) {
        area.Set(text, int(text.size()), int(text.size()));
        plain.Set(text, 0, 0);
        EXPECT_EQ(RowStarts(area.area.Control()), RowStarts(plain.edit)) << text.left(20).toStdString();
    }
    // The clicks reach the text area: the rows agree on more than nothing.
    area.Set(QStringLiteral("abc def\nghi"), 0, 0);
    TripleClick(5)(area);
    EXPECT_EQ(area.Anchor(), 0);
    EXPECT_EQ(area.Position(), 8);
    DropText(1, QStringLiteral("Z"))(area);
    EXPECT_EQ(area.Text(), QStringLiteral("aZbc def\nghi"));
    // Selected text dragged within the text area moves, as one undo step.
    area.Set(QStringLiteral("abc def"), 4, 7);
    area.area.Control().Drop(area.PointAt(0), QStringLiteral("def"), true);
    EXPECT_EQ(area.Text(), QStringLiteral("defabc "));
    EXPECT_EQ(area.Position(), 3);
    area.area.Control().Drop(area.PointAt(7), QStringLiteral("de"), true); // nothing selected: a copy
    EXPECT_EQ(area.Text(), QStringLiteral("defabc de"));
    area.area.undo();
    area.area.undo();
    EXPECT_EQ(area.Text(), QStringLiteral("abc def"));
    area.Set(QStringLiteral("abc def"), 0, 3);
    area.area.Control().Drop(area.PointAt(7), QStringLiteral("abc"), true);
    EXPECT_EQ(area.Text(), QStringLiteral(" defabc"));
    EXPECT_EQ(area.Position(), 7);
    // Left at the left end of a right-to-left line goes on to the next line,
    // where QPlainTextEdit's visual moves stop.
    area.Set(QStringLiteral("مر\nحب"), 2, 2);
    Key(Qt::Key_Left)(area);
    EXPECT_EQ(area.Position(), 3);
}

// The composition is laid out inline, with the input method's formats and
// caret, where QPlainTextEdit lays it out, and wraps with its row.
TEST_F(TextAreaTest, TheCompositionIsPartOfTheLayout)
{
    const QString composed = QString(120, QChar(0x304B));
    const QList<QInputMethodEvent::Attribute> attributes = {
        {QInputMethodEvent::Cursor, 3, 1}, Segment(0, 3, true), Segment(3, 117, false)};
    for (Editor* e : {static_cast<Editor*>(&area), static_cast<Editor*>(&plain)}) {
        e->Set(QStringLiteral("first line\nab"), 13, 13);
        Input(composed, QString(), 0, 0, attributes)(*e);
    }
    const QTextLayout& ours = area.area.Control().LayoutOf(1);
    const QTextLayout& theirs = *plain.edit.document()->lastBlock().layout();
    const QRect theirCaret = plain.edit.cursorRect();
    EXPECT_EQ(ours.preeditAreaText(), composed);
    EXPECT_EQ(ours.preeditAreaPosition(), theirs.preeditAreaPosition());
    ASSERT_EQ(ours.formats().size(), 2);
    EXPECT_EQ(ours.formats()[0].start, 2);
    EXPECT_EQ(ours.formats()[0].format.background(), QBrush(Qt::darkBlue));
    EXPECT_EQ(ours.formats()[1].length, 117);
    // Wrapped, not run off the row.
    EXPECT_GT(ours.lineCount(), 1);
    // The caret stands in the composition, three characters in.
    const QRectF caret = area.area.Control().CaretRect();
    EXPECT_NEAR(caret.x(), theirCaret.x(), 1.5);
    EXPECT_GT(caret.x(), area.area.Control().LayoutOf(1).lineAt(0).cursorToX(2) + 1);
    EXPECT_EQ(area.area.inputMethodQuery(Qt::ImCursorRectangle).toRectF(),
              caret.translated(area.area.viewport()->pos()));
    // Committed, the composition goes and the text takes its place.
    Input(QString(), QStringLiteral("仮名"))(area);
    EXPECT_TRUE(area.area.Control().LayoutOf(1).preeditAreaText().isEmpty());
    EXPECT_EQ(area.Text(), QStringLiteral("first line\nab仮名"));
    // A click ends a composition; with no input method to commit it, it goes.
    for (Editor* e : {static_cast<Editor*>(&area), static_cast<Editor*>(&plain)}) {
        Input(composed, QString(), 0, 0, attributes)(*e);
        Click(0)(*e);
    }
    EXPECT_TRUE(plain.edit.document()->lastBlock().layout()->preeditAreaText().isEmpty());
    EXPECT_TRUE(area.area.Control().LayoutOf(1).preeditAreaText().isEmpty());
    EXPECT_TRUE(area.area.Control().Preedit().isEmpty());
}

// The scroll bar's arrow moves a row, also within a long wrapped line, and
// a drag held below the text goes on scrolling and selecting.
TEST_F(TextAreaTest, TheScrollBarAndADragScrollByRows)
{
    TextArea& text = area.area;
    QString lines;
    for (int i = 0; i < 100; ++i)
        lines += QStringLiteral("line %1\n").arg(i);
    text.SetText(QString(4000, u'x').replace(QStringLiteral("xxxxxxxxx"), QStringLiteral("xxxx xxxx")) + u'\n' + lines);
    ASSERT_GT(text.RowsOfLineAt(0), 10);
    text.verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(text.Control().Top(), (TextAreaControl::Row{0, 1}));
    text.verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(text.Control().Top(), (TextAreaControl::Row{0, 0}));

    const QPoint start = area.PointAt(0);
    QTest::mousePress(text.viewport(), Qt::LeftButton, Qt::NoModifier, start);
    QMouseEvent below(QEvent::MouseMove, QPointF(start.x(), text.viewport()->height() + 30), QPointF(),
                      Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(text.viewport(), &below);
    const TextAreaControl::Row top = text.Control().Top();
    const qsizetype selected = text.Position();
    // Each tick of the timer, the mouse not moving: a row further.
    for (int tick = 0; tick < 3; ++tick)
        EXPECT_TRUE(text.Control().AutoScroll());
    EXPECT_EQ(text.Control().Top(), (TextAreaControl::Row{0, top.line + 3}));
    EXPECT_GT(text.Position(), selected);
    EXPECT_EQ(text.Anchor(), 0);
    QTest::mouseRelease(text.viewport(), Qt::LeftButton, Qt::NoModifier, start);
    EXPECT_FALSE(text.Control().AutoScroll());

    // At the end of a line whose last piece has fewer rows than the screen,
    // paged down or made wider, the last row stays at the bottom.
    const auto lastRowAtBottom = [&text] {
        return text.Control().CaretRect().bottom() > text.viewport()->height() - 2 * QFontMetrics(text.font()).height();
    };
    text.SetText(LongLine(1) + QStringLiteral("tail"));
    ASSERT_EQ(text.Control().Buffer().PieceCount(), 2u);
    QTest::keyClick(&text, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(&text, Qt::Key_Home, Qt::ControlModifier);
    for (int page = 0; page < 20; ++page)
        QTest::keyClick(&text, Qt::Key_PageDown);
    QTest::keyClick(&text, Qt::Key_End, Qt::ControlModifier);
    EXPECT_TRUE(lastRowAtBottom());
    text.resize(text.width() + 200, text.height());
    Resized(text);
    EXPECT_TRUE(lastRowAtBottom());
}

// X11's primary selection: what is selected by mouse is offered, and the
// middle button pastes it where it is released. Offscreen there is none; the
// desktop run (tests/e2e/with_atspi.sh) has one.
TEST_F(TextAreaTest, ThePrimarySelectionAndTheMiddleButton)
{
    if (!QGuiApplication::clipboard()->supportsSelection())
        GTEST_SKIP() << "this platform has no primary selection";
    const Step middleClick = [](Editor& e) {
        QTest::mouseClick(e.Viewport(), Qt::MiddleButton, Qt::NoModifier, e.PointAt(0));
    };
    Compare({"a double-click offers the word, the middle button pastes it", "abc def", 0, 0,
             {DoubleClick(5), middleClick}});
    area.Set(QStringLiteral("abc def"), 0, 0);
    DoubleClick(5)(area);
    EXPECT_EQ(QGuiApplication::clipboard()->text(QClipboard::Selection), QStringLiteral("def"));
    middleClick(area);
    EXPECT_EQ(area.Text(), QStringLiteral("defabc def"));
}

// The context menu has QPlainTextEdit's items, in Japanese where Qt's
// translations are installed, Delete (削除) among them.
TEST_F(TextAreaTest, TheContextMenuIsQPlainTextEdits)
{
    ASSERT_TRUE(InstallQtJapaneseTranslations(*qApp)) << "Qt's Japanese translations are not installed";
    QGuiApplication::clipboard()->setText(QStringLiteral("x"));
    QStringList items[2];
    for (Editor* e : {static_cast<Editor*>(&area), static_cast<Editor*>(&plain)}) {
        e->Set(QStringLiteral("abc"), 0, 2);
        Keys("z")(*e);
        Key(Qt::Key_Left, Qt::ShiftModifier)(*e);
        const std::unique_ptr<QMenu> menu(e == &area ? area.area.Control().CreateContextMenu(nullptr).release()
                                                     : plain.edit.createStandardContextMenu());
        for (QAction* action : menu->actions())
            if (!action->isSeparator())
                items[e == &plain].append(action->text().section(u'\t', 0, 0) + (action->isEnabled() ? "" : " (off)"));
    }
    for (QTranslator* translator : qApp->findChildren<QTranslator*>()) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
    EXPECT_EQ(items[0], items[1]);
    EXPECT_TRUE(items[0].contains(QStringLiteral("削除"))) << items[0].join(u',').toStdString();
    // Delete removes the selection, undoably.
    area.area.Control().DeleteSelection();
    EXPECT_EQ(area.Text(), QStringLiteral("c"));
    area.area.undo();
    EXPECT_EQ(area.Text(), QStringLiteral("zc"));
}

// What a screen reader is told, and what it reads, as of QPlainTextEdit.
std::vector<std::pair<QObject*, QString>>* g_told = nullptr;

void Tell(QAccessibleEvent* event)
{
    QString what;
    switch (event->type()) {
    case QAccessible::TextInserted: {
        auto* e = static_cast<QAccessibleTextInsertEvent*>(event);
        what = QStringLiteral("insert %1 %2").arg(e->changePosition()).arg(e->textInserted());
        break;
    }
    case QAccessible::TextRemoved: {
        auto* e = static_cast<QAccessibleTextRemoveEvent*>(event);
        what = QStringLiteral("remove %1 %2").arg(e->changePosition()).arg(e->textRemoved());
        break;
    }
    case QAccessible::TextUpdated: {
        auto* e = static_cast<QAccessibleTextUpdateEvent*>(event);
        what = QStringLiteral("update %1 %2 %3").arg(e->changePosition()).arg(e->textRemoved(), e->textInserted());
        break;
    }
    case QAccessible::TextSelectionChanged: {
        auto* e = static_cast<QAccessibleTextSelectionEvent*>(event);
        what = QStringLiteral("select %1 %2").arg(e->selectionStart()).arg(e->selectionEnd());
        break;
    }
    case QAccessible::TextCaretMoved:
        what = QStringLiteral("caret %1").arg(static_cast<QAccessibleTextCursorEvent*>(event)->cursorPosition());
        break;
    default:
        return;
    }
    if (g_told)
        g_told->emplace_back(event->object(), what);
}

TEST_F(TextAreaTest, AScreenReaderReadsAndFollowsIt)
{
    std::vector<std::pair<QObject*, QString>> told;
    g_told = &told;
    QAccessible::installUpdateHandler(Tell);
    // On a desktop's accessibility bus Qt's bridge comes up once its
    // connection is answered; offscreen there is none, and only what the
    // interfaces answer is compared.
    if (qEnvironmentVariableIsSet("VELMORA_ACCESSIBILITY_BUS")) {
        QDeadlineTimer deadline(10000);
        while (!QAccessible::isActive() && !deadline.hasExpired())
            QTest::qWait(20);
        ASSERT_TRUE(QAccessible::isActive());
    }
    const std::vector<Step> steps = {Keys("ab"), Key(Qt::Key_Backspace), Key(Qt::Key_Left, Qt::ShiftModifier),
                                     Paste("XY")};
    QStringList ours;
    for (Editor* e : {static_cast<Editor*>(&area), static_cast<Editor*>(&plain)}) {
        e->Set(QStringLiteral("one two\nthree"), 0, 0);
        told.clear();
        for (const Step& step : steps)
            step(*e);
        for (const auto& [object, what] : told)
            if (object == &area.area)
                ours.append(what);
    }
    // QPlainTextEdit tells of its changes by whole paragraphs, with spaces
    // for what it removed; the text area tells exactly what changed.
    if (QAccessible::isActive()) {
        EXPECT_EQ(ours.join(QStringLiteral("; ")),
                  QStringLiteral("insert 0 a; caret 1; insert 1 b; caret 2; remove 1 b; caret 1; caret 0; select 0 1; "
                                 "update 0 a XY; caret 2; select 2 2"));
    }
    QAccessible::installUpdateHandler(nullptr);
    g_told = nullptr;

    QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(&area.area);
    QAccessibleInterface* theirs = QAccessible::queryAccessibleInterface(&plain.edit);
    ASSERT_TRUE(reader && reader->textInterface() && reader->editableTextInterface());
    EXPECT_EQ(reader->role(), QAccessible::EditableText);
    EXPECT_TRUE(reader->state().editable && reader->state().multiLine);
    QAccessibleTextInterface* text = reader->textInterface();
    QAccessibleTextInterface* their = theirs->textInterface();
    EXPECT_EQ(text->characterCount(), their->characterCount());
    EXPECT_EQ(text->text(0, text->characterCount()), their->text(0, their->characterCount()));
    EXPECT_EQ(text->cursorPosition(), their->cursorPosition());
    int start = 0, end = 0, theirStart = 0, theirEnd = 0;
    EXPECT_EQ(text->selectionCount(), their->selectionCount());
    for (auto boundary : {QAccessible::CharBoundary, QAccessible::WordBoundary}) {
        for (int offset : {0, 2, 6}) {
            EXPECT_EQ(text->textAtOffset(offset, boundary, &start, &end),
                      their->textAtOffset(offset, boundary, &theirStart, &theirEnd));
            EXPECT_EQ(start, theirStart);
            EXPECT_EQ(end, theirEnd);
        }
    }
    // A line is a row on screen, a paragraph the text between line breaks.
    const QString wrapped = QStringLiteral("one two three four five six seven eight nine ten eleven twelve thirteen "
                                           "fourteen fifteen sixteen seventeen\nlast line");
    const struct {
        QString text;
        std::vector<int> offsets;
    } lines[] = {{wrapped, {0, 5, 30, 31, 60, 95, 103, 113}}, {LongLine(), {kMaxPiece - 3, kMaxPiece + 3}}};
    for (const auto& [lineText, offsets] : lines) {
        area.Set(lineText, 0, 0);
        plain.Set(lineText, 0, 0);
        for (int offset : offsets) {
            SCOPED_TRACE(offset);
            const auto line = QAccessible::LineBoundary;
            const QString theirLine = their->textAtOffset(offset, line, &theirStart, &theirEnd);
            EXPECT_EQ(text->textAtOffset(offset, line, &start, &end), theirLine);
            EXPECT_EQ(start, theirStart);
            EXPECT_EQ(end, theirEnd);
            // QPlainTextEdit answers no line before its first, and the line
            // itself for the one after it.
            if (start > 0) {
                EXPECT_EQ(text->textBeforeOffset(offset, line, &start, &end),
                          their->textBeforeOffset(offset, line, &theirStart, &theirEnd));
            }
            const QString after = text->textAfterOffset(offset, line, &start, &end);
            if (start >= 0) {
                EXPECT_EQ(after, their->textAtOffset(start, line, &theirStart, &theirEnd));
            }
            EXPECT_GT(start, offset >= lineText.lastIndexOf(u'\n') + 1 ? -2 : offset);
            // A paragraph goes on to its line break.
            their->textAtOffset(offset, QAccessible::ParagraphBoundary, &theirStart, &theirEnd);
            text->textAtOffset(offset, QAccessible::ParagraphBoundary, &start, &end);
            EXPECT_EQ(start, theirStart);
            EXPECT_GE(end, theirEnd);
        }
    }
    area.Set(wrapped, 0, 0);
    plain.Set(wrapped, 0, 0);
    their->textAtOffset(0, QAccessible::LineBoundary, &theirStart, &theirEnd);
    text->textAfterOffset(0, QAccessible::LineBoundary, &start, &end);
    EXPECT_EQ(start, theirEnd + 1) << "the second row starts after the space the first wraps at";
    // A character's box has the character's width, not the caret's.
    EXPECT_GT(text->characterRect(1).width(), 2);
    // Changed through the interface, as a screen reader's user may.
    reader->editableTextInterface()->replaceText(0, 2, QStringLiteral("zz"));
    EXPECT_TRUE(area.Text().startsWith(QStringLiteral("zz")));
    text->setSelection(0, 1, 3);
    EXPECT_EQ(area.Anchor(), 1);
    EXPECT_EQ(area.Position(), 3);
}

} // namespace
