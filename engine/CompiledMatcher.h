// A read-only, cache-friendly form of the trie for scanning.
//
// The trie is serialised depth-first into one stream of 32-bit words, so that
// a node, the units of its children and a small subtree below it share a few
// cache lines. A node at offset o:
//   code[o]                  child count (bits 0-30), bit 31: a pair ends here
//   code[o + 1]              the pair's index in m_pairs, when bit 31 is set
//   then (count + 1) / 2     words holding the children's units, two to a
//                            word (low half first), sorted ascending
//   then count               words: each child's offset
// m_first maps the first code unit of a before-string straight to its node
// (0 = none; offset 0 is the root, which is never a child). Each pair's
// before- and after-string are copied into m_text, so a matcher stays valid
// while the trie it came from changes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct MatchNode;

class CompiledMatcher {
public:
    // `nodes` is the record trie, node 0 the head of the first level.
    explicit CompiledMatcher(const std::vector<MatchNode>& nodes);

    // Length of the longest before-string that starts at `text[0]` (0 for
    // none), with its pair index in `pair`. `open` tells whether the walk ran
    // into the end of `text` where a longer before-string could go on.
    size_t LongestAt(const char16_t* text, size_t length, uint32_t& pair, bool& open) const
    {
        uint32_t o = m_first[text[0]];
        if (o == 0)
            return 0;
        size_t best = 0;
        for (size_t j = 0;;) {
            const uint32_t header = m_code[o];
            const uint32_t hasPair = header >> 31;
            if (hasPair) {
                best = j + 1;
                pair = m_code[o + 1];
            }
            const uint32_t count = header & 0x7FFFFFFF;
            if (count == 0)
                break;
            if (++j == length) {
                open = true;
                break;
            }
            const uint32_t unitsAt = o + 1 + hasPair;
            const int index = Find(&m_code[unitsAt], count, text[j]);
            if (index < 0)
                break;
            o = m_code[unitsAt + (count + 1) / 2 + uint32_t(index)];
        }
        return best;
    }

    std::u16string_view Before(uint32_t pair) const
    {
        const Pair& p = m_pairs[pair];
        return {m_text.data() + p.offset, p.beforeLength};
    }

    std::u16string_view After(uint32_t pair) const
    {
        const Pair& p = m_pairs[pair];
        return {m_text.data() + p.offset + p.beforeLength, p.afterLength};
    }

private:
    struct Pair {
        size_t offset; // before-string, then after-string, in m_text
        uint32_t beforeLength;
        uint32_t afterLength;
    };

    // Unit k of a node's children: two to a word, the even one in the low half.
    static uint32_t UnitAt(const uint32_t* words, uint32_t k) { return (words[k >> 1] >> ((k & 1) * 16)) & 0xFFFF; }

    static int Find(const uint32_t* units, uint32_t count, char16_t unit)
    {
        if (count <= 16) {
            for (uint32_t k = 0; k < count; ++k)
                if (UnitAt(units, k) == unit)
                    return int(k);
            return -1;
        }
        // Branch-free lower bound: mispredicted branches cost more than the
        // few extra comparisons.
        const uint32_t total = count;
        uint32_t lo = 0;
        while (count > 1) {
            const uint32_t half = count / 2;
            lo = UnitAt(units, lo + half) < unit ? lo + half : lo;
            count -= half;
        }
        lo += UnitAt(units, lo) < unit;
        return lo < total && UnitAt(units, lo) == unit ? int(lo) : -1;
    }

    std::vector<uint32_t> m_first;
    std::vector<uint32_t> m_code;
    std::vector<Pair> m_pairs;
    std::u16string m_text;
};
