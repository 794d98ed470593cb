// Builds a CompiledMatcher's arrays in the layout chosen for it
// (CompiledMatcher.h describes the layouts), from the record trie or straight
// from sorted pairs.
#pragma once

#include "CompiledMatcher.h"
#include "MatcherLayout.h"
#include "SlotPlacer.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

struct MatchNode;

namespace Details {

class MatcherBuilder {
public:
    // Fills the empty matcher `out`.
    explicit MatcherBuilder(CompiledMatcher& out)
        : m_out(out)
    {
    }

    void Build(const std::vector<MatchNode>& nodes, MatcherLayout layout);
    void BuildSorted(const std::vector<std::pair<std::u16string_view, std::u16string_view>>& pairs,
                     MatcherLayout layout);

private:
    struct Levels {
        std::vector<uint32_t> start; // by head
        std::vector<std::pair<char16_t, uint32_t>> children;
    };
    static Levels GroupLevels(const std::vector<MatchNode>& nodes);
    // `uses`: how many nodes below the first level hold each unit.
    // Whether every unit got a class, so that a double array can be built.
    bool ChooseClasses(const std::vector<uint32_t>& uses);
    // Chooses the layout for about `states` states: a placer for a double
    // array, none for records.
    std::optional<SlotPlacer> StartLayout(MatcherLayout layout, const std::vector<uint32_t>& uses, size_t states);
    // Writes a state in the chosen layout: PutSlot with a placer, else PutState.
    void Put(SlotPlacer* placer, uint32_t slot, char16_t unit, std::vector<std::pair<char16_t, uint32_t>>& children,
             std::vector<uint32_t>& slots, std::u16string_view before, std::u16string_view after);
    void PutState(uint32_t slot, char16_t unit, std::vector<std::pair<char16_t, uint32_t>>& children,
                  std::vector<uint32_t>& slots, std::u16string_view before, std::u16string_view after);
    void PutSlot(SlotPlacer& placer, uint32_t state, char16_t unit,
                 const std::vector<std::pair<char16_t, uint32_t>>& children, std::vector<uint32_t>& states,
                 std::u16string_view before, std::u16string_view after);
    void PutPair(uint32_t state, std::u16string_view before, std::u16string_view after);
    void Finish(const SlotPlacer* placer);

    CompiledMatcher& m_out;
    uint32_t m_rowFrom = ~0u; // child count from which a state gets a row
};

} // namespace Details
