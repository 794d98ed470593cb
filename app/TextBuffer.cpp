#include "TextBuffer.h"

#include "Surrogates.h"

#include <QTextBoundaryFinder>

#include <algorithm>

namespace {
size_t CountLineBreaks(std::u16string_view units)
{
    return size_t(std::count(units.begin(), units.end(), u'\n'));
}

// How far back from the most a piece may hold a long line's cut is looked
// for, and how many units after it give the boundary rules their context.
constexpr size_t kCutLookBack = 48;
constexpr size_t kCutContext = 8;

// Where a piece of a long line that starts at `from` ends, at `limit` at the
// most: at the last line-break opportunity a layout would wrap at, else at the
// last grapheme-cluster boundary, so that no word, emoji sequence or letter
// with its marks and variation selector is cut in two.
size_t CutOfLongLine(const char16_t* text, size_t size, size_t from, size_t limit)
{
    const size_t start = limit - std::min(kCutLookBack, limit - from);
    const size_t end = std::min(size, limit + kCutContext);
    const auto* chars = reinterpret_cast<const QChar*>(text + start);
    for (QTextBoundaryFinder::BoundaryType type : {QTextBoundaryFinder::Line, QTextBoundaryFinder::Grapheme}) {
        QTextBoundaryFinder finder(type, chars, qsizetype(end - start));
        finder.setPosition(qsizetype(limit - start));
        const qsizetype at = finder.isAtBoundary() ? finder.position() : finder.toPreviousBoundary();
        // The window's own start is no boundary of the text.
        if (at > 0)
            return start + size_t(at);
    }
    return IsHighSurrogate(text[limit - 1]) && IsLowSurrogate(text[limit]) ? limit - 1 : limit;
}
} // namespace

TextBuffer::TextBuffer()
    : m_starts{0}
{
}

void TextBuffer::Assign(std::u16string&& text)
{
    m_text = std::move(text);
    m_starts.clear();
    for (size_t pos = 0; pos != kNoPiece; pos = NextPiece(pos))
        m_starts.push_back(pos);
    m_lines = CountLineBreaks(m_text) + 1;
}

size_t TextBuffer::NextPiece(size_t pos) const
{
    const char16_t* text = m_text.data();
    const size_t size = m_text.size();
    const size_t limit = std::min(size, pos + kMaxPiece);
    size_t i = pos;
    while (i < limit && text[i] != u'\n')
        ++i;
    if (i < size && text[i] == u'\n') // a line break ends the piece, also one right after a full piece
        return i + 1;
    if (limit == size)
        return kNoPiece;
    return CutOfLongLine(text, size, pos, limit); // a long line goes on in the next piece
}

void TextBuffer::Replace(size_t from, size_t to, std::u16string_view units)
{
    // A cut depends on the units up to a few past the most a piece holds, so
    // the pieces from the one before the edit's are indexed anew, up to the
    // first start behind the edit that was a start before it too: from there
    // on every cut is where it was, moved by the edit's length. Typing into a
    // line of many megabytes so costs a few pieces, not the whole line.
    size_t first = PieceAt(from);
    if (first > 0 && !EndsLine(first - 1))
        --first;
    const size_t last = PieceAt(to);

    m_lines = m_lines - CountLineBreaks(std::u16string_view(m_text).substr(from, to - from)) + CountLineBreaks(units);
    m_text.replace(from, to - from, units.data(), units.size());
    const ptrdiff_t delta = ptrdiff_t(units.size()) - ptrdiff_t(to - from);
    const size_t edited = from + units.size();

    std::vector<size_t> pieces;
    size_t resume = m_starts.size(); // the first old piece kept, moved by delta
    for (size_t pos = m_starts[first];;) {
        pieces.push_back(pos);
        pos = NextPiece(pos);
        if (pos == kNoPiece)
            break;
        if (pos > edited) {
            const size_t old = size_t(ptrdiff_t(pos) - delta);
            const auto found = std::lower_bound(m_starts.begin() + ptrdiff_t(last) + 1, m_starts.end(), old);
            if (found != m_starts.end() && *found == old) {
                resume = size_t(found - m_starts.begin());
                break;
            }
        }
    }
    for (size_t i = resume; i < m_starts.size(); ++i)
        m_starts[i] = size_t(ptrdiff_t(m_starts[i]) + delta);
    m_starts.erase(m_starts.begin() + ptrdiff_t(first), m_starts.begin() + ptrdiff_t(resume));
    m_starts.insert(m_starts.begin() + ptrdiff_t(first), pieces.begin(), pieces.end());
}

bool TextBuffer::EndsLine(size_t piece) const
{
    return piece + 1 < m_starts.size() && m_text[m_starts[piece + 1] - 1] == u'\n';
}

size_t TextBuffer::PieceEnd(size_t piece) const
{
    if (piece + 1 == m_starts.size())
        return m_text.size();
    const size_t next = m_starts[piece + 1];
    return m_text[next - 1] == u'\n' ? next - 1 : next;
}

std::u16string_view TextBuffer::Piece(size_t piece) const
{
    return std::u16string_view(m_text).substr(m_starts[piece], PieceEnd(piece) - m_starts[piece]);
}

size_t TextBuffer::PieceAt(size_t position) const
{
    return size_t(std::upper_bound(m_starts.begin(), m_starts.end(), position) - m_starts.begin()) - 1;
}
