#include "TextAreaAccessible.h"

#include "TextArea.h"
#include "Utf16Bridge.h"

#include <QTextBoundaryFinder>

#include <algorithm>

namespace {
QAccessibleInterface* Factory(const QString& className, QObject* object)
{
    if (className == QLatin1String("TextArea") && object && object->isWidgetType())
        return new TextAreaAccessible(static_cast<TextArea*>(object));
    return nullptr;
}
} // namespace

TextAreaAccessible::TextAreaAccessible(TextArea* area)
    : QAccessibleWidget(area, QAccessible::EditableText)
{
}

void TextAreaAccessible::Install()
{
    static bool installed = false;
    if (!installed)
        QAccessible::installFactory(Factory);
    installed = true;
}

TextAreaControl& TextAreaAccessible::Control() const
{
    return static_cast<TextArea*>(widget())->Control();
}

void* TextAreaAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface*>(this);
    if (type == QAccessible::EditableTextInterface)
        return static_cast<QAccessibleEditableTextInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

QAccessible::State TextAreaAccessible::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    state.editable = true;
    state.multiLine = true;
    state.selectableText = true;
    return state;
}

QString TextAreaAccessible::text(QAccessible::Text t) const
{
    if (t == QAccessible::Value)
        return Control().ReadText();
    return QAccessibleWidget::text(t);
}

// ---------------------------------------------------------------------------
// The caret and the selection

void TextAreaAccessible::selection(int selectionIndex, int* startOffset, int* endOffset) const
{
    *startOffset = *endOffset = 0;
    if (selectionIndex != 0 || !Control().HasSelection())
        return;
    *startOffset = int(qMin(Control().Anchor(), Control().Position()));
    *endOffset = int(qMax(Control().Anchor(), Control().Position()));
}

int TextAreaAccessible::selectionCount() const
{
    return Control().HasSelection() ? 1 : 0;
}

void TextAreaAccessible::addSelection(int startOffset, int endOffset)
{
    setSelection(0, startOffset, endOffset);
}

void TextAreaAccessible::removeSelection(int selectionIndex)
{
    if (selectionIndex == 0)
        Control().SetSelection(Control().Position(), Control().Position());
}

void TextAreaAccessible::setSelection(int selectionIndex, int startOffset, int endOffset)
{
    if (selectionIndex == 0)
        Control().SetSelection(startOffset, endOffset);
}

int TextAreaAccessible::cursorPosition() const
{
    return int(Control().Position());
}

void TextAreaAccessible::setCursorPosition(int position)
{
    Control().SetSelection(position, position);
}

// ---------------------------------------------------------------------------
// The text

QString TextAreaAccessible::text(int startOffset, int endOffset) const
{
    const std::u16string_view units = Control().Buffer().Text();
    const size_t from = std::clamp<size_t>(size_t(qMax(0, startOffset)), 0, units.size());
    const size_t to = std::clamp<size_t>(size_t(qMax(0, endOffset)), from, units.size());
    return ToQString(units.substr(from, to - from));
}

int TextAreaAccessible::characterCount() const
{
    return int(Control().Length());
}

QString TextAreaAccessible::UnitAt(int offset, QAccessible::TextBoundaryType type, int* startOffset,
                                   int* endOffset) const
{
    *startOffset = *endOffset = -1;
    const std::u16string_view units = Control().Buffer().Text();
    if (offset < 0 || size_t(offset) > units.size())
        return {};
    if (type == QAccessible::NoBoundary) {
        *startOffset = 0;
        *endOffset = int(units.size());
        return ToQString(units);
    }
    if (type == QAccessible::LineBoundary) {
        // A row as QPlainTextEdit tells it: without the space it wraps after
        // or the line break that ends it.
        const auto [start, next] = RowAt(offset);
        const bool wrapped = size_t(next) < units.size() && units[size_t(next)] != u'\n';
        const int end = wrapped && next > start && QChar::isSpace(units[size_t(next) - 1]) ? next - 1 : next;
        *startOffset = start;
        *endOffset = end;
        return ToQString(units.substr(size_t(start), size_t(end - start)));
    }
    // The paragraph around the offset, with its line break.
    const size_t at = size_t(offset);
    const size_t before = at == 0 ? std::u16string_view::npos : units.rfind(u'\n', at - 1);
    const size_t start = before == std::u16string_view::npos ? 0 : before + 1;
    const size_t lineEnd = units.find(u'\n', at);
    const size_t end = lineEnd == std::u16string_view::npos ? units.size() : lineEnd + 1;
    if (type == QAccessible::ParagraphBoundary) {
        *startOffset = int(start);
        *endOffset = int(end);
        return ToQString(units.substr(start, end - start));
    }
    const QString paragraph = ToQString(units.substr(start, end - start));
    const QTextBoundaryFinder::BoundaryType kind = type == QAccessible::CharBoundary ? QTextBoundaryFinder::Grapheme
                                                   : type == QAccessible::WordBoundary
                                                       ? QTextBoundaryFinder::Word
                                                       : QTextBoundaryFinder::Sentence;
    QTextBoundaryFinder finder(kind, paragraph);
    finder.setPosition(qsizetype(at - start));
    qsizetype from = finder.isAtBoundary() ? finder.position() : finder.toPreviousBoundary();
    finder.setPosition(qMax<qsizetype>(0, from));
    qsizetype to = finder.toNextBoundary();
    if (from < 0)
        from = 0;
    if (to < 0)
        to = paragraph.size();
    *startOffset = int(start + size_t(from));
    *endOffset = int(start + size_t(to));
    return paragraph.mid(from, to - from);
}

std::pair<int, int> TextAreaAccessible::RowAt(int offset) const
{
    const auto [start, end] = Control().RowTextAt(offset);
    return {int(start), int(end)};
}

QString TextAreaAccessible::textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                                         int* endOffset) const
{
    return UnitAt(offset, boundaryType, startOffset, endOffset);
}

QString TextAreaAccessible::textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                                             int* startOffset, int* endOffset) const
{
    int start = 0, end = 0;
    UnitAt(offset, boundaryType, &start, &end);
    if (start <= 0) {
        *startOffset = *endOffset = -1;
        return {};
    }
    return UnitAt(start - 1, boundaryType, startOffset, endOffset);
}

QString TextAreaAccessible::textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                                            int* endOffset) const
{
    int start = 0, end = 0;
    UnitAt(offset, boundaryType, &start, &end);
    // The next row starts after the space or the line break this one ends with.
    if (boundaryType == QAccessible::LineBoundary && end >= 0) {
        end = RowAt(offset).second;
        if (end < characterCount() && Control().Buffer().At(size_t(end)) == u'\n')
            ++end;
    }
    if (end < 0 || end >= characterCount()) {
        *startOffset = *endOffset = -1;
        return {};
    }
    return UnitAt(end, boundaryType, startOffset, endOffset);
}

QRect TextAreaAccessible::characterRect(int offset) const
{
    const qsizetype at = std::clamp<qsizetype>(offset, 0, Control().Length());
    QRectF box = Control().RectAt(at);
    if (box.isNull())
        return {};
    // The box spans from the caret before the character to the caret after
    // it, when both stand on one row (either way round in right-to-left text).
    const QRectF after = at < Control().Length() ? Control().RectAt(at + 1) : QRectF();
    if (!after.isNull() && after.top() == box.top() && after.left() != box.left()) {
        const qreal left = std::min(box.left(), after.left());
        const qreal right = std::max(box.left(), after.left());
        box.setLeft(left);
        box.setRight(right);
    }
    const QWidget* viewport = static_cast<TextArea*>(widget())->viewport();
    return QRect(viewport->mapToGlobal(box.topLeft().toPoint()), box.size().toSize());
}

int TextAreaAccessible::offsetAtPoint(const QPoint& point) const
{
    const QWidget* viewport = static_cast<TextArea*>(widget())->viewport();
    const QPoint local = viewport->mapFromGlobal(point);
    if (!viewport->rect().contains(local))
        return -1;
    return int(Control().PositionAt(local));
}

void TextAreaAccessible::scrollToSubstring(int startIndex, int)
{
    Control().ShowPosition(std::clamp<qsizetype>(startIndex, 0, Control().Length()));
}

QString TextAreaAccessible::attributes(int offset, int* startOffset, int* endOffset) const
{
    // Plain text: one run of the same attributes.
    *startOffset = offset < 0 || offset > characterCount() ? -1 : 0;
    *endOffset = *startOffset < 0 ? -1 : characterCount();
    return {};
}

// ---------------------------------------------------------------------------
// Editing

void TextAreaAccessible::deleteText(int startOffset, int endOffset)
{
    replaceText(startOffset, endOffset, QString());
}

void TextAreaAccessible::insertText(int offset, const QString& text)
{
    replaceText(offset, offset, text);
}

void TextAreaAccessible::replaceText(int startOffset, int endOffset, const QString& text)
{
    const qsizetype from = std::clamp<qsizetype>(startOffset, 0, Control().Length());
    const qsizetype to = std::clamp<qsizetype>(endOffset, from, Control().Length());
    Control().ReplaceRange(from, to, text, EditHistory::Kind::Other);
}
