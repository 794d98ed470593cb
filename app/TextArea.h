// The text area: a plain-text editor over one UTF-16 buffer (TextBuffer) that
// wraps at its width, takes Enter and Tab as text and holds at most kTextLimit
// characters of typed or pasted text. Only the pieces on screen are laid out,
// so that texts of many megabytes are taken, shown, edited and copied in
// about the time it takes to copy them in memory.
#pragma once

#include "EditHistory.h"
#include "TextBuffer.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QTextLayout>

#include <map>
#include <memory>
#include <optional>
#include <string>

class QMimeData;

class TextArea : public QAbstractScrollArea {
    Q_OBJECT
public:
    // 2^28 characters (512 MiB of UTF-16): far past the texts pasted in, yet
    // a bound: a paste past it is cut there instead of filling memory.
    static constexpr qsizetype kTextLimit = qsizetype(1) << 28;

    explicit TextArea(QWidget* parent = nullptr);
    ~TextArea() override;

    // The most characters typing and pasting may bring the text to.
    void SetTextLimit(qsizetype limit) { m_limit = limit; }
    qsizetype TextLimit() const { return m_limit; }

    // The whole text up to its first U+0000, line breaks as LF, with no-break
    // spaces, line separators and lone surrogates as they are.
    std::u16string_view Units() const;
    QString ReadText() const;
    qsizetype Length() const { return qsizetype(m_buffer.Size()); }
    // Lines, as the line breaks make them; a wrapped line is one line.
    qsizetype LineCount() const { return qsizetype(m_buffer.LineCount()); }
    // The rows the line starting at `position` wraps into at the current width.
    int RowsOfLineAt(qsizetype position);

    // The whole text replaced, not undoably: the undo history is dropped.
    void SetText(std::u16string&& text);
    void SetText(const QString& text);
    void clear() { SetText(std::u16string()); }

    // The caret and the selection, as positions in the text.
    qsizetype Position() const { return m_position; }
    qsizetype Anchor() const { return m_anchor; }
    bool HasSelection() const { return m_position != m_anchor; }
    QString SelectedText() const;
    void SetSelection(qsizetype anchor, qsizetype position);
    void SetPosition(qsizetype position) { SetSelection(position, position); }
    void selectAll();

    // Typing and pasting go through here: the selection is replaced by as
    // much of `text` as the limit leaves room for, undoably.
    void InsertText(QString text);

    void copy();
    void cut();
    void paste();
    void undo();
    void redo();
    bool IsUndoAvailable() const { return m_history.CanUndo(); }
    int UndoSteps() const { return m_history.UndoSteps(); }
    // Counts every change of the text.
    quint64 Revision() const { return m_revision; }

    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
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
    static constexpr qreal kMargin = 4;

    QTextLayout& LayoutOf(size_t piece) const;
    void DropLayouts();
    void Edit(size_t from, size_t to, std::u16string_view units, EditHistory::Kind kind);
    void ApplyHistoryStep(bool undo);
    void TextChanged();
    void UpdateScrollBar();
    // Scrolls so that the caret's row is on screen.
    void ShowCaret();
    Row RowOf(qsizetype position) const;
    Row NextRow(Row row, int by) const;
    qreal RowHeight(Row row) const;
    // The rows from the first on screen to the last that is whole on it.
    int VisibleRows() const;
    // Where the row is on screen, or nothing when it is not.
    std::optional<qreal> RowY(Row row) const;
    QRectF CaretRect() const;
    qsizetype PositionAt(QPointF point);
    qsizetype PositionInRow(Row row, qreal x) const;
    qsizetype StepCharacter(qsizetype position, int direction) const;
    qsizetype StepWord(qsizetype position, int direction) const;
    void SelectWordAt(qsizetype position);
    void MoveCaret(qsizetype position, bool extend, bool keepColumn = false);
    bool MoveByKey(QKeyEvent* event);
    void RestartBlink();
    // The first row on screen when `last` is the last one whole on it.
    Row TopShowing(Row last) const;
    // The first row on screen when the text's last row is the last.
    Row LastTop() const;
    void SetTop(Row top);

    TextBuffer m_buffer;
    EditHistory m_history;
    qsizetype m_limit = kTextLimit;
    qsizetype m_position = 0;
    qsizetype m_anchor = 0;
    qreal m_column = -1; // the x that Up and Down keep, once set
    Row m_top;           // the first row on screen
    quint64 m_revision = 0;
    QString m_preedit;   // what an input method is composing
    mutable std::map<size_t, std::unique_ptr<QTextLayout>> m_layouts;
    QBasicTimer m_blink;
    bool m_caretShown = false;
    bool m_updatingScrollBar = false;
    int m_wheelRemainder = 0;
};

// Inserts `text` at the end, not undoably: the undo history does not survive.
// An empty text area takes the string itself, without copying it.
void InsertUnicodeText(TextArea& area, std::u16string&& text);
