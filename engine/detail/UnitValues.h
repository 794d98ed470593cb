// How many values a UTF-16 code unit takes.
#pragma once

#include <cstddef>

namespace Details {

// The first level of the trie, the root of each automaton and the unit
// classes each have a slot for every one.
inline constexpr size_t kUnitValues = size_t(1) << 16;

} // namespace Details
