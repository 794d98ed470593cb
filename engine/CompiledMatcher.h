// A read-only automaton compiled from the trie for scanning.
//
// The scan needs, at the positions it visits, the longest before-string that
// starts there. Walking the trie afresh from every position costs the depth
// of the walk each time, which grows with the before-strings' length. Instead
// the text is read backwards through an Aho-Corasick automaton over the
// reversed before-strings: after reading text[k] (coming from the right), the
// state is the longest string text[k..e) that ends some before-string, and
// the longest before-string that starts at k is stored with that state. Each
// unit costs one transition, amortised, whatever the dictionary.
//
// States live in one stream of 32-bit words, breadth-first, so the shallow
// states that most steps touch share a few cache lines. A state at offset o:
//   code[o]        child count
//   code[o + 1]    failure state: the longest proper suffix that is a state
//   code[o + 2]    1 + the pair of the longest before-string starting here
//                  (0 for none)
//   then (count + 1) / 2 words holding the children's units, two to a word
//                  (low half first), sorted ascending
//   then count     words: each child's offset
// Offset 0 is the root; its transitions are m_rootNext, one slot per code
// unit (0 = stay at the root). Each pair's before- and after-string are
// copied into m_text, so a matcher stays valid while the trie it came from
// changes.
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

    static constexpr uint32_t kRoot = 0;

    // The state after reading `unit` in front of what `state` stands for.
    uint32_t Step(uint32_t state, char16_t unit) const
    {
        for (;;) {
            if (state == kRoot)
                return m_rootNext[unit];
            const uint32_t count = m_code[state];
            if (count != 0) {
                const int index = Find(&m_code[state + 3], count, unit);
                if (index >= 0)
                    return m_code[state + 3 + (count + 1) / 2 + uint32_t(index)];
            }
            state = m_code[state + 1];
        }
    }

    // 1 + the pair of the longest before-string that starts where `state` was
    // reached; 0 for none.
    uint32_t Longest(uint32_t state) const { return m_code[state + 2]; }

    // Length of the longest before-string (0 without pairs): a position at
    // least this far from the end of a text cannot start a match that more
    // text would change.
    size_t MaxBeforeLength() const { return m_maxBefore; }

    uint32_t BeforeLength(uint32_t pair) const { return m_pairs[pair].beforeLength; }

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

    size_t GetPairCount() const { return m_pairs.size(); }
    // Bytes held, for the benchmarks.
    size_t MemoryBytes() const;

private:
    struct Pair {
        size_t offset; // before-string, then after-string, in m_text
        uint32_t beforeLength;
        uint32_t afterLength;
    };

    // Unit k of a state's children: two to a word, the even one in the low half.
    static uint32_t UnitAt(const uint32_t* words, uint32_t k) { return (words[k >> 1] >> ((k & 1) * 16)) & 0xFFFF; }

    static int Find(const uint32_t* units, uint32_t count, char16_t unit)
    {
        if (count <= 8) {
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

    void CollectPairs(const std::vector<MatchNode>& nodes);
    void BuildAutomaton();

    std::vector<uint32_t> m_rootNext;
    std::vector<uint32_t> m_code;
    std::vector<Pair> m_pairs;
    std::u16string m_text;
    size_t m_maxBefore = 0;
};
