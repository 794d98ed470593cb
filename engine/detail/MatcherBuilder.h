// Builds a matcher's arrays in the layout chosen for it
// (MatcherCore.h describes the layouts), from the record trie or straight
// from sorted pairs.
#pragma once

#include "MatcherCore.h"
#include "MatcherLayout.h"
#include "SlotPlacer.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace Details {

struct MatchNode;

class MatcherBuilder {
public:
    // Fills the empty matcher `out`.
    explicit MatcherBuilder(MatcherCore& out)
        : m_out(out)
        , m_code(&out.m_code)
    {
    }

    void Build(const std::vector<MatchNode>& nodes, MatcherLayout layout);
    // `parts`: how many threads may share the work (0: as many as the
    // cores and the size make worthwhile); the result never depends on it.
    void BuildSorted(const std::vector<std::pair<std::u16string_view, std::u16string_view>>& pairs,
                     MatcherLayout layout, size_t parts = 0);

private:
    // The pairs [from, to) sharing the prefix of length `depth`, whose state
    // the slot `slot` (0 for the first level) leads to.
    struct Stretch {
        uint32_t from;
        uint32_t to;
        uint32_t depth;
        uint32_t slot;
    };
    struct Levels {
        std::vector<uint32_t> start; // by head
        std::vector<std::pair<char16_t, uint32_t>> children;
    };
    static Levels GroupLevels(const std::vector<MatchNode>& nodes);
    // `uses`: how many nodes below the first level hold each unit.
    // Whether every unit got a class, so that a double array can be built.
    bool ChooseClasses(const std::vector<uint32_t>& uses);
    // Chooses the layout for `uses`: whether the states form a double array.
    bool ChooseLayout(MatcherLayout layout, const std::vector<uint32_t>& uses);
    // Starts the arrays for about `states` states: a placer for a double
    // array, none for records.
    std::optional<SlotPlacer> StartArrays(size_t states);
    // Writes a state in the chosen layout: PutSlot with a placer, else PutState.
    // `pair`: 1 + the pair whose before-string ends in the state, 0 for none.
    void Put(SlotPlacer* placer, uint32_t slot, char16_t unit, std::vector<std::pair<char16_t, uint32_t>>& children,
             std::vector<uint32_t>& slots, uint32_t pair);
    void PutState(uint32_t slot, char16_t unit, std::vector<std::pair<char16_t, uint32_t>>& children,
                  std::vector<uint32_t>& slots, uint32_t pair);
    void PutSlot(SlotPlacer& placer, uint32_t state, char16_t unit,
                 const std::vector<std::pair<char16_t, uint32_t>>& children, std::vector<uint32_t>& states,
                 uint32_t pair);
    // Appends the pair to the matcher's pairs when `after` is not empty;
    // returns 1 + its number, or 0.
    uint32_t AddPair(std::u16string_view before, std::u16string_view after);
    std::u16string_view Before(size_t pair) const;
    // Numbers the pairs it meets from `number` on, noting in met[number] the pair met.
    void PutStretches(const std::vector<uint32_t>& shared, std::vector<Stretch> stack, SlotPlacer* placer,
                      uint32_t* met, uint32_t number);
    void OrderPairs(const std::vector<uint32_t>& met);
    void AppendRecords(const std::vector<uint32_t>& behind, const std::vector<Stretch>& roots);
    void AppendSlots(const std::vector<uint32_t>& behind, const SlotPlacer& placer, uint32_t ahead,
                     const std::vector<Stretch>& roots);
    // Pads and trims the arrays; `slots`: the double array's, 0 for records.
    void Finish(uint32_t slots);

    MatcherCore& m_out;
    std::vector<uint32_t>* m_code; // where PutState and PutSlot write: m_out.m_code, or a run put behind it later
    uint32_t m_rowFrom = ~0u; // child count from which a state gets a row
};

} // namespace Details
