// The text area's buffer: its piece index, as built whole and as kept up to
// date around edits.
#include "TextBuffer.h"

#include <gtest/gtest.h>

#include <random>

namespace {

std::vector<size_t> Starts(const TextBuffer& buffer)
{
    std::vector<size_t> starts;
    for (size_t i = 0; i < buffer.PieceCount(); ++i)
        starts.push_back(buffer.PieceStart(i));
    return starts;
}

TextBuffer Made(std::u16string text)
{
    TextBuffer buffer;
    buffer.Assign(std::move(text));
    return buffer;
}

TEST(TextBuffer, PiecesAreLinesAndPartsOfLongLines)
{
    constexpr size_t max = TextBuffer::kMaxPiece;
    std::u16string pairAtCut(max - 1, u'x');
    pairAtCut += u"\xD83D\xDE00tail";
    std::u16string words;
    while (words.size() < max + 100)
        words += u"word ";
    const size_t lastWord = max - max % 5; // the last "word " that starts before the most
    // A family of four joined by ZWJ, and a kanji with its variation selector.
    const std::u16string family = u"\xD83D\xDC68\x200D\xD83D\xDC69\x200D\xD83D\xDC67\x200D\xD83D\xDC66";
    const std::u16string kanji = u"\x845B\xDB40\xDD00";
    const struct {
        const char* name;
        std::u16string text;
        std::vector<size_t> starts;
        size_t lines;
    } cases[] = {
        {"empty", u"", {0}, 1},
        {"one line", u"ab", {0}, 1},
        {"a line break at the end starts an empty last line", u"a\n", {0, 2}, 2},
        {"lines", u"a\n\nbc", {0, 2, 3}, 3},
        {"a long line in parts", std::u16string(2 * max + 5, u'x') + u"\ny", {0, max, 2 * max, 2 * max + 6}, 2},
        {"a line of exactly the most", std::u16string(max, u'x') + u"\n", {0, max + 1}, 2},
        {"no cut inside a surrogate pair", pairAtCut, {0, max - 1}, 1},
        {"a long line is cut where it may wrap", words, {0, lastWord}, 1},
        {"no cut inside an emoji sequence", std::u16string(max - 3, u'x') + family + u"x", {0, max - 3}, 1},
        {"no cut between a kanji and its selector", std::u16string(max - 1, u'x') + kanji, {0, max - 1}, 1},
    };
    for (const auto& c : cases) {
        const TextBuffer buffer = Made(c.text);
        EXPECT_EQ(Starts(buffer), c.starts) << c.name;
        EXPECT_EQ(buffer.LineCount(), c.lines) << c.name;
        EXPECT_EQ(buffer.PieceAt(buffer.Size()), buffer.PieceCount() - 1) << c.name;
    }
    const TextBuffer lines = Made(u"ab\ncd");
    EXPECT_EQ(lines.Piece(0), u"ab");
    EXPECT_EQ(lines.Piece(1), u"cd");
    EXPECT_EQ(lines.PieceAt(2), 0u) << "the end of a line is in its piece";
    EXPECT_EQ(lines.PieceAt(3), 1u);
}

// After every edit the index is the one made afresh from the same text, in
// short lines and in lines of many pieces.
TEST(TextBuffer, EditsKeepTheIndexAsIfBuiltAfresh)
{
    std::mt19937 rng(11);
    auto below = [&](size_t n) { return n == 0 ? 0 : size_t(rng() % n); };
    for (const size_t lineBreakOneIn : {6, 20000}) {
        TextBuffer buffer;
        std::u16string reference;
        for (int round = 0; round < 1500; ++round) {
            const size_t from = below(reference.size() + 1);
            const size_t to = from + below(std::min<size_t>(reference.size() - from, 3000) + 1);
            std::u16string units;
            const size_t length = below(4) == 0 ? below(3 * TextBuffer::kMaxPiece) : below(8);
            while (units.size() < length) {
                if (below(lineBreakOneIn) == 0)
                    units += u'\n';
                else if (below(6) == 0)
                    units += u"\xD83D\xDE00";
                else if (below(6) == 0)
                    units += u' ';
                else
                    units += char16_t(u'a' + below(26));
            }
            if (reference.size() > 40000)
                units.clear();
            buffer.Replace(from, to, units);
            reference.replace(from, to - from, units);
            const TextBuffer fresh = Made(reference);
            ASSERT_EQ(buffer.Text(), reference) << "round " << round;
            ASSERT_EQ(Starts(buffer), Starts(fresh)) << "round " << round;
            ASSERT_EQ(buffer.LineCount(), fresh.LineCount()) << "round " << round;
        }
    }
}

} // namespace
