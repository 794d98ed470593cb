// What a screen reader sees of the text area: an editable text with its
// caret and selection, read and changed through the control. Installed as a
// factory once, before the first text area is asked for.
#pragma once

#include <QAccessibleWidget>

#include <utility>

class TextArea;
class TextAreaControl;

class TextAreaAccessible : public QAccessibleWidget,
                           public QAccessibleTextInterface,
                           public QAccessibleEditableTextInterface {
public:
    explicit TextAreaAccessible(TextArea* area);

    // Makes Qt's accessibility ask this class for every TextArea.
    static void Install();

    void* interface_cast(QAccessible::InterfaceType type) override;
    QAccessible::State state() const override;
    QString text(QAccessible::Text t) const override;

    // QAccessibleTextInterface
    void selection(int selectionIndex, int* startOffset, int* endOffset) const override;
    int selectionCount() const override;
    void addSelection(int startOffset, int endOffset) override;
    void removeSelection(int selectionIndex) override;
    void setSelection(int selectionIndex, int startOffset, int endOffset) override;
    int cursorPosition() const override;
    void setCursorPosition(int position) override;
    QString text(int startOffset, int endOffset) const override;
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                             int* endOffset) const override;
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                            int* endOffset) const override;
    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                         int* endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint& point) const override;
    void scrollToSubstring(int startIndex, int endIndex) override;
    QString attributes(int offset, int* startOffset, int* endOffset) const override;

    // QAccessibleEditableTextInterface
    void deleteText(int startOffset, int endOffset) override;
    void insertText(int offset, const QString& text) override;
    void replaceText(int startOffset, int endOffset, const QString& text) override;

private:
    TextAreaControl& Control() const;
    // The unit of the given kind around `offset`, looked for within its
    // paragraph, so that a text of many megabytes is not copied for it.
    QString UnitAt(int offset, QAccessible::TextBoundaryType type, int* startOffset, int* endOffset) const;
    // The row on screen that holds `offset`, up to the next row's start.
    std::pair<int, int> RowAt(int offset) const;
};
