// What the text area does with its text, apart from the widget that shows it:
// the caret and the selection, keys, mouse, input method, clipboard and undo,
// over one TextBuffer. It lays out only the pieces on screen, at the width and
// height the widget gives it, and keeps which row is at the top; the widget
// paints those layouts, keeps its scroll bar in step and hands its events here.
//
// A piece of a long line is shown from where the row that holds its start
// begins: the layout of the piece before ends with that row, laid out again
// here with the text after it, so that the rows of a long line end where one
// layout of the whole line would end them. Such a piece's layout starts at
// its display start, and the piece before does not show its last row.
#pragma once

#include "EditHistory.h"
#include "TextBuffer.h"

#include <QElapsedTimer>
#include <QFont>
#include <QObject>
#include <QSizeF>
#include <QTextLayout>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QContextMenuEvent;
class QInputMethodEvent;
class QKeyEvent;
class QMenu;
class QMouseEvent;
class QWidget;

class TextAreaControl : public QObject {
    Q_OBJECT
public:
    // 2^28 characters (512 MiB of UTF-16): far past the texts pasted in, yet
    // a bound: a paste past it is cut there instead of filling memory.
    static constexpr qsizetype kTextLimit = qsizetype(1) << 28;
    static constexpr qreal kMargin = 4;

    // A place on screen: a piece and a row of its layout.
    struct Row {
        size_t piece = 0;
        int line = 0;
        bool operator==(const Row&) const = default;
        bool operator<(const Row& other) const
        {
            return piece < other.piece || (piece == other.piece && line < other.line);
        }
    };

    explicit TextAreaControl(QObject* parent = nullptr);
    ~TextAreaControl() override;

    // The most characters typing and pasting may bring the text to.
    void SetTextLimit(qsizetype limit) { m_limit = limit; }
    qsizetype TextLimit() const { return m_limit; }

    const TextBuffer& Buffer() const { return m_buffer; }
    // The whole text up to its first U+0000, line breaks as LF, with no-break
    // spaces, line separators and lone surrogates as they are.
    std::u16string_view Units() const;
    QString ReadText() const;
    qsizetype Length() const { return qsizetype(m_buffer.Size()); }
    qsizetype LineCount() const { return qsizetype(m_buffer.LineCount()); }
    int RowsOfLineAt(qsizetype position);

    // The whole text replaced, not undoably: the undo history is dropped.
    void SetText(std::u16string&& text);
    void SetText(const QString& text);

    qsizetype Position() const { return m_position; }
    qsizetype Anchor() const { return m_anchor; }
    bool HasSelection() const { return m_position != m_anchor; }
    QString SelectedText() const;
    void SetSelection(qsizetype anchor, qsizetype position);
    void SelectAll();

    // Typing and pasting go through here: the selection is replaced by as
    // much of `text` as the limit leaves room for, undoably.
    void InsertText(QString text, EditHistory::Kind kind = EditHistory::Kind::Insert);
    // [from, to) replaced by as much of `text` as the limit leaves room for;
    // false when nothing changed.
    bool ReplaceRange(qsizetype from, qsizetype to, QString text, EditHistory::Kind kind);

    void Copy();
    void Cut();
    void Paste();
    void DeleteSelection();
    void Undo();
    void Redo();
    bool CanUndo() const { return m_history.CanUndo(); }
    int UndoSteps() const { return m_history.UndoSteps(); }
    quint64 Revision() const { return m_revision; }

    // The widget's events, in viewport coordinates. Each answers whether it
    // took the event.
    bool KeyPress(QKeyEvent* event);
    // Whether a key is the text area's own rather than a shortcut of the window.
    static bool IsEditingKey(const QKeyEvent* event);
    void MousePress(QMouseEvent* event);
    // `source` is the widget a drag of the selection starts from.
    void MouseMove(QMouseEvent* event, QWidget* source);
    void MouseRelease(QMouseEvent* event);
    // While the mouse selects beyond the top or bottom, a row more; false
    // when it does not select.
    bool AutoScroll();
    // `text` dropped at a point of the viewport; a selection
    // dragged from here moves.
    void Drop(QPointF point, const QString& text, bool moveSelection);
    void MouseDoubleClick(QMouseEvent* event);
    void ContextMenu(QContextMenuEvent* event, QWidget* parent);
    // The editing menu the context menu shows.
    std::unique_ptr<QMenu> CreateContextMenu(QWidget* parent);
    void InputMethod(QInputMethodEvent* event);
    QVariant InputMethodQuery(Qt::InputMethodQuery query) const;

    // The space the text is laid out in and the font it is shown in.
    void SetViewport(QSizeF size, const QFont& font);
    QSizeF Viewport() const { return m_viewport; }
    const QFont& Font() const { return m_font; }

    QTextLayout& LayoutOf(size_t piece) const;
    // Where the piece's layout starts in the text: its own start, or the
    // start of the last row of the piece before it on the same line.
    size_t DisplayStart(size_t piece) const;
    // The rows of the piece's layout it shows: all but a last one that the
    // next piece shows.
    int RowCount(size_t piece) const;
    // The piece whose rows show the caret at `position`.
    size_t DisplayPieceAt(qsizetype position) const;
    // The text of the row on screen that holds `position`: from its start to
    // the next row's start, or to the end of its line.
    std::pair<size_t, size_t> RowTextAt(qsizetype position) const;
    Row Top() const { return m_top; }
    // The top piece the scroll bar's range ends at: the text's last row is
    // then the last on screen.
    size_t LastTopPiece() const { return LastTop().piece; }
    int VisibleRows() const;
    // The scroll bar moved by the user: its value is the top piece.
    void SetTopPiece(size_t piece);
    // Rows to scroll, down when positive, kept within the text.
    void ScrollRows(int rows);
    QRectF CaretRect() const { return RectAt(m_position); }
    // The caret's rectangle at `position`, in the viewport; empty off screen.
    QRectF RectAt(qsizetype position) const;
    // The position nearest to a point of the viewport; a point above or
    // below it scrolls a row.
    qsizetype PositionAt(QPointF point);
    // Scrolls so that the row of `position` is on screen.
    void ShowPosition(qsizetype position);
    // What an input method is composing, shown at the caret.
    const QString& Preedit() const { return m_preedit; }
    bool CaretHidden() const { return !m_preedit.isEmpty() && m_preeditCaretHidden; }
    // Where `position` is in its piece's layout, which holds the composition
    // after the caret; the caret itself is at the composition's own caret.
    int LayoutPosition(size_t piece, qsizetype position) const;

signals:
    // Something on screen changed.
    void UpdateRequest();
    // The text changed: the number of pieces may differ.
    void TextChanged();
    // The caret or the selection moved, or the text changed.
    void CaretMoved();
    // The top row changed.
    void TopChanged();
    // The rows changed without a change of the text.
    void LayoutChanged();

private:
    void DropLayouts();
    void CommitPreedit();
    void Edit(size_t from, size_t to, std::u16string_view units, EditHistory::Kind kind);
    void ApplyHistoryStep(bool undo);
    // The text changed from `from` on.
    void AfterTextChange(size_t from);
    // Keeps the top within the text after it changed.
    void ClampTop();
    // Scrolls so that the caret's row is on screen.
    void ShowCaret() { ShowPosition(m_position); }
    // The caret moved, the selection changed or both: the widget and a
    // screen reader are told.
    void CaretChanged();
    // A screen reader is told of [at, at + removed.size()) replaced by
    // `inserted` units.
    void NotifyTextChange(size_t at, const QString& removed, size_t inserted) const;
    Row RowOf(qsizetype position) const;
    Row NextRow(Row row, int by) const;
    qreal RowHeight(Row row) const;
    std::optional<qreal> RowY(Row row) const;
    qsizetype PositionInRow(Row row, qreal x) const;
    qsizetype StepCharacter(qsizetype position, int direction) const;
    qsizetype StepWord(qsizetype position, int direction) const;
    // The caret one character to the right or left on screen.
    qsizetype StepVisually(qsizetype position, bool right) const;
    void SelectWordAt(qsizetype position);
    void MoveCaret(qsizetype position, bool extend, bool keepColumn = false);
    // The selection as X11's primary selection, where there is one.
    void OfferSelection();
    void DragSelection(QWidget* source);
    bool MoveByKey(QKeyEvent* event);
    Row TopShowing(Row last) const;
    Row LastTop() const;
    Row LastRow() const;
    // Whether the piece's line goes on in the next piece.
    bool GoesOn(size_t piece) const;
    // The text from `start` up to the end of `piece`, as a layout of it holds it.
    QString TextUpToEnd(size_t start, size_t piece) const;
    // The piece laid out from `start`; one to be shown has the composition
    // if it shows the caret, and keeps its glyphs.
    std::unique_ptr<QTextLayout> LaidOut(size_t piece, size_t start, bool shown) const;
    // The display start of the piece after `piece`, whose own starts at `start`.
    size_t NextDisplayStart(size_t piece, size_t start) const;
    // Forgets the display starts from `piece` on.
    void DropDisplayStarts(size_t piece);
    void SetTop(Row top);

    TextBuffer m_buffer;
    EditHistory m_history;
    qsizetype m_limit = kTextLimit;
    qsizetype m_position = 0;
    qsizetype m_anchor = 0;
    qreal m_column = -1; // the x that Up and Down keep, once set
    Row m_top;           // the first row on screen
    quint64 m_revision = 0;
    qsizetype m_toldPosition = 0; // the caret and anchor a screen reader knows
    qsizetype m_toldAnchor = 0;
    QString m_preedit; // what an input method is composing
    int m_preeditCursor = 0;
    bool m_preeditCaretHidden = false;
    QList<QTextLayout::FormatRange> m_preeditFormats; // from the composition's start
    QSizeF m_viewport{1, 1};
    bool m_selecting = false;     // the left button is down and selects
    bool m_mightDragText = false; // it went down in the selection
    QPointF m_dragPoint;          // where it is, or where it went down
    QPointF m_doubleClickPoint;
    QElapsedTimer m_sinceDoubleClick;
    QFont m_font;
    mutable std::map<size_t, std::unique_ptr<QTextLayout>> m_layouts;
    // The display starts found so far, kNotFound where none is: each needs the
    // layout of the piece before, so they are found in order along a line, as
    // far as the pieces shown, and kept until an edit before them or a change
    // of the width or the font.
    static constexpr size_t kNotFound = size_t(-1);
    mutable std::vector<size_t> m_displayStarts;
};
