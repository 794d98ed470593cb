// The unit classes both automata index their rows by.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Details {

// Gives the `most` units with the highest `uses` (65536 counts; unit 0 is in
// no before-string) the classes 1..most in `classOf`, most used first.
// Returns the units in class order, as many as got a class; `used` is set
// to the number of units with any use.
std::vector<char16_t> ChooseUnitClasses(const std::vector<uint32_t>& uses, size_t most, std::vector<uint8_t>& classOf,
                                        size_t& used);

} // namespace Details
