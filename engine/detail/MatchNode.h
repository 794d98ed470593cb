// A node of the Replacer's record trie (Replacer.h describes the trie).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace Details {

// Joins a second after-string for the same before-string to the stored value.
inline constexpr std::u16string_view kAfterJoin = u"; ";

// Node links are indices into the Replacer's node array. Node 0 is the head of
// the first level, which is nobody's next or child, so 0 also means "none".
inline constexpr uint32_t kNoNode = 0;

struct MatchNode {
    uint32_t next = kNoNode;
    uint32_t child = kNoNode;
    char16_t unit = 0;
    std::u16string after;
};

} // namespace Details
