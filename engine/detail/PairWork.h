// Work over a long list of pairs: how many threads share it, and how far
// ahead the pairs' scattered text is fetched.
#pragma once

#include "RunParts.h"

#include <cstddef>

namespace Details {

// `parts` when it is given (not 0); else two from 32K pairs on where a
// second core is free, one below: fewer pairs cost more to share than they
// save.
inline size_t PairParts(size_t parts, size_t count)
{
    constexpr size_t kParallelPairs = size_t(1) << 15;
    return parts != 0 ? parts : count >= kParallelPairs && UsableCores() > 1 ? 2 : 1;
}

// How many pairs ahead a pass over the list asks for a pair's text.
constexpr size_t kPairLookAhead = 16;

} // namespace Details
