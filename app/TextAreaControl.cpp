#include "TextAreaControl.h"

#include "Utf16Bridge.h"
#include "Utf8TextMimeData.h"

#include <QAccessible>
#include <QApplication>
#include <QFontMetrics>
#include <QClipboard>
#include <QMimeData>

#include <algorithm>

namespace {
constexpr qreal kTabStop = 80;
// Pieces laid out and kept: far more than a screen shows, so that scrolling
// back finds them; past it they are all dropped and laid out again as shown.
constexpr size_t kLayoutsKept = 1024;
// How many pieces back along a long line its rows are laid out from to find
// where a piece's first row starts.
constexpr size_t kChainPieces = 3;

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

TextAreaControl::TextAreaControl(QObject* parent)
    : QObject(parent)
{
}

TextAreaControl::~TextAreaControl() = default;

std::u16string_view TextAreaControl::Units() const
{
    const std::u16string_view text = m_buffer.Text();
    return text.substr(0, text.find(u'\0'));
}

QString TextAreaControl::ReadText() const
{
    return ToQString(Units());
}

QString TextAreaControl::SelectedText() const
{
    const qsizetype from = qMin(m_anchor, m_position);
    return ToQString(m_buffer.Text().substr(size_t(from), size_t(qAbs(m_position - m_anchor))));
}

int TextAreaControl::RowsOfLineAt(qsizetype position)
{
    size_t piece = DisplayPieceAt(position);
    int rows = RowCount(piece);
    while (GoesOn(piece))
        rows += RowCount(++piece);
    return rows;
}

void TextAreaControl::SetText(std::u16string&& text)
{
    NormaliseLineBreaks(text);
    const QString old = QAccessible::isActive() ? ToQString(m_buffer.Text()) : QString();
    m_buffer.Assign(std::move(text));
    NotifyTextChange(0, old, m_buffer.Size());
    m_history.Clear();
    m_position = m_anchor = 0;
    m_top = {};
    m_preedit.clear();
    AfterTextChange(0);
}

void TextAreaControl::SetText(const QString& text)
{
    SetText(std::u16string(reinterpret_cast<const char16_t*>(text.utf16()), size_t(text.size())));
}

void TextAreaControl::SetSelection(qsizetype anchor, qsizetype position)
{
    const qsizetype size = Length();
    m_column = -1;
    m_anchor = std::clamp<qsizetype>(anchor, 0, size);
    m_position = std::clamp<qsizetype>(position, 0, size);
    ShowCaret();
    CaretChanged();
    emit UpdateRequest();
}

void TextAreaControl::SelectAll()
{
    SetSelection(0, Length());
    OfferSelection();
}

void TextAreaControl::InsertText(QString text, EditHistory::Kind kind)
{
    ReplaceRange(qMin(m_anchor, m_position), qMax(m_anchor, m_position), std::move(text), kind);
}

bool TextAreaControl::ReplaceRange(qsizetype from, qsizetype to, QString text, EditHistory::Kind kind)
{
    // In place: a pasted text is not copied again before it goes in.
    if (HasOtherLineBreaks(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), size_t(text.size()))))
        text.truncate(qsizetype(NormaliseLineBreaks(reinterpret_cast<char16_t*>(text.data()), size_t(text.size()))));
    const qsizetype room = m_limit - (Length() - (to - from));
    if (room <= 0)
        return false;
    if (text.size() > room) {
        text.truncate(room);
        if (text.back().isHighSurrogate())
            text.chop(1);
    }
    if (text.isEmpty() && from == to)
        return false;
    if (kind == EditHistory::Kind::Typing && from != to)
        kind = EditHistory::Kind::Insert;
    Edit(size_t(from), size_t(to), {reinterpret_cast<const char16_t*>(text.utf16()), size_t(text.size())}, kind);
    return true;
}

void TextAreaControl::Edit(size_t from, size_t to, std::u16string_view units, EditHistory::Kind kind)
{
    const std::u16string_view removed = m_buffer.Text().substr(from, to - from);
    m_history.Record(from, removed, units.size(), kind);
    const QString told = QAccessible::isActive() ? ToQString(removed) : QString();
    m_buffer.Replace(from, to, units);
    NotifyTextChange(from, told, units.size());
    m_position = m_anchor = qsizetype(from + units.size());
    m_column = -1;
    AfterTextChange(from);
}

void TextAreaControl::ApplyHistoryStep(bool undo)
{
    if (undo ? !m_history.CanUndo() : !m_history.CanRedo())
        return;
    EditHistory::Step step = undo ? m_history.TakeUndo() : m_history.TakeRedo();
    EditHistory::Step reverse{step.at, std::u16string(m_buffer.Text().substr(step.at, step.inserted)),
                              step.removed.size()};
    m_buffer.Replace(step.at, step.at + step.inserted, step.removed);
    NotifyTextChange(step.at, QAccessible::isActive() ? ToQString(reverse.removed) : QString(), step.removed.size());
    if (undo)
        m_history.PushRedo(std::move(reverse));
    else
        m_history.PushUndo(std::move(reverse));
    m_position = m_anchor = qsizetype(step.at + step.removed.size());
    m_column = -1;
    AfterTextChange(step.at);
}

void TextAreaControl::NotifyTextChange(size_t at, const QString& removed, size_t inserted) const
{
    if (!QAccessible::isActive() || !parent())
        return;
    const QString text = ToQString(m_buffer.Text().substr(at, inserted));
    if (removed.isEmpty()) {
        QAccessibleTextInsertEvent event(parent(), int(at), text);
        QAccessible::updateAccessibility(&event);
    } else if (text.isEmpty()) {
        QAccessibleTextRemoveEvent event(parent(), int(at), removed);
        QAccessible::updateAccessibility(&event);
    } else {
        QAccessibleTextUpdateEvent event(parent(), int(at), removed, text);
        QAccessible::updateAccessibility(&event);
    }
}

void TextAreaControl::CaretChanged()
{
    emit CaretMoved();
    if (m_position == m_toldPosition && m_anchor == m_toldAnchor)
        return;
    // An empty selection is none, wherever the caret is.
    const auto selection = [](qsizetype anchor, qsizetype position) {
        return anchor == position ? std::pair<qsizetype, qsizetype>(0, 0)
                                  : std::pair(qMin(anchor, position), qMax(anchor, position));
    };
    const bool selectionChanged = selection(m_anchor, m_position) != selection(m_toldAnchor, m_toldPosition);
    const qsizetype moved = m_toldPosition;
    m_toldPosition = m_position;
    m_toldAnchor = m_anchor;
    if (!QAccessible::isActive() || !parent())
        return;
    if (m_position != moved) {
        QAccessibleTextCursorEvent event(parent(), int(m_position));
        QAccessible::updateAccessibility(&event);
    }
    if (selectionChanged) {
        QAccessibleTextSelectionEvent event(parent(), int(qMin(m_anchor, m_position)), int(qMax(m_anchor, m_position)));
        event.setCursorPosition(int(m_position));
        QAccessible::updateAccessibility(&event);
    }
}

void TextAreaControl::Undo()
{
    ApplyHistoryStep(true);
}

void TextAreaControl::Redo()
{
    ApplyHistoryStep(false);
}

void TextAreaControl::AfterTextChange(size_t from)
{
    ++m_revision;
    DropLayouts();
    // The display start of the piece before the changed one may rest on a
    // cut that moved with the text after it.
    const size_t piece = m_buffer.PieceAt(from);
    DropDisplayStarts(piece > 0 ? piece - 1 : 0);
    ClampTop();
    emit TextChanged();
    ShowCaret();
    CaretChanged();
    emit UpdateRequest();
}

void TextAreaControl::Copy()
{
    if (!HasSelection())
        return;
    const qsizetype from = qMin(m_anchor, m_position);
    const QStringView selected(m_buffer.Text().data() + from, qAbs(m_position - m_anchor));
    QGuiApplication::clipboard()->setMimeData(new Utf8TextMimeData(selected.toUtf8()));
}

void TextAreaControl::Cut()
{
    if (!HasSelection())
        return;
    Copy();
    Edit(size_t(qMin(m_anchor, m_position)), size_t(qMax(m_anchor, m_position)), {}, EditHistory::Kind::Other);
}

void TextAreaControl::Paste()
{
    const QMimeData* source = QGuiApplication::clipboard()->mimeData();
    // Dropped or copied files are dictionaries for the window, not text.
    if (!source || source->hasUrls() || !source->hasText())
        return;
    InsertText(source->text(), EditHistory::Kind::Insert);
}

// ---------------------------------------------------------------------------
// Layout: only the pieces on screen, each on its own.

QString TextAreaControl::TextUpToEnd(size_t start, size_t piece) const
{
    return ToQString(m_buffer.Text().substr(start, m_buffer.PieceEnd(piece) - start));
}

std::unique_ptr<QTextLayout> TextAreaControl::LaidOut(size_t piece, size_t start, bool shown) const
{
    auto layout = std::make_unique<QTextLayout>(TextUpToEnd(start, piece), m_font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    option.setTabStopDistance(kTabStop);
    layout->setTextOption(option);
    layout->setCacheEnabled(shown);
    if (shown && !m_preedit.isEmpty() && piece == DisplayPieceAt(m_position)) {
        const int at = int(size_t(m_position) - start);
        layout->setPreeditArea(at, m_preedit);
        QList<QTextLayout::FormatRange> formats = m_preeditFormats;
        for (QTextLayout::FormatRange& range : formats)
            range.start += at;
        layout->setFormats(formats);
    }
    const qreal width = qMax<qreal>(1, m_viewport.width() - 2 * kMargin);
    qreal y = 0;
    layout->beginLayout();
    for (QTextLine line = layout->createLine(); line.isValid(); line = layout->createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout->endLayout();
    return layout;
}

QTextLayout& TextAreaControl::LayoutOf(size_t piece) const
{
    auto found = m_layouts.find(piece);
    if (found != m_layouts.end())
        return *found->second;
    if (m_layouts.size() > kLayoutsKept)
        m_layouts.clear();
    return *m_layouts.emplace(piece, LaidOut(piece, DisplayStart(piece), true)).first->second;
}

void TextAreaControl::DropLayouts()
{
    m_layouts.clear();
}

bool TextAreaControl::GoesOn(size_t piece) const
{
    return piece + 1 < m_buffer.PieceCount() && m_buffer.PieceEnd(piece) == m_buffer.PieceStart(piece + 1);
}

size_t TextAreaControl::NextDisplayStart(size_t piece, size_t start) const
{
    // Laid out without a composition, so that the rows after it stay where
    // they are while it is composed; one already laid out without one serves.
    const auto found = m_layouts.find(piece);
    std::unique_ptr<QTextLayout> own;
    const QTextLayout* layout = found != m_layouts.end() && found->second->preeditAreaText().isEmpty()
                                    ? found->second.get()
                                    : (own = LaidOut(piece, start, false)).get();
    // A last row that starts in the row carried into this piece, or is its
    // only row, stays: so no layout holds more than twice the most a piece does.
    const int rows = layout->lineCount();
    if (rows > 1) {
        const size_t last = start + size_t(layout->lineAt(rows - 1).textStart());
        if (last >= m_buffer.PieceStart(piece))
            return last;
    }
    return m_buffer.PieceStart(piece + 1);
}

size_t TextAreaControl::DisplayStart(size_t piece) const
{
    if (piece == 0 || !GoesOn(piece - 1))
        return m_buffer.PieceStart(piece);
    const auto known = [this](size_t p) { return p < m_displayStarts.size() && m_displayStarts[p] != kNotFound; };
    if (known(piece))
        return m_displayStarts[piece];
    // From the nearest piece before whose start is known, the line's first at
    // the farthest, but no more than kChainPieces back: rows laid out from a
    // piece's own start (a place where a row may start) fall in with those of
    // the whole line within a few rows, so going further back would cost a
    // layout of every piece before on the line and change nothing.
    size_t from = piece - 1;
    while (from > 0 && GoesOn(from - 1) && !known(from) && piece - from < kChainPieces)
        --from;
    size_t start = known(from) ? m_displayStarts[from] : m_buffer.PieceStart(from);
    if (m_displayStarts.size() <= piece + 1)
        m_displayStarts.resize(piece + 2, kNotFound);
    for (size_t p = from; p < piece; ++p) {
        start = NextDisplayStart(p, start);
        m_displayStarts[p + 1] = start;
    }
    // A start found after is kept only if it follows from this one: where
    // rows never fall in (a run without a place to wrap but anywhere), the
    // pieces after are laid out again from here rather than overlap.
    if (known(piece + 1) && NextDisplayStart(piece, start) != m_displayStarts[piece + 1]) {
        m_displayStarts.resize(piece + 1);
        for (auto it = m_layouts.upper_bound(piece); it != m_layouts.end();)
            it = m_layouts.erase(it);
    }
    return start;
}

void TextAreaControl::DropDisplayStarts(size_t piece)
{
    if (m_displayStarts.size() > piece)
        m_displayStarts.resize(piece);
}

int TextAreaControl::RowCount(size_t piece) const
{
    const QTextLayout& layout = LayoutOf(piece);
    const int rows = layout.lineCount();
    if (!GoesOn(piece))
        return qMax(1, rows);
    const size_t next = DisplayStart(piece + 1);
    if (next == m_buffer.PieceStart(piece + 1) || rows <= 1)
        return qMax(1, rows);
    // The rows that start before the next piece's layout does; with a
    // composition in this piece its rows may differ from those without.
    const int end = LayoutPosition(piece, qsizetype(next));
    int shown = rows;
    while (shown > 1 && layout.lineAt(shown - 1).textStart() >= end)
        --shown;
    return shown;
}

size_t TextAreaControl::DisplayPieceAt(qsizetype position) const
{
    const size_t piece = m_buffer.PieceAt(size_t(position));
    return GoesOn(piece) && size_t(position) >= DisplayStart(piece + 1) ? piece + 1 : piece;
}

TextAreaControl::Row TextAreaControl::RowOf(qsizetype position) const
{
    const size_t piece = DisplayPieceAt(position);
    const QTextLayout& layout = LayoutOf(piece);
    const QTextLine line = layout.lineForTextPosition(LayoutPosition(piece, position));
    const int last = RowCount(piece) - 1;
    return {piece, line.isValid() ? qMin(line.lineNumber(), last) : last};
}

std::pair<size_t, size_t> TextAreaControl::RowTextAt(qsizetype position) const
{
    const Row row = RowOf(position);
    const QTextLayout& layout = LayoutOf(row.piece);
    const size_t start = DisplayStart(row.piece);
    const size_t end = row.line + 1 < RowCount(row.piece) ? start + size_t(layout.lineAt(row.line + 1).textStart())
                       : GoesOn(row.piece)                 ? DisplayStart(row.piece + 1)
                                                           : m_buffer.PieceEnd(row.piece);
    return {start + size_t(layout.lineAt(row.line).textStart()), end};
}

TextAreaControl::Row TextAreaControl::NextRow(Row row, int by) const
{
    for (; by > 0; --by) {
        if (row.line + 1 < RowCount(row.piece))
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
            row = {row.piece - 1, RowCount(row.piece - 1) - 1};
        else
            break;
    }
    return row;
}

qreal TextAreaControl::RowHeight(Row row) const
{
    const QTextLayout& layout = LayoutOf(row.piece);
    return row.line < layout.lineCount() ? layout.lineAt(row.line).height() : QFontMetrics(m_font).height();
}

std::optional<qreal> TextAreaControl::RowY(Row row) const
{
    if (row < m_top)
        return std::nullopt;
    qreal y = kMargin;
    Row at = m_top;
    while (y < m_viewport.height()) {
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

int TextAreaControl::VisibleRows() const
{
    return qMax(1, int((m_viewport.height() - 2 * kMargin) / QFontMetrics(m_font).lineSpacing()));
}

TextAreaControl::Row TextAreaControl::TopShowing(Row last) const
{
    Row top = last;
    qreal height = RowHeight(last);
    for (;;) {
        const Row previous = NextRow(top, -1);
        if (previous == top)
            break;
        height += RowHeight(previous);
        if (height > m_viewport.height() - 2 * kMargin)
            break;
        top = previous;
    }
    return top;
}

TextAreaControl::Row TextAreaControl::LastRow() const
{
    const size_t last = m_buffer.PieceCount() - 1;
    return {last, RowCount(last) - 1};
}

TextAreaControl::Row TextAreaControl::LastTop() const
{
    return TopShowing(LastRow());
}

void TextAreaControl::SetTop(Row top)
{
    // The last row goes no higher than the bottom of the viewport, as in
    // QPlainTextEdit: a page down or a wider viewport near the end would
    // otherwise leave the screen below it empty.
    m_top = std::min(top, LastTop());
    emit TopChanged();
    emit UpdateRequest();
}

void TextAreaControl::ClampTop()
{
    const size_t count = m_buffer.PieceCount();
    if (m_top.piece >= count)
        m_top = {count - 1, 0};
    m_top.line = qMin(m_top.line, RowCount(m_top.piece) - 1);
    m_top = std::min(m_top, LastTop());
}

void TextAreaControl::ShowPosition(qsizetype position)
{
    const Row caret = RowOf(position);
    if (RowY(caret) && *RowY(caret) + RowHeight(caret) <= m_viewport.height() - kMargin + 0.5)
        return;
    if (caret < m_top) {
        SetTop(caret);
        return;
    }
    // The caret's row becomes the last on screen.
    SetTop(TopShowing(caret));
}

void TextAreaControl::SetTopPiece(size_t piece)
{
    m_top = std::min(Row{qMin(piece, m_buffer.PieceCount() - 1), 0}, LastTop());
    emit UpdateRequest();
}

void TextAreaControl::ScrollRows(int rows)
{
    SetTop(NextRow(m_top, rows));
}

void TextAreaControl::SetViewport(QSizeF size, const QFont& font)
{
    // The row that held the top row's first character stays at the top.
    const QTextLayout& top = LayoutOf(m_top.piece);
    const size_t topAt = DisplayStart(m_top.piece)
                         + size_t(m_top.line < top.lineCount() ? top.lineAt(m_top.line).textStart() : 0);
    m_viewport = size;
    m_font = font;
    DropLayouts();
    m_displayStarts.clear();
    m_top = RowOf(qsizetype(topAt));
    ClampTop();
}

QRectF TextAreaControl::RectAt(qsizetype position) const
{
    const Row row = RowOf(position);
    const std::optional<qreal> y = RowY(row);
    if (!y)
        return {};
    const QTextLine line = LayoutOf(row.piece).lineAt(row.line);
    const qreal x = line.cursorToX(LayoutPosition(row.piece, position));
    return QRectF(kMargin + x, *y, 1, line.height());
}

