#include "TextArea.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QTextBoundaryFinder>
#include <QTimerEvent>

#include <algorithm>

namespace {
constexpr qreal kMargin = 4;
constexpr qreal kTabStop = 80;

// A copy on the clipboard held once, as the UTF-8 that other programs ask
// for: a transfer hands out these bytes without converting them again.
class Utf8TextMimeData : public QMimeData {
public:
    explicit Utf8TextMimeData(QByteArray utf8)
        : m_utf8(std::move(utf8))
    {
    }
    QStringList formats() const override { return {QStringLiteral("text/plain")}; }
    bool hasFormat(const QString& format) const override { return IsText(format); }

protected:
    QVariant retrieveData(const QString& format, QMetaType type) const override
    {
        if (!IsText(format))
            return {};
        if (type.id() == QMetaType::QString)
            return QString::fromUtf8(m_utf8);
        return m_utf8;
    }

private:
    static bool IsText(const QString& format)
    {
        return format == u"text/plain" || format == u"text/plain;charset=utf-8";
    }
    QByteArray m_utf8;
};

QString ToQString(std::u16string_view units)
{
    return QString(reinterpret_cast<const QChar*>(units.data()), qsizetype(units.size()));
}

bool IsLowSurrogate(char16_t c)
{
    return c >= 0xDC00 && c < 0xE000;
}

bool IsHighSurrogate(char16_t c)
{
    return c >= 0xD800 && c < 0xDC00;
}

// Line breaks as the text area keeps them: CR LF, CR and the paragraph
// separator become LF. Returns the units left.
size_t NormaliseLineBreaks(char16_t* units, size_t size)
{
    size_t out = 0;
    for (size_t i = 0; i < size; ++i) {
        char16_t c = units[i];
        if (c == u'\r') {
            if (i + 1 < size && units[i + 1] == u'\n')
                ++i;
            c = u'\n';
        } else if (c == 0x2029) {
            c = u'\n';
        }
        units[out++] = c;
    }
    return out;
}

bool HasOtherLineBreaks(std::u16string_view units)
{
    return std::any_of(units.begin(), units.end(), [](char16_t c) { return c == u'\r' || c == 0x2029; });
}

void NormaliseLineBreaks(std::u16string& text)
{
    if (HasOtherLineBreaks(text))
        text.resize(NormaliseLineBreaks(text.data(), text.size()));
}
} // namespace

TextArea::TextArea(QWidget* parent)
    : QAbstractScrollArea(parent)
{
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    viewport()->setCursor(Qt::IBeamCursor);
    UpdateScrollBar();
}

TextArea::~TextArea() = default;

std::u16string_view TextArea::Units() const
{
    const std::u16string_view text = m_buffer.Text();
    return text.substr(0, text.find(u'\0'));
}

QString TextArea::ReadText() const
{
    return ToQString(Units());
}

QString TextArea::SelectedText() const
{
    const qsizetype from = qMin(m_anchor, m_position);
    return ToQString(m_buffer.Text().substr(size_t(from), size_t(qAbs(m_position - m_anchor))));
}

int TextArea::RowsOfLineAt(qsizetype position)
{
    size_t piece = m_buffer.PieceAt(size_t(position));
    int rows = LayoutOf(piece).lineCount();
    while (piece + 1 < m_buffer.PieceCount() && m_buffer.PieceEnd(piece) == m_buffer.PieceStart(piece + 1))
        rows += LayoutOf(++piece).lineCount();
    return rows;
}

void TextArea::SetText(std::u16string&& text)
{
    NormaliseLineBreaks(text);
    m_buffer.Assign(std::move(text));
    m_history.Clear();
    m_position = m_anchor = 0;
    m_top = {};
    TextChanged();
}

void TextArea::SetText(const QString& text)
{
    SetText(std::u16string(reinterpret_cast<const char16_t*>(text.utf16()), size_t(text.size())));
}

void InsertUnicodeText(TextArea& area, std::u16string&& text)
{
    if (area.Length() == 0) {
        area.SetText(std::move(text));
    } else {
        QString all = area.ReadText();
        all.append(QStringView(text.data(), qsizetype(text.size())));
        area.SetText(all);
    }
    area.SetPosition(area.Length());
}

void TextArea::SetSelection(qsizetype anchor, qsizetype position)
{
    const qsizetype size = Length();
    m_column = -1;
    m_anchor = std::clamp<qsizetype>(anchor, 0, size);
    m_position = std::clamp<qsizetype>(position, 0, size);
    ShowCaret();
    RestartBlink();
    viewport()->update();
}

void TextArea::selectAll()
{
    SetSelection(0, Length());
}

void TextArea::InsertText(QString text)
{
    // In place: a pasted text is not copied again before it goes in.
    if (HasOtherLineBreaks(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), size_t(text.size()))))
        text.truncate(qsizetype(NormaliseLineBreaks(reinterpret_cast<char16_t*>(text.data()), size_t(text.size()))));
    const qsizetype from = qMin(m_anchor, m_position);
    const qsizetype to = qMax(m_anchor, m_position);
    const qsizetype room = m_limit - (Length() - (to - from));
    if (room <= 0)
        return;
    if (text.size() > room) {
        text.truncate(room);
        if (text.back().isHighSurrogate())
            text.chop(1);
    }
    if (text.isEmpty() && from == to)
        return;
    const bool typing = text.size() == 1 && from == to;
    Edit(size_t(from), size_t(to), {reinterpret_cast<const char16_t*>(text.utf16()), size_t(text.size())},
         typing ? EditHistory::Kind::Typing : EditHistory::Kind::Other);
}

void TextArea::Edit(size_t from, size_t to, std::u16string_view units, EditHistory::Kind kind)
{
    m_history.Record(from, m_buffer.Text().substr(from, to - from), units.size(), kind);
    m_buffer.Replace(from, to, units);
    m_position = m_anchor = qsizetype(from + units.size());
    m_column = -1;
    TextChanged();
}

void TextArea::ApplyHistoryStep(bool undo)
{
    if (undo ? !m_history.CanUndo() : !m_history.CanRedo())
        return;
    EditHistory::Step step = undo ? m_history.TakeUndo() : m_history.TakeRedo();
    EditHistory::Step reverse{step.at, std::u16string(m_buffer.Text().substr(step.at, step.inserted)),
                              step.removed.size()};
    m_buffer.Replace(step.at, step.at + step.inserted, step.removed);
    if (undo)
        m_history.PushRedo(std::move(reverse));
    else
        m_history.PushUndo(std::move(reverse));
    m_position = m_anchor = qsizetype(step.at + step.removed.size());
    m_column = -1;
    TextChanged();
}

void TextArea::undo()
{
    ApplyHistoryStep(true);
}

void TextArea::redo()
{
    ApplyHistoryStep(false);
}

void TextArea::TextChanged()
{
    ++m_revision;
    DropLayouts();
    UpdateScrollBar();
    ShowCaret();
    RestartBlink();
    viewport()->update();
}

void TextArea::copy()
{
    if (!HasSelection())
        return;
    const qsizetype from = qMin(m_anchor, m_position);
    const QStringView selected(m_buffer.Text().data() + from, qAbs(m_position - m_anchor));
    QGuiApplication::clipboard()->setMimeData(new Utf8TextMimeData(selected.toUtf8()));
}

void TextArea::cut()
{
    if (!HasSelection())
        return;
    copy();
    Edit(size_t(qMin(m_anchor, m_position)), size_t(qMax(m_anchor, m_position)), {}, EditHistory::Kind::Other);
}

void TextArea::paste()
{
    const QMimeData* source = QGuiApplication::clipboard()->mimeData();
    // Dropped or copied files are dictionaries for the window, not text.
    if (!source || source->hasUrls() || !source->hasText())
        return;
    InsertText(source->text());
}

// ---------------------------------------------------------------------------
// Layout: only the pieces on screen, each on its own.

QTextLayout& TextArea::LayoutOf(size_t piece) const
{
    auto found = m_layouts.find(piece);
    if (found != m_layouts.end())
        return *found->second;
    if (m_layouts.size() > 1024)
        m_layouts.clear();
    auto layout = std::make_unique<QTextLayout>(ToQString(m_buffer.Piece(piece)), font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    option.setTabStopDistance(kTabStop);
    layout->setTextOption(option);
    layout->setCacheEnabled(true);
    const qreal width = qMax<qreal>(1, viewport()->width() - 2 * kMargin);
    qreal y = 0;
    layout->beginLayout();
    for (QTextLine line = layout->createLine(); line.isValid(); line = layout->createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout->endLayout();
    return *m_layouts.emplace(piece, std::move(layout)).first->second;
}

void TextArea::DropLayouts()
{
    m_layouts.clear();
}

TextArea::Row TextArea::RowOf(qsizetype position) const
{
    const size_t piece = m_buffer.PieceAt(size_t(position));
    const QTextLayout& layout = LayoutOf(piece);
    const QTextLine line = layout.lineForTextPosition(int(size_t(position) - m_buffer.PieceStart(piece)));
    return {piece, line.isValid() ? line.lineNumber() : qMax(0, layout.lineCount() - 1)};
}

TextArea::Row TextArea::NextRow(Row row, int by) const
{
    for (; by > 0; --by) {
        if (row.line + 1 < LayoutOf(row.piece).lineCount())
            ++row.line;
        else if (row.piece + 1 < m_buffer.PieceCount())
            row = {row.piece + 1, 0};
        else
            break;
    }
    for (; by < 0; ++by) {
        if (row.line > 0)
            --row.line;
        else if (row.piece > 0)
            row = {row.piece - 1, qMax(0, LayoutOf(row.piece - 1).lineCount() - 1)};
        else
            break;
    }
    return row;
}

qreal TextArea::RowHeight(Row row) const
{
    const QTextLayout& layout = LayoutOf(row.piece);
    return row.line < layout.lineCount() ? layout.lineAt(row.line).height() : fontMetrics().height();
}

namespace {
bool Before(size_t pieceA, int lineA, size_t pieceB, int lineB)
{
    return pieceA < pieceB || (pieceA == pieceB && lineA < lineB);
}
} // namespace

std::optional<qreal> TextArea::RowY(Row row) const
{
    if (Before(row.piece, row.line, m_top.piece, m_top.line))
        return std::nullopt;
    qreal y = kMargin;
    Row at = m_top;
    while (y < viewport()->height()) {
        if (at.piece == row.piece && at.line == row.line)
            return y;
        y += RowHeight(at);
        const Row next = NextRow(at, 1);
        if (next.piece == at.piece && next.line == at.line)
            break;
        at = next;
    }
    return std::nullopt;
}

int TextArea::VisibleRows() const
{
    return qMax(1, int((viewport()->height() - 2 * kMargin) / fontMetrics().lineSpacing()));
}

TextArea::Row TextArea::TopShowing(Row last) const
{
    Row top = last;
    qreal height = RowHeight(last);
    for (;;) {
        const Row previous = NextRow(top, -1);
        if (previous.piece == top.piece && previous.line == top.line)
            break;
        height += RowHeight(previous);
        if (height > viewport()->height() - 2 * kMargin)
            break;
        top = previous;
    }
    return top;
}

TextArea::Row TextArea::LastTop() const
{
    const size_t last = m_buffer.PieceCount() - 1;
    return TopShowing({last, qMax(0, LayoutOf(last).lineCount() - 1)});
}

void TextArea::SetTop(Row top)
{
    m_top = top;
    m_updatingScrollBar = true;
    verticalScrollBar()->setValue(int(top.piece));
    m_updatingScrollBar = false;
    viewport()->update();
}

void TextArea::UpdateScrollBar()
{
    const size_t count = m_buffer.PieceCount();
    if (m_top.piece >= count)
        m_top = {count - 1, 0};
    m_top.line = qMin(m_top.line, qMax(0, LayoutOf(m_top.piece).lineCount() - 1));
    m_updatingScrollBar = true;
    QScrollBar* bar = verticalScrollBar();
    bar->setRange(0, int(count - 1));
    bar->setPageStep(VisibleRows());
    bar->setSingleStep(1);
    bar->setValue(int(m_top.piece));
    m_updatingScrollBar = false;
}

void TextArea::ShowCaret()
{
    const Row caret = RowOf(m_position);
    if (RowY(caret) && *RowY(caret) + RowHeight(caret) <= viewport()->height() - kMargin + 0.5)
        return;
    if (Before(caret.piece, caret.line, m_top.piece, m_top.line)) {
        SetTop(caret);
        return;
    }
    // The caret's row becomes the last on screen.
    SetTop(TopShowing(caret));
}

void TextArea::scrollContentsBy(int, int)
{
    // The scroll bar counts pieces; moved by the user, its value is the top.
    if (m_updatingScrollBar)
        return;
    m_top = {size_t(verticalScrollBar()->value()), 0};
    viewport()->update();
}

void TextArea::wheelEvent(QWheelEvent* event)
{
    m_wheelRemainder += event->angleDelta().y();
    const int notches = m_wheelRemainder / 120;
    m_wheelRemainder -= notches * 120;
    if (notches != 0) {
        Row top = NextRow(m_top, -notches * QApplication::wheelScrollLines());
        const Row last = LastTop();
        if (Before(last.piece, last.line, top.piece, top.line))
            top = Before(last.piece, last.line, m_top.piece, m_top.line) ? m_top : last;
        SetTop(top);
    }
    event->accept();
}

void TextArea::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    DropLayouts();
    m_top.line = 0;
    UpdateScrollBar();
}

QRectF TextArea::CaretRect() const
{
    const Row caret = RowOf(m_position);
    const std::optional<qreal> y = RowY(caret);
    if (!y)
        return {};
    const QTextLine line = LayoutOf(caret.piece).lineAt(caret.line);
    const qreal x = line.cursorToX(int(size_t(m_position) - m_buffer.PieceStart(caret.piece)));
    return QRectF(kMargin + x, *y, 1, line.height());
}

// ---------------------------------------------------------------------------
// Painting

void TextArea::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    const QPalette::ColorGroup group = hasFocus() ? QPalette::Active : QPalette::Inactive;
    QTextCharFormat selected;
    selected.setBackground(palette().brush(group, QPalette::Highlight));
    selected.setForeground(palette().brush(group, QPalette::HighlightedText));
    painter.setPen(palette().color(QPalette::Text));
    const size_t from = size_t(qMin(m_anchor, m_position));
    const size_t to = size_t(qMax(m_anchor, m_position));
    const size_t caretPiece = m_buffer.PieceAt(size_t(m_position));

    // The rows of the top piece above the first row on screen stay hidden.
    painter.setClipRect(QRectF(0, kMargin, viewport()->width(), viewport()->height() - kMargin));
    const QTextLayout& topLayout = LayoutOf(m_top.piece);
    qreal y = kMargin - (m_top.line < topLayout.lineCount() ? topLayout.lineAt(m_top.line).y() : 0);
    for (size_t piece = m_top.piece; piece < m_buffer.PieceCount() && y < viewport()->height(); ++piece) {
        QTextLayout& layout = LayoutOf(piece);
        const size_t start = m_buffer.PieceStart(piece);
        const size_t end = m_buffer.PieceEnd(piece);
        QList<QTextLayout::FormatRange> selections;
        if (from < to && from <= end && to > start)
            selections.append({int(qMax(from, start) - start), int(qMin(to, end) - qMax(from, start)), selected});
        const QPointF origin(kMargin, y);
        layout.draw(&painter, origin, selections);
        if (piece == caretPiece && m_caretShown)
            layout.drawCursor(&painter, origin, int(size_t(m_position) - start), 1);
        const QTextLine lastLine = layout.lineAt(layout.lineCount() - 1);
        y += lastLine.y() + lastLine.height();
    }
    if (!m_preedit.isEmpty() && hasFocus()) {
        const QRectF caret = CaretRect();
        QFont underlined = font();
        underlined.setUnderline(true);
        painter.setFont(underlined);
        const QRectF box(caret.topLeft(), QSizeF(painter.fontMetrics().horizontalAdvance(m_preedit), caret.height()));
        painter.fillRect(box, palette().brush(QPalette::Base));
        painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, m_preedit);
    }
}

void TextArea::RestartBlink()
{
    m_caretShown = hasFocus();
    const int flash = QApplication::cursorFlashTime();
    if (hasFocus() && flash > 0)
        m_blink.start(flash / 2, this);
    else
        m_blink.stop();
}

void TextArea::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_blink.timerId())
        return QAbstractScrollArea::timerEvent(event);
    m_caretShown = !m_caretShown;
    viewport()->update();
}

void TextArea::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    RestartBlink();
    viewport()->update();
}

void TextArea::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    RestartBlink();
    viewport()->update();
}

// ---------------------------------------------------------------------------
// The caret, by key and by mouse

qsizetype TextArea::StepCharacter(qsizetype position, int direction) const
{
    const size_t at = size_t(position);
    const size_t piece = m_buffer.PieceAt(at);
    const size_t start = m_buffer.PieceStart(piece);
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
    const size_t before = m_buffer.PieceStart(piece - 1);
    return qsizetype(before) + LayoutOf(piece - 1).previousCursorPosition(int(at - before));
}

qsizetype TextArea::StepWord(qsizetype position, int direction) const
{
    const size_t piece = m_buffer.PieceAt(size_t(position));
    const size_t start = m_buffer.PieceStart(piece);
    const size_t end = m_buffer.PieceEnd(piece);
    // At a piece's edge the step goes over the line break to the next piece.
    if ((direction > 0 && size_t(position) >= end) || (direction < 0 && size_t(position) <= start))
        return StepCharacter(position, direction);
    const QString text = ToQString(m_buffer.Piece(piece));
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

void TextArea::SelectWordAt(qsizetype position)
{
    const size_t piece = m_buffer.PieceAt(size_t(position));
    const size_t start = m_buffer.PieceStart(piece);
    const QString text = ToQString(m_buffer.Piece(piece));
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

qsizetype TextArea::PositionInRow(Row row, qreal x) const
{
    const QTextLayout& layout = LayoutOf(row.piece);
    const QTextLine line = layout.lineAt(qMin(row.line, layout.lineCount() - 1));
    return qsizetype(m_buffer.PieceStart(row.piece)) + line.xToCursor(x - kMargin);
}

qsizetype TextArea::PositionAt(QPointF point)
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
        const bool last = next.piece == at.piece && next.line == at.line;
        if (point.y() < y + height || last)
            return PositionInRow(at, point.x());
        if (y + height + RowHeight(next) > viewport()->height() && point.y() >= viewport()->height()) {
            SetTop(NextRow(m_top, 1));
            return PositionInRow(next, point.x());
        }
        y += height;
        at = next;
    }
}

void TextArea::MoveCaret(qsizetype position, bool extend, bool keepColumn)
{
    const qreal column = m_column;
    SetSelection(extend ? m_anchor : position, position);
    if (keepColumn)
        m_column = column;
}

bool TextArea::MoveByKey(QKeyEvent* event)
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
                MoveCaret(StepCharacter(m_position, direction), extend);
            break;
        case Word:
            MoveCaret(StepWord(m_position, direction), extend);
            break;
        case Line:
        case Page: {
            const Row from = RowOf(m_position);
            if (m_column < 0)
                m_column = CaretRect().isNull() ? LayoutOf(from.piece).lineAt(from.line).cursorToX(
                                                      int(size_t(m_position) - m_buffer.PieceStart(from.piece)))
                                                      + kMargin
                                                : CaretRect().x();
            const int rows = kind == Line ? 1 : VisibleRows();
            const Row to = NextRow(from, direction * rows);
            qsizetype target = PositionInRow(to, m_column);
            if (to.piece == from.piece && to.line == from.line)
                target = direction > 0 ? Length() : 0;
            if (kind == Page)
                SetTop(NextRow(m_top, direction * rows));
            MoveCaret(target, extend, true);
            break;
        }
        case RowEdge: {
            const Row row = RowOf(m_position);
            const QTextLine line = LayoutOf(row.piece).lineAt(row.line);
            const size_t start = m_buffer.PieceStart(row.piece);
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

void TextArea::keyPressEvent(QKeyEvent* event)
{
    const bool hasSelection = HasSelection();
    if (event->matches(QKeySequence::Undo)) {
        undo();
    } else if (event->matches(QKeySequence::Redo)) {
        redo();
    } else if (event->matches(QKeySequence::Copy)) {
        copy();
    } else if (event->matches(QKeySequence::Cut)) {
        cut();
    } else if (event->matches(QKeySequence::Paste)) {
        paste();
    } else if (event->matches(QKeySequence::SelectAll)) {
        selectAll();
    } else if (MoveByKey(event)) {
    } else if (event->matches(QKeySequence::DeleteStartOfWord) || event->matches(QKeySequence::DeleteEndOfWord)) {
        if (!hasSelection) {
            const int direction = event->matches(QKeySequence::DeleteEndOfWord) ? 1 : -1;
            m_anchor = StepWord(m_position, direction);
        }
        InsertText(QString());
    } else if (event->key() == Qt::Key_Backspace || event->matches(QKeySequence::Delete)) {
        if (!hasSelection) {
            if (event->key() == Qt::Key_Backspace) {
                // Back over one character, not a whole cluster.
                m_anchor = qMax<qsizetype>(0, m_position - 1);
                if (m_anchor > 0 && IsLowSurrogate(m_buffer.At(size_t(m_anchor)))
                    && IsHighSurrogate(m_buffer.At(size_t(m_anchor) - 1)))
                    --m_anchor;
            } else {
                m_anchor = StepCharacter(m_position, 1);
            }
        }
        InsertText(QString());
    } else if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        InsertText(QStringLiteral("\n"));
    } else if (event->key() == Qt::Key_Tab && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        InsertText(QStringLiteral("\t"));
    } else if (!event->text().isEmpty() && event->text().front().isPrint()
               && !(event->modifiers() & Qt::ControlModifier)) {
        InsertText(event->text());
    } else {
        event->ignore();
        return;
    }
    event->accept();
}

bool TextArea::event(QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        // Tab is text here, not a step to the next control.
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            keyPressEvent(key);
            return true;
        }
    } else if (event->type() == QEvent::ShortcutOverride) {
        // The editing keys are the text area's, not shortcuts of the window.
        auto* key = static_cast<QKeyEvent*>(event);
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
        if (ours) {
            event->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void TextArea::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QAbstractScrollArea::mousePressEvent(event);
    const qsizetype position = PositionAt(event->position());
    MoveCaret(position, event->modifiers() & Qt::ShiftModifier);
}

void TextArea::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() & Qt::LeftButton)
        MoveCaret(PositionAt(event->position()), true);
}

void TextArea::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        SelectWordAt(PositionAt(event->position()));
}

void TextArea::contextMenuEvent(QContextMenuEvent* event)
{
    // The usual editing menu, with the Qt translations of its items.
    QMenu menu(this);
    auto add = [&](const char* text, QKeySequence::StandardKey key, bool enabled, void (TextArea::*slot)()) {
        QAction* action = menu.addAction(QCoreApplication::translate("QWidgetTextControl", text), this, slot);
        action->setShortcut(key);
        action->setEnabled(enabled);
    };
    const QMimeData* clip = QGuiApplication::clipboard()->mimeData();
    add("&Undo", QKeySequence::Undo, m_history.CanUndo(), &TextArea::undo);
    add("&Redo", QKeySequence::Redo, m_history.CanRedo(), &TextArea::redo);
    menu.addSeparator();
    add("Cu&t", QKeySequence::Cut, HasSelection(), &TextArea::cut);
    add("&Copy", QKeySequence::Copy, HasSelection(), &TextArea::copy);
    add("&Paste", QKeySequence::Paste, clip && clip->hasText() && !clip->hasUrls(), &TextArea::paste);
    menu.addSeparator();
    add("Select All", QKeySequence::SelectAll, Length() > 0, &TextArea::selectAll);
    menu.exec(event->globalPos());
}

// ---------------------------------------------------------------------------
// Input methods

void TextArea::inputMethodEvent(QInputMethodEvent* event)
{
    if (!event->commitString().isEmpty())
        InsertText(event->commitString());
    m_preedit = event->preeditString();
    viewport()->update();
    event->accept();
}

QVariant TextArea::inputMethodQuery(Qt::InputMethodQuery query) const
{
    const size_t piece = m_buffer.PieceAt(size_t(m_position));
    const size_t start = m_buffer.PieceStart(piece);
    switch (query) {
    case Qt::ImEnabled:
        return true;
    case Qt::ImCursorRectangle:
        return CaretRect().translated(viewport()->pos());
    case Qt::ImFont:
        return font();
    case Qt::ImCursorPosition:
        return int(size_t(m_position) - start);
    case Qt::ImAnchorPosition:
        return int(std::clamp<size_t>(size_t(m_anchor), start, m_buffer.PieceEnd(piece)) - start);
    case Qt::ImSurroundingText:
        return ToQString(m_buffer.Piece(piece));
    case Qt::ImCurrentSelection:
        return qAbs(m_position - m_anchor) <= qsizetype(TextBuffer::kMaxPiece) ? SelectedText() : QString();
    case Qt::ImHints:
        return int(Qt::ImhMultiLine);
    default:
        return QAbstractScrollArea::inputMethodQuery(query);
    }
}
