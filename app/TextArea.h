// The text area: a plain-text editor over one UTF-16 buffer (TextBuffer) that
// wraps at its width, takes Enter and Tab as text and holds at most kTextLimit
// characters of typed or pasted text. Only the pieces on screen are laid out,
// so that texts of many megabytes are taken, shown, edited and copied in
// about the time it takes to copy them in memory.
//
// The widget only paints, keeps its scroll bar and hands its events on; what
// is done with the text is its TextAreaControl's.
#pragma once

#include "TextAreaControl.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>

#include <string>

class TextArea : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr qsizetype kTextLimit = TextAreaControl::kTextLimit;

    explicit TextArea(QWidget* parent = nullptr);
    ~TextArea() override;

    TextAreaControl& Control() { return m_control; }
    const TextAreaControl& Control() const { return m_control; }

    // The most characters typing and pasting may bring the text to.
    void SetTextLimit(qsizetype limit) { m_control.SetTextLimit(limit); }
    qsizetype TextLimit() const { return m_control.TextLimit(); }

    // The whole text up to its first U+0000, line breaks as LF, with no-break
    // spaces, line separators and lone surrogates as they are.
    std::u16string_view Units() const { return m_control.Units(); }
    QString ReadText() const { return m_control.ReadText(); }
    qsizetype Length() const { return m_control.Length(); }
    // Lines, as the line breaks make them; a wrapped line is one line.
    qsizetype LineCount() const { return m_control.LineCount(); }
    // The rows the line starting at `position` wraps into at the current width.
    int RowsOfLineAt(qsizetype position) { return m_control.RowsOfLineAt(position); }

    // The whole text replaced, not undoably: the undo history is dropped.
    void SetText(std::u16string&& text) { m_control.SetText(std::move(text)); }
    void SetText(const QString& text) { m_control.SetText(text); }
    void clear() { SetText(std::u16string()); }

    // The caret and the selection, as positions in the text.
    qsizetype Position() const { return m_control.Position(); }
    qsizetype Anchor() const { return m_control.Anchor(); }
    bool HasSelection() const { return m_control.HasSelection(); }
    QString SelectedText() const { return m_control.SelectedText(); }
    void SetSelection(qsizetype anchor, qsizetype position) { m_control.SetSelection(anchor, position); }
    void SetPosition(qsizetype position) { SetSelection(position, position); }
    void selectAll() { m_control.SelectAll(); }

    void InsertText(QString text) { m_control.InsertText(std::move(text)); }
    void copy() { m_control.Copy(); }
    void cut() { m_control.Cut(); }
    void paste() { m_control.Paste(); }
    void undo() { m_control.Undo(); }
    void redo() { m_control.Redo(); }
    bool IsUndoAvailable() const { return m_control.CanUndo(); }
    int UndoSteps() const { return m_control.UndoSteps(); }
    // Counts every change of the text.
    quint64 Revision() const { return m_control.Revision(); }

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
    void mouseReleaseEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void UpdateScrollBar();
    void ShowTop();
    void RestartBlink();
    void UpdateViewport();
    void ScrollBarAction(int action);
    void AutoScroll();

    TextAreaControl m_control;
    QBasicTimer m_blink;
    QBasicTimer m_autoScroll;
    QPoint m_autoScrollPoint;
    bool m_caretShown = false;
    bool m_updatingScrollBar = false;
    int m_wheelRemainder = 0;
};

// Inserts `text` at the end, not undoably: the undo history does not survive.
// An empty text area takes the string itself, without copying it.
void InsertUnicodeText(TextArea& area, std::u16string&& text);
