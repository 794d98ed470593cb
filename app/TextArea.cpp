#include "TextArea.h"

#include "Utf16Bridge.h"
#include "Utf8TextMimeData.h"

#include <QApplication>
#include <QClipboard>
#include <QFocusEvent>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QTimerEvent>

#include <algorithm>

namespace {
constexpr qreal kTabStop = 80;

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

std::optional<qreal> TextArea::RowY(Row row) const
{
    if (row < m_top)
        return std::nullopt;
    qreal y = kMargin;
    Row at = m_top;
    while (y < viewport()->height()) {
        if (at == row)
            return y;
        y += RowHeight(at);
        const Row next = NextRow(at, 1);
        if (next == at)
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
        if (previous == top)
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
    // Up to the top that shows the last row: a text that fits scrolls not at all.
    bar->setRange(0, int(LastTop().piece));
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
    if (caret < m_top) {
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
        if (last < top)
            top = last < m_top ? m_top : last;
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
