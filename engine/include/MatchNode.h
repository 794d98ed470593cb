// The records the Replacer keeps: a node of its trie and a pair as handed out.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct ReplaceEntry {
    std::u16string before;
    std::u16string after;
};

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
