#include "RangeScan.h"

#include "CompiledMatcher.h"
#include "MatchList.h"

#include <algorithm>
#include <vector>

namespace {
// Units whose longest match is worked out in one backward pass; the table
// stays within the second-level cache.
constexpr size_t kBlock = size_t(1) << 15;
} // namespace

size_t ScanRange(const CompiledMatcher& matcher, std::u16string_view text, size_t start, size_t stop, MatchList& out)
{
    const size_t n = text.size();
    stop = std::min(stop, n);
    const size_t reach = matcher.MaxBeforeLength();
    if (start >= stop || reach == 0)
        return std::max(start, stop);
    const char16_t* const units = text.data();
    const size_t block = std::min(kBlock, stop - start);
    const size_t blocks = (stop - start + block - 1) / block;

    // The backward pass is exact at a position once it has started at least
    // `reach` units to its right. A block's right edge therefore gets its
    // state from a run-in over the next `reach` units; when that would cost
    // more than the block itself, one pass from the end beforehand keeps the
    // state at every edge instead.
    std::vector<uint32_t> edgeState;
    if (blocks > 1 && reach > block / 2) {
        edgeState.resize(blocks);
        uint32_t state = CompiledMatcher::kRoot;
        size_t k = std::min(n, stop + reach);
        for (size_t j = blocks; j-- > 0;) {
            const size_t right = std::min(stop, start + (j + 1) * block);
            while (k > right)
                state = matcher.Step(state, units[--k]);
            edgeState[j] = state;
        }
    }

    std::vector<uint32_t> reached(block); // the state at each position
    size_t i = start;
    for (size_t j = 0; j < blocks && i < stop; ++j) {
        const size_t left = start + j * block;
        const size_t right = std::min(stop, left + block);
        if (i >= right)
            continue; // a match ran over this whole block
        uint32_t state = CompiledMatcher::kRoot;
        if (!edgeState.empty()) {
            state = edgeState[j];
        } else {
            for (size_t k = std::min(n, right + reach); k > right;)
                state = matcher.Step(state, units[--k]);
        }
        uint32_t* const table = reached.data();
        for (size_t k = right; k > i;) {
            --k;
            state = matcher.Step(state, units[k]);
            table[k - left] = state;
        }
        while (i < right) {
            const uint32_t found = matcher.Longest(table[i - left]);
            if (found == 0) {
                ++i;
                continue;
            }
            out.Push({uint32_t(i), found - 1});
            i += matcher.BeforeLength(found - 1);
        }
    }
    return i;
}
