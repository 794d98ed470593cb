// The text of the text area: one UTF-16 buffer, line breaks as LF, and an
// index of its pieces, the stretches that are laid out one at a time. A piece
// is a line without its LF, or, of a line longer than kMaxPiece units, one
// part of it, so that no layout ever takes more than kMaxPiece units however
// long a line is. A long line is cut where a layout may wrap it, never inside
// a word that has room to wrap or a grapheme cluster. The index costs one
// offset a piece and is brought up to date only around an edit.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

class TextBuffer {
public:
    static constexpr size_t kMaxPiece = 2048;

    TextBuffer();

    std::u16string_view Text() const { return m_text; }
    size_t Size() const { return m_text.size(); }
    char16_t At(size_t i) const { return m_text[i]; }

    // Replaces the units [from, to) by `units`.
    void Replace(size_t from, size_t to, std::u16string_view units);
    // Takes `text` as the whole text, without copying it.
    void Assign(std::u16string&& text);

    size_t PieceCount() const { return m_starts.size(); }
    size_t PieceStart(size_t piece) const { return m_starts[piece]; }
    // The end of the piece's text, before its LF if it has one.
    size_t PieceEnd(size_t piece) const;
    std::u16string_view Piece(size_t piece) const;
    // The piece that shows the caret at `position`: a position between two
    // pieces belongs to the second, the end of the text to the last piece.
    size_t PieceAt(size_t position) const;
    // Logical lines: pieces that end a line, or the text's last one.
    size_t LineCount() const { return m_lines; }

private:
    // The start of the piece after the one that starts at `pos`, or kNoPiece
    // where that one is the text's last.
    size_t NextPiece(size_t pos) const;
    static constexpr size_t kNoPiece = size_t(-1);
    bool EndsLine(size_t piece) const;

    std::u16string m_text;
    std::vector<size_t> m_starts;
    size_t m_lines = 1;
};
