// The text area's caret and selection by key, mouse and input method, and its
// editing menu.
#include "TextAreaControl.h"

#include "Utf16Bridge.h"
#include "Utf8TextMimeData.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDrag>
#include <QInputMethod>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QTextBoundaryFinder>

#include <algorithm>

// ---------------------------------------------------------------------------
// The caret, by key and by mouse

qsizetype TextAreaControl::StepCharacter(qsizetype position, int direction) const
{
    const size_t at = size_t(position);
    const size_t piece = DisplayPieceAt(position);
    const size_t start = DisplayStart(piece);
    if (direction > 0) {
        if (at >= m_buffer.PieceEnd(piece))
            return qMin(position + 1, Length());
        return qsizetype(start) + LayoutOf(piece).nextCursorPosition(int(at - start));
    }
    if (at == 0)
        return 0;
    if (at > start)
        return qsizetype(start) + LayoutOf(piece).previousCursorPosition(int(at - start));
    if (m_buffer.At(at - 1) == u'\n')
        return position - 1;
    const size_t before = DisplayStart(piece - 1);
    return qsizetype(before) + LayoutOf(piece - 1).previousCursorPosition(int(at - before));
}

qsizetype TextAreaControl::StepVisually(qsizetype position, bool right) const
{
    // Within a row the arrow keys go the way the text runs on screen, over
    // right-to-left runs too; at a row's visual edge, on to the next or the
    // previous row as the paragraph's direction says.
    const size_t piece = DisplayPieceAt(position);
    const size_t start = DisplayStart(piece);
    const QTextLayout& layout = LayoutOf(piece);
    const int at = int(size_t(position) - start);
    const int next = right ? layout.rightCursorPosition(at) : layout.leftCursorPosition(at);
    if (next != at)
        return qsizetype(start) + next;
    const bool rightToLeft = layout.text().isRightToLeft();
    return StepCharacter(position, right != rightToLeft ? 1 : -1);
}

qsizetype TextAreaControl::StepWord(qsizetype position, int direction) const
{
    size_t piece = DisplayPieceAt(position);
    // Back from the start of a piece of a long line, in the piece before,
    // whose layout reaches it.
    if (direction < 0 && piece > 0 && GoesOn(piece - 1) && size_t(position) == DisplayStart(piece))
        --piece;
    const size_t start = DisplayStart(piece);
    const size_t end = m_buffer.PieceEnd(piece);
    // At a line's edge the step goes over the line break to the next piece.
    if ((direction > 0 && size_t(position) >= end) || (direction < 0 && size_t(position) <= start))
        return StepCharacter(position, direction);
    const QString text = TextUpToEnd(start, piece);
    QTextBoundaryFinder finder(QTextBoundaryFinder::Word, text);
    finder.setPosition(int(size_t(position) - start));
    for (;;) {
        const qsizetype next = direction > 0 ? finder.toNextBoundary() : finder.toPreviousBoundary();
        if (next < 0)
            return qsizetype(direction > 0 ? end : start);
        if ((finder.boundaryReasons() & QTextBoundaryFinder::StartOfItem) || next == 0 || next == text.size())
            return qsizetype(start) + next;
    }
}

void TextAreaControl::SelectWordAt(qsizetype position)
{
    const size_t piece = DisplayPieceAt(position);
    const size_t start = DisplayStart(piece);
    const QString text = TextUpToEnd(start, piece);
    QTextBoundaryFinder finder(QTextBoundaryFinder::Word, text);
    finder.setPosition(int(size_t(position) - start));
    qsizetype from = finder.isAtBoundary() && (finder.boundaryReasons() & QTextBoundaryFinder::StartOfItem)
                         ? finder.position()
                         : qMax<qsizetype>(0, finder.toPreviousBoundary());
    finder.setPosition(from);
    qsizetype to = finder.toNextBoundary();
    if (to < 0)
        to = text.size();
    SetSelection(qsizetype(start) + from, qsizetype(start) + to);
}

qsizetype TextAreaControl::PositionInRow(Row row, qreal x) const
{
    const QTextLayout& layout = LayoutOf(row.piece);
    const QTextLine line = layout.lineAt(qMin(row.line, layout.lineCount() - 1));
    return qsizetype(DisplayStart(row.piece)) + line.xToCursor(x - kMargin);
}

qsizetype TextAreaControl::PositionAt(QPointF point)
{
    // Dragged beyond the top or bottom, the text scrolls a row at a time.
    if (point.y() < 0) {
        SetTop(NextRow(m_top, -1));
        return PositionInRow(m_top, point.x());
    }
    qreal y = kMargin;
    Row at = m_top;
    for (;;) {
        const qreal height = RowHeight(at);
        const Row next = NextRow(at, 1);
        const bool last = next == at;
        if (point.y() < y + height || last)
            return PositionInRow(at, point.x());
        // The next row is the first one not wholly shown, as ShowPosition counts it.
        if (y + height + RowHeight(next) > m_viewport.height() - kMargin + 0.5 && point.y() >= m_viewport.height()) {
            SetTop(NextRow(m_top, 1));
            return PositionInRow(next, point.x());
        }
        y += height;
        at = next;
    }
}

void TextAreaControl::MoveCaret(qsizetype position, bool extend, bool keepColumn)
{
    const qreal column = m_column;
    SetSelection(extend ? m_anchor : position, position);
    if (keepColumn)
        m_column = column;
}

bool TextAreaControl::MoveByKey(QKeyEvent* event)
{
    struct Move {
        QKeySequence::StandardKey move;
        QKeySequence::StandardKey select;
        int kind;
    };
    enum { Char, Word, Line, Page, RowEdge, TextEdge };
    static const Move moves[] = {
        {QKeySequence::MoveToNextChar, QKeySequence::SelectNextChar, Char},
        {QKeySequence::MoveToPreviousChar, QKeySequence::SelectPreviousChar, -Char - 1},
        {QKeySequence::MoveToNextWord, QKeySequence::SelectNextWord, Word},
        {QKeySequence::MoveToPreviousWord, QKeySequence::SelectPreviousWord, -Word - 1},
        {QKeySequence::MoveToNextLine, QKeySequence::SelectNextLine, Line},
        {QKeySequence::MoveToPreviousLine, QKeySequence::SelectPreviousLine, -Line - 1},
        {QKeySequence::MoveToNextPage, QKeySequence::SelectNextPage, Page},
        {QKeySequence::MoveToPreviousPage, QKeySequence::SelectPreviousPage, -Page - 1},
        {QKeySequence::MoveToEndOfLine, QKeySequence::SelectEndOfLine, RowEdge},
        {QKeySequence::MoveToStartOfLine, QKeySequence::SelectStartOfLine, -RowEdge - 1},
        {QKeySequence::MoveToEndOfDocument, QKeySequence::SelectEndOfDocument, TextEdge},
        {QKeySequence::MoveToStartOfDocument, QKeySequence::SelectStartOfDocument, -TextEdge - 1},
    };
    for (const Move& m : moves) {
        const bool extend = event->matches(m.select);
        if (!extend && !event->matches(m.move))
            continue;
        const int direction = m.kind < 0 ? -1 : 1;
        const int kind = m.kind < 0 ? -m.kind - 1 : m.kind;
        switch (kind) {
        case Char:
            // A selection collapses to its edge first.
            if (HasSelection() && !extend)
                MoveCaret(direction > 0 ? qMax(m_anchor, m_position) : qMin(m_anchor, m_position), false);
            else
                MoveCaret(StepVisually(m_position, direction > 0), extend);
            break;
        case Word:
            MoveCaret(StepWord(m_position, direction), extend);
            break;
        case Line:
        case Page: {
            const Row from = RowOf(m_position);
            if (m_column < 0)
                m_column = CaretRect().isNull() ? LayoutOf(from.piece).lineAt(from.line).cursorToX(
                                                      LayoutPosition(from.piece, m_position))
                                                      + kMargin
                                                : CaretRect().x();
            const int rows = kind == Line ? 1 : VisibleRows();
            const Row to = NextRow(from, direction * rows);
            qsizetype target = PositionInRow(to, m_column);
            if (to == from)
                target = direction > 0 ? Length() : 0;
            if (kind == Page)
                SetTop(NextRow(m_top, direction * rows));
            MoveCaret(target, extend, true);
            break;
        }
        case RowEdge: {
            const Row row = RowOf(m_position);
            const QTextLine line = LayoutOf(row.piece).lineAt(row.line);
            const size_t start = DisplayStart(row.piece);
            qsizetype target = qsizetype(start) + line.textStart();
            if (direction > 0) {
                target += line.textLength();
                // A wrapped row ends before its last space or character, so
                // that the caret stays on this row.
                if (target < qsizetype(m_buffer.PieceEnd(row.piece)) && target > qsizetype(start) + line.textStart())
                    target = StepCharacter(target, -1);
            }
            MoveCaret(target, extend);
            break;
        }
        case TextEdge:
            MoveCaret(direction > 0 ? Length() : 0, extend);
            break;
        }
        return true;
    }
    return false;
}

bool TextAreaControl::KeyPress(QKeyEvent* event)
{
    const bool hasSelection = HasSelection();
    if (event->matches(QKeySequence::Undo)) {
        Undo();
    } else if (event->matches(QKeySequence::Redo)) {
        Redo();
    } else if (event->matches(QKeySequence::Copy)) {
        Copy();
    } else if (event->matches(QKeySequence::Cut)) {
        Cut();
    } else if (event->matches(QKeySequence::Paste)) {
        Paste();
    } else if (event->matches(QKeySequence::SelectAll)) {
        SelectAll();
    } else if (MoveByKey(event)) {
    } else if (event->matches(QKeySequence::DeleteStartOfWord) || event->matches(QKeySequence::DeleteEndOfWord)) {
        if (!hasSelection) {
            const int direction = event->matches(QKeySequence::DeleteEndOfWord) ? 1 : -1;
            m_anchor = StepWord(m_position, direction);
        }
        InsertText(QString(), EditHistory::Kind::Other);
    } else if (event->key() == Qt::Key_Backspace || event->matches(QKeySequence::Delete)) {
        if (!hasSelection) {
            if (event->key() == Qt::Key_Backspace) {
                // Back over one character, not a whole cluster.
                m_anchor = qMax<qsizetype>(0, m_position - 1);
                if (m_anchor > 0 && QChar::isLowSurrogate(m_buffer.At(size_t(m_anchor)))
                    && QChar::isHighSurrogate(m_buffer.At(size_t(m_anchor) - 1)))
                    --m_anchor;
            } else {
                m_anchor = StepCharacter(m_position, 1);
            }
        }
        // A line break removed is a step of its own, as the paragraphs it joins.
        const size_t first = size_t(qMin(m_anchor, m_position));
        const bool joinsLines = first < m_buffer.Size() && m_buffer.At(first) == u'\n';
        InsertText(QString(), hasSelection || joinsLines ? EditHistory::Kind::Other : EditHistory::Kind::Removal);
    } else if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        InsertText(QStringLiteral("\n"), EditHistory::Kind::Other);
    } else if (event->key() == Qt::Key_Tab && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        InsertText(QStringLiteral("\t"), EditHistory::Kind::Typing);
    } else if (!event->text().isEmpty() && event->text().front().isPrint()
               && !(event->modifiers() & Qt::ControlModifier)) {
        InsertText(event->text(), EditHistory::Kind::Typing);
    } else {
        return false;
    }
    return true;
}

bool TextAreaControl::IsEditingKey(const QKeyEvent* key)
{
    const bool plainText = !key->text().isEmpty() && key->text().front().isPrint()
                           && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    static const QKeySequence::StandardKey editing[] = {
        QKeySequence::Undo, QKeySequence::Redo, QKeySequence::Copy, QKeySequence::Cut,
        QKeySequence::Paste, QKeySequence::SelectAll, QKeySequence::Delete,
        QKeySequence::MoveToStartOfDocument, QKeySequence::MoveToEndOfDocument,
        QKeySequence::MoveToStartOfLine, QKeySequence::MoveToEndOfLine,
    };
    bool ours = plainText || key->key() == Qt::Key_Backspace;
    for (QKeySequence::StandardKey k : editing)
        ours = ours || key->matches(k);
    return ours;
}

void TextAreaControl::MousePress(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    CommitPreedit();
    const QPointF point = event->position();
    m_dragPoint = point;
    // A third click soon after a double-click, where it was, selects the
    // line with its line break.
    if (m_sinceDoubleClick.isValid() && m_sinceDoubleClick.elapsed() < QApplication::doubleClickInterval()
        && (point - m_doubleClickPoint).manhattanLength() < QApplication::startDragDistance()) {
        m_sinceDoubleClick.invalidate();
        const std::u16string_view text = m_buffer.Text();
        const size_t at = size_t(PositionAt(point));
        const size_t before = at == 0 ? std::u16string_view::npos : text.rfind(u'\n', at - 1);
        const size_t end = text.find(u'\n', at);
        SetSelection(qsizetype(before == std::u16string_view::npos ? 0 : before + 1),
                     qsizetype(end == std::u16string_view::npos ? text.size() : end + 1));
        OfferSelection();
        return;
    }
    const qsizetype position = PositionAt(point);
    // A press in the selection may start dragging it.
    if (HasSelection() && !(event->modifiers() & Qt::ShiftModifier) && position >= qMin(m_anchor, m_position)
        && position < qMax(m_anchor, m_position)) {
        m_mightDragText = true;
        return;
    }
    m_selecting = true;
    MoveCaret(position, event->modifiers() & Qt::ShiftModifier);
}

void TextAreaControl::MouseMove(QMouseEvent* event, QWidget* source)
{
    if (!(event->buttons() & Qt::LeftButton))
        return;
    if (m_mightDragText) {
        if ((event->position() - m_dragPoint).manhattanLength() >= QApplication::startDragDistance()) {
            m_mightDragText = false;
            DragSelection(source);
        }
        return;
    }
    if (!m_selecting)
        return;
    m_dragPoint = event->position();
    MoveCaret(PositionAt(m_dragPoint), true);
}

void TextAreaControl::MouseRelease(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        if (m_mightDragText) // a click in the selection, not a drag
            MoveCaret(PositionAt(event->position()), false);
        m_mightDragText = false;
        if (m_selecting)
            OfferSelection();
        m_selecting = false;
    } else if (event->button() == Qt::MiddleButton && QGuiApplication::clipboard()->supportsSelection()) {
        // X11's primary selection, pasted where the middle button was released.
        const QMimeData* source = QGuiApplication::clipboard()->mimeData(QClipboard::Selection);
        MoveCaret(PositionAt(event->position()), false);
        if (source && source->hasText() && !source->hasUrls())
            InsertText(source->text(), EditHistory::Kind::Insert);
    }
}

bool TextAreaControl::AutoScroll()
{
    if (!m_selecting)
        return false;
    MoveCaret(PositionAt(m_dragPoint), true);
    return true;
}

void TextAreaControl::MouseDoubleClick(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_mightDragText = false;
    m_selecting = false;
    SelectWordAt(PositionAt(event->position()));
    m_doubleClickPoint = event->position();
    m_sinceDoubleClick.start();
    OfferSelection();
}

void TextAreaControl::OfferSelection()
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!HasSelection() || !clipboard->supportsSelection())
        return;
    const QStringView selected(m_buffer.Text().data() + qMin(m_anchor, m_position), qAbs(m_position - m_anchor));
    clipboard->setMimeData(new Utf8TextMimeData(selected.toUtf8()), QClipboard::Selection);
}

void TextAreaControl::DragSelection(QWidget* source)
{
    const QStringView selected(m_buffer.Text().data() + qMin(m_anchor, m_position), qAbs(m_position - m_anchor));
    auto* drag = new QDrag(source);
    drag->setMimeData(new Utf8TextMimeData(selected.toUtf8()));
    const Qt::DropAction action = drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::MoveAction);
    // Moved into another program or widget: it leaves here. Moved within the
    // text area, the drop has moved it already.
    const QObject* target = drag->target();
    const bool here = target && (target == source || source->isAncestorOf(qobject_cast<const QWidget*>(target)));
    if (action == Qt::MoveAction && !here)
        DeleteSelection();
}

void TextAreaControl::Drop(QPointF point, const QString& text, bool moveSelection)
{
    const qsizetype at = PositionAt(point);
    const qsizetype from = qMin(m_anchor, m_position);
    const qsizetype to = qMax(m_anchor, m_position);
    if (!moveSelection || !HasSelection()) {
        SetSelection(at, at);
        InsertText(text, EditHistory::Kind::Insert);
        return;
    }
    if (at >= from && at <= to)
        return; // onto itself: nothing moves
    // The selection moves in one step, to be undone as one: the stretch from
    // where it was to where it goes is written anew.
    const std::u16string_view units = m_buffer.Text();
    const std::u16string_view moved = units.substr(size_t(from), size_t(to - from));
    std::u16string stretch;
    if (at < from) {
        stretch.append(moved).append(units.substr(size_t(at), size_t(from - at)));
        Edit(size_t(at), size_t(to), stretch, EditHistory::Kind::Other);
        m_position = m_anchor = at + (to - from);
    } else {
        stretch.append(units.substr(size_t(to), size_t(at - to))).append(moved);
        Edit(size_t(from), size_t(at), stretch, EditHistory::Kind::Other);
    }
    CaretChanged();
    emit UpdateRequest();
}

std::unique_ptr<QMenu> TextAreaControl::CreateContextMenu(QWidget* parent)
{
    // QPlainTextEdit's editing menu, with the Qt translations of its items.
    auto menu = std::make_unique<QMenu>(parent);
    auto add = [&](const char* text, QKeySequence::StandardKey key, bool enabled, void (TextAreaControl::*slot)()) {
        QAction* action = menu->addAction(QCoreApplication::translate("QWidgetTextControl", text), this, slot);
        if (key != QKeySequence::UnknownKey)
            action->setShortcut(key);
        action->setEnabled(enabled);
    };
    const QMimeData* clip = QGuiApplication::clipboard()->mimeData();
    add("&Undo", QKeySequence::Undo, m_history.CanUndo(), &TextAreaControl::Undo);
    add("&Redo", QKeySequence::Redo, m_history.CanRedo(), &TextAreaControl::Redo);
    menu->addSeparator();
    add("Cu&t", QKeySequence::Cut, HasSelection(), &TextAreaControl::Cut);
    add("&Copy", QKeySequence::Copy, HasSelection(), &TextAreaControl::Copy);
    add("&Paste", QKeySequence::Paste, clip && clip->hasText() && !clip->hasUrls(), &TextAreaControl::Paste);
    add("Delete", QKeySequence::UnknownKey, HasSelection(), &TextAreaControl::DeleteSelection);
    menu->addSeparator();
    add("Select All", QKeySequence::SelectAll, Length() > 0, &TextAreaControl::SelectAll);
    return menu;
}

void TextAreaControl::ContextMenu(QContextMenuEvent* event, QWidget* parent)
{
    CreateContextMenu(parent)->exec(event->globalPos());
}

void TextAreaControl::DeleteSelection()
{
    if (HasSelection())
        InsertText(QString(), EditHistory::Kind::Other);
}

// ---------------------------------------------------------------------------
// Input methods

// A click ends a composition where it stands, as in QPlainTextEdit: the input
// method is asked to commit it, and what it does not commit goes.
void TextAreaControl::CommitPreedit()
{
    if (m_preedit.isEmpty())
        return;
    QGuiApplication::inputMethod()->commit();
    if (m_preedit.isEmpty())
        return;
    m_preedit.clear();
    m_preeditFormats.clear();
    DropLayouts();
    emit LayoutChanged();
    emit UpdateRequest();
}

void TextAreaControl::InputMethod(QInputMethodEvent* event)
{
    const bool gettingInput = !event->commitString().isEmpty() || event->preeditString() != m_preedit
                              || event->replacementLength() > 0;
    // A commit, or a replacement of text around the caret, takes the
    // selection's place; so does a composition that starts or changes.
    if (!event->commitString().isEmpty() || event->replacementLength() > 0) {
        qsizetype from = qMin(m_anchor, m_position);
        qsizetype to = qMax(m_anchor, m_position);
        if (event->replacementStart() != 0 || event->replacementLength() != 0) {
            if (from != to)
                ReplaceRange(from, to, QString(), EditHistory::Kind::Other);
            const qsizetype caret = m_position;
            from = std::clamp<qsizetype>(caret + event->replacementStart(), 0, Length());
            to = std::clamp<qsizetype>(from + event->replacementLength(), from, Length());
            if (ReplaceRange(from, to, event->commitString(), EditHistory::Kind::Insert)) {
                // The caret keeps its place in the text around the replacement.
                const qsizetype inserted = m_position - from;
                m_position = m_anchor = caret < from ? caret : caret <= to ? from + inserted : caret - (to - from) + inserted;
            }
        } else {
            ReplaceRange(from, to, event->commitString(), EditHistory::Kind::Insert);
        }
    } else if (gettingInput && HasSelection()) {
        ReplaceRange(qMin(m_anchor, m_position), qMax(m_anchor, m_position), QString(), EditHistory::Kind::Other);
    }
    for (const QInputMethodEvent::Attribute& a : event->attributes()) {
        if (a.type == QInputMethodEvent::Selection) {
            const qsizetype start = qsizetype(m_buffer.PieceStart(m_buffer.PieceAt(size_t(m_position))));
            SetSelection(start + a.start, start + a.start + a.length);
        }
    }
    if (gettingInput)
        m_preedit = event->preeditString();
    m_preeditCursor = int(m_preedit.size());
    m_preeditCaretHidden = false;
    m_preeditFormats.clear();
    for (const QInputMethodEvent::Attribute& a : event->attributes()) {
        if (a.type == QInputMethodEvent::Cursor) {
            m_preeditCursor = a.start;
            m_preeditCaretHidden = a.length == 0;
        } else if (a.type == QInputMethodEvent::TextFormat) {
            const QTextCharFormat format = qvariant_cast<QTextFormat>(a.value).toCharFormat();
            if (format.isValid())
                m_preeditFormats.append({a.start, a.length, format});
        }
    }
    // The composition is laid out with the text of its row, so it wraps with it.
    DropLayouts();
    ClampTop();
    emit LayoutChanged();
    ShowCaret();
    CaretChanged();
    emit UpdateRequest();
    event->accept();
}

int TextAreaControl::LayoutPosition(size_t piece, qsizetype position) const
{
    int at = int(size_t(position) - DisplayStart(piece));
    if (!m_preedit.isEmpty() && piece == DisplayPieceAt(m_position)) {
        const qsizetype preeditAt = m_position;
        if (position > preeditAt)
            at += int(m_preedit.size());
        else if (position == preeditAt)
            at += m_preeditCursor;
    }
    return at;
}

QVariant TextAreaControl::InputMethodQuery(Qt::InputMethodQuery query) const
{
    // Qt's editors answer for the paragraph the caret is in; here that is its piece.
    constexpr qsizetype kAround = 1024;
    const size_t piece = m_buffer.PieceAt(size_t(m_position));
    const qsizetype start = qsizetype(m_buffer.PieceStart(piece));
    const std::u16string_view text = m_buffer.Text();
    switch (query) {
    case Qt::ImEnabled:
        return true;
    case Qt::ImCursorRectangle:
        return CaretRect();
    case Qt::ImAnchorRectangle:
        return RectAt(m_anchor);
    case Qt::ImFont:
        return m_font;
    case Qt::ImCursorPosition:
        return int(m_position - start);
    case Qt::ImAnchorPosition:
        return int(m_anchor - start);
    case Qt::ImAbsolutePosition:
        return int(m_position);
    case Qt::ImSurroundingText:
        return ToQString(m_buffer.Piece(piece));
    case Qt::ImCurrentSelection: {
        // Paragraphs apart by U+2029 as in Qt's editors, up to a piece's
        // length: a selection of many megabytes is no text to reconvert.
        if (qAbs(m_position - m_anchor) > qsizetype(TextBuffer::kMaxPiece))
            return QString();
        QString selected = SelectedText();
        selected.replace(u'\n', QChar::ParagraphSeparator);
        return selected;
    }
    case Qt::ImTextBeforeCursor: {
        // Whole paragraphs before the caret's, until there are enough units.
        qsizetype from = start;
        while (from > 0 && m_position - from < kAround) {
            const size_t before = m_buffer.PieceAt(size_t(from) - 1);
            from = qsizetype(m_buffer.PieceStart(before));
        }
        return ToQString(text.substr(size_t(from), size_t(m_position - from)));
    }
    case Qt::ImTextAfterCursor: {
        size_t last = piece;
        while (last + 1 < m_buffer.PieceCount() && qsizetype(m_buffer.PieceEnd(last)) - m_position < kAround)
            ++last;
        return ToQString(text.substr(size_t(m_position), m_buffer.PieceEnd(last) - size_t(m_position)));
    }
    case Qt::ImHints:
        return int(Qt::ImhMultiLine);
    default:
        return {};
    }
}
