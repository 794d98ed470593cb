// The scan's fallback for stretches where the forward walk would cost more
// than the text it passes (long before-strings sharing a prefix).
//
// It needs, at the positions it visits, the longest before-string that
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
// unit.
//
// The shallowest states, where most steps start, also get a row of complete
// transitions (failures already followed) for the units that the
// before-strings use most: m_class gives those units a class 1-255 (0 for
// the rest), and a row holds one next state per class. Such a state is named
// by its row (kDense | row), so a step from it reads no record at all.
#pragma once

#include "detail/PackedUnits.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class ReverseAutomaton {
public:
    // befores[p] is the before-string of pair p; none is empty.
    explicit ReverseAutomaton(const std::vector<std::u16string_view>& befores);

    // A state is named by its offset, or, when it has a row, by kDense | row.
    // The root always has row 0.
    static constexpr uint32_t kDense = 0x80000000u;
    static constexpr uint32_t kRoot = kDense;
    static constexpr uint32_t kClasses = 256;

    // The state after reading `unit` in front of what `state` stands for.
    uint32_t Step(uint32_t state, char16_t unit) const
    {
        const uint32_t unitClass = m_class[unit];
        if ((state & kDense) != 0 && unitClass != 0)
            return m_rows[(state & ~kDense) * kClasses + unitClass];
        return StepSparse(state, unit);
    }

    uint32_t StepSparse(uint32_t state, char16_t unit) const
    {
        return Follow(state, unit, kRoot, [this](uint32_t s) { return Record(s); });
    }

    // 1 + the pair of the longest before-string that starts where `state` was
    // reached; 0 for none.
    uint32_t Longest(uint32_t state) const
    {
        return (state & kDense) != 0 ? m_denseLongest[state & ~kDense] : m_code[state + 2];
    }

    // Bytes held, for the benchmarks.
    size_t MemoryBytes() const;

private:
    // Follows failures from `state`, named with `root` for the root and
    // `recordOf` giving each other state's offset, to the first state with a
    // child for `unit`, and returns that child (the root's: m_rootNext).
    template <class RecordOf>
    uint32_t Follow(uint32_t state, char16_t unit, uint32_t root, RecordOf recordOf) const
    {
        for (;;) {
            if (state == root)
                return m_rootNext[unit];
            const uint32_t o = recordOf(state);
            const uint32_t count = m_code[o];
            if (count != 0) {
                const int index = Details::FindUnit(&m_code[o + 3], count, unit);
                if (index >= 0)
                    return m_code[o + 3 + (count + 1) / 2 + uint32_t(index)];
            }
            state = m_code[o + 1];
        }
    }

    uint32_t Record(uint32_t state) const { return (state & kDense) != 0 ? m_denseRecord[state & ~kDense] : state; }
    void BuildAutomaton(const std::vector<std::u16string_view>& befores);
    void BuildRows(const std::vector<std::u16string_view>& befores, const std::vector<uint32_t>& statesInOrder);
    uint32_t PlainStep(uint32_t state, char16_t unit) const;

    std::vector<uint32_t> m_rootNext;
    std::vector<uint8_t> m_class;
    std::vector<uint32_t> m_rows; // row r at r * kClasses
    std::vector<uint32_t> m_denseRecord; // row -> offset
    std::vector<uint32_t> m_denseLongest; // row -> Longest()
    std::vector<uint32_t> m_code;
};
