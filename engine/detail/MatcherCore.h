// The inside of a CompiledMatcher: its states, how a scan steps through
// them, and its copy of the pairs. Only the engine reads it.
//
// The forward trie: the scan walks it from each position it visits, which on
// real text costs a step or two per position. States live in one stream of
// 32-bit words in depth-first order, so a walk down one word stays within a
// few cache lines. A state at offset o:
//   code[o]        child count
//   code[o + 1]    1 + the pair whose before-string ends here (0 for none)
//   then (count + 1) / 2 words holding the children's units, two to a word
//                  (low half first), sorted ascending
//   then count     words: each child's offset
// Offset 0 is no state. The root's transitions are m_rootNext, one slot per
// code unit.
//
// States with many children look most units up in a row instead: m_class
// gives the units that the trie uses most a class 1..m_classCount (0 for the
// rest), and such a state, marked by kRow in its count, holds
//   code[o]        kRow | the number of children without a class
//   code[o + 1]    as above
//   then m_classCount + 1 words: the child for each class (0 for none),
//                  indexed by class
//   then the children without a class, units and offsets as above.
//
// When the before-strings use at most 255 units below the first level, as
// alphabetic scripts do, every such unit has a class and the states form a
// double array instead (m_doubleArray): state s is three words
//   code[s]        base: the child for class c is the state at base + 3c
//   code[s + 1]    as above
//   code[s + 2]    the state it is the child of (0 for a state of the first
//                  level, which no step reaches)
// so a step is one add and one compare and reads one state. Placing states
// so that their children do not collide (engine/detail/SlotPlacer.h) costs
// more the more classes there are, hence the limit. A unit without a class
// reads slot 0, which is no state's child: most walks end on such a unit (a
// space behind a word), and slot 0 stays in the cache where the state's base
// would be a line of its own to wait for.
//
// The layout is chosen from the before-strings (MatcherLayout::Automatic);
// tests force each of the others so that every one is scanned. The arrays
// are built by engine/detail/MatcherBuilder.
//
// Walks that fail deep down (long before-strings sharing a prefix) would make
// the scan quadratic; where they pile up the scan switches to the reverse
// automaton (engine/ReverseAutomaton.h), built on first need.
//
// Each pair's before- and after-string are copied into m_text, so a matcher
// stays valid while the trie it came from changes.
//
// The scan reads these arrays through m_view, which points either into the
// vectors built here or into the bytes of a compiled dictionary file
// (CompiledDictionary.h), which the matcher keeps.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "MatcherLayout.h"
#include "PackedUnits.h"

class CompiledDictionaryImage;
class ReverseAutomaton;

namespace Details {

struct MatchNode;
class MatcherBuilder;

class MatcherCore {
public:
    // `nodes` is the record trie, node 0 the head of the first level.
    explicit MatcherCore(const std::vector<MatchNode>& nodes, MatcherLayout layout = MatcherLayout::Automatic,
                             ScanMethod method = ScanMethod::Automatic);
    // The same matcher as a trie holding just `sortedPairs` gives: (before,
    // after) with distinct, non-empty before-strings in ordinal order and
    // non-empty after-strings. Built by up to `parts` threads (0: as many as
    // the cores and the size make worthwhile), which never changes it.
    explicit MatcherCore(const std::vector<std::pair<std::u16string_view, std::u16string_view>>& sortedPairs,
                             MatcherLayout layout = MatcherLayout::Automatic,
                             ScanMethod method = ScanMethod::Automatic, size_t parts = 0);
    ~MatcherCore();

    static constexpr uint32_t kNoState = 0;
    // Units readable behind every before- and after-string.
    static constexpr size_t kTextPadding = 8;
    // Words readable behind every state.
    static constexpr size_t kCodePadding = 8;

    // The state for the one-unit string `unit`; kNoState when no before-string
    // starts with it.
    uint32_t First(char16_t unit) const { return m_view.rootNext[unit]; }

    // The state one unit further down; kNoState when there is none.
    uint32_t Next(uint32_t state, char16_t unit) const
    {
        return m_doubleArray ? NextInArray(state, unit) : NextInRecords(state, unit);
    }

    ScanMethod Method() const { return m_method; }

    // Which of the two below Next is; a scan may pick one for a whole text.
    bool IsDoubleArray() const { return m_doubleArray; }
    uint32_t NextInArray(uint32_t state, char16_t unit) const
    {
        const uint32_t unitClass = m_view.unitClass[unit];
        const uint32_t target = unitClass != 0 ? m_view.code[state] + 3 * unitClass : 0;
        return m_view.code[target + 2] == state ? target : kNoState;
    }
    uint32_t NextInRecords(uint32_t state, char16_t unit) const
    {
        const uint32_t* record = &m_view.code[state];
        uint32_t count = record[0];
        if (count == 1)
            return (record[2] & 0xFFFF) == unit ? record[3] : kNoState;
        const uint32_t* units = record + 2;
        if ((count & kRow) != 0) {
            const uint32_t unitClass = m_view.unitClass[unit];
            if (unitClass != 0)
                return record[2 + unitClass];
            count &= ~kRow;
            units += m_classCount + 1;
        }
        if (count == 0)
            return kNoState;
        const int index = FindUnitPadded(units, count, unit);
        return index >= 0 ? units[(count + 1) / 2 + uint32_t(index)] : kNoState;
    }

    // Starts bringing `state` into the cache for a walk soon to come.
    void Prefetch(uint32_t state) const { __builtin_prefetch(m_view.code + state); }

    // 1 + the pair whose before-string `state` spells; 0 for none.
    uint32_t PairAt(uint32_t state) const { return m_view.code[state + 1]; }

    // Length of the longest before-string (0 without pairs): a position at
    // least this far from the end of a text cannot start a match that more
    // text would change.
    size_t MaxBeforeLength() const { return m_maxBefore; }

    uint32_t BeforeLength(uint32_t pair) const { return m_view.pairs[pair].beforeLength; }

    std::u16string_view Before(uint32_t pair) const
    {
        const Pair& p = m_view.pairs[pair];
        return {m_view.text + p.offset, p.beforeLength};
    }

    std::u16string_view After(uint32_t pair) const
    {
        const Pair& p = m_view.pairs[pair];
        return {m_view.text + p.offset + p.beforeLength, p.afterLength};
    }

    // Asks for a pair's record, and (once that is at hand) for its strings,
    // ahead of the copies that read them: they lie anywhere in the matcher.
    void PrefetchPair(uint32_t pair) const { __builtin_prefetch(&m_view.pairs[pair]); }
    void PrefetchStrings(uint32_t pair) const { __builtin_prefetch(m_view.text + m_view.pairs[pair].offset); }

    size_t GetPairCount() const { return m_view.pairCount; }

    // Every before- and after-string, one behind the other.
    std::u16string_view Text() const { return {m_view.text, m_view.textSize}; }

    // The automaton over the reversed before-strings, built on the first call;
    // safe to call from several threads.
    const ReverseAutomaton& Reverse() const;

    // Bytes held, for the benchmarks (the reverse automaton only once built;
    // a compiled file's bytes included).
    size_t MemoryBytes() const;

private:
    friend class ::CompiledDictionaryImage; // reads and writes the arrays below
    friend class MatcherBuilder; // fills them

    // Laid out as a compiled dictionary file holds it: 16 bytes, little-endian.
    struct Pair {
        uint64_t offset; // before-string, then after-string, in the text
        uint32_t beforeLength;
        uint32_t afterLength;
    };

    // What a scan reads. Each array is a section of a compiled dictionary
    // file, which CompiledDictionary.cpp writes and checks: anything more the
    // scan is to read needs a section and its checks there, and a new format
    // version.
    struct View {
        const uint32_t* rootNext = nullptr; // 65536 states
        const uint8_t* unitClass = nullptr; // 65536 classes
        const uint32_t* code = nullptr;
        size_t codeSize = 0;
        const Pair* pairs = nullptr;
        size_t pairCount = 0;
        const char16_t* text = nullptr;
        size_t textSize = 0;
    };

    // A matcher over arrays that `storage` keeps alive (a compiled file's bytes).
    MatcherCore(const View& view, bool doubleArray, uint32_t classCount, size_t maxBefore,
                    std::shared_ptr<const void> storage);

    static constexpr uint32_t kRow = 0x80000000u;
    // A unit's class is one byte, and class 0 is none.
    static constexpr uint32_t kMaxClasses = 255;

    std::vector<uint32_t> m_rootNext;
    ScanMethod m_method = ScanMethod::Automatic;
    bool m_doubleArray = false;
    std::vector<uint8_t> m_class;
    uint32_t m_classCount = 0;
    std::vector<uint32_t> m_code;
    std::vector<Pair> m_pairs;
    std::u16string m_text;
    size_t m_maxBefore = 0;
    View m_view;
    std::shared_ptr<const void> m_storage; // what m_view points into, when not the vectors above

    mutable std::once_flag m_reverseOnce;
    mutable std::unique_ptr<const ReverseAutomaton> m_reverse;
};

} // namespace Details
