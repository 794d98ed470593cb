#include "RangeScan.h"

#include "CompiledMatcher.h"
#include "MatchList.h"
#include "ReverseAutomaton.h"
#include "detail/MatcherCore.h"

#include <algorithm>
#include <vector>

namespace {

// Units whose longest match is worked out in one backward pass; the table
// stays within the second-level cache.
constexpr size_t kBlock = size_t(1) << 15;

// Units a forward walk may read per unit it passes, on average, before the
// scan turns to the reverse automaton.
constexpr ptrdiff_t kStepsPerUnit = 4;

// The reverse automaton from `start`, exact: at each visited position the
// longest before-string that starts there.
size_t ReverseScanRange(const Details::MatcherCore& matcher, std::u16string_view text, size_t start, size_t stop,
                        MatchList& out)
{
    const ReverseAutomaton& automaton = matcher.Reverse();
    const size_t n = text.size();
    const size_t reach = matcher.MaxBeforeLength();
    const char16_t* const units = text.data();
    const size_t block = std::min(kBlock, stop - start);
    const size_t blocks = (stop - start + block - 1) / block;

    // The backward pass is exact at a position once it has started at least
    // `reach` units to its right (RangeScan.h). A block's right edge therefore gets its
    // state from a run-in over the next `reach` units; when that would cost
    // more than the block itself, one pass from the end beforehand keeps the
    // state at every edge instead.
    std::vector<uint32_t> edgeState;
    if (blocks > 1 && reach > block / 2) {
        edgeState.resize(blocks);
        uint32_t state = ReverseAutomaton::kRoot;
        size_t k = std::min(n, stop + reach);
        for (size_t j = blocks; j-- > 0;) {
            const size_t right = std::min(stop, start + (j + 1) * block);
            while (k > right)
                state = automaton.Step(state, units[--k]);
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
        uint32_t state = ReverseAutomaton::kRoot;
        if (!edgeState.empty()) {
            state = edgeState[j];
        } else {
            for (size_t k = std::min(n, right + reach); k > right;)
                state = automaton.Step(state, units[--k]);
        }
        uint32_t* const table = reached.data();
        for (size_t k = right; k > i;) {
            --k;
            state = automaton.Step(state, units[k]);
            table[k - left] = state;
        }
        while (i < right) {
            const uint32_t found = automaton.Longest(table[i - left]);
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

} // namespace

// The forward walk from each visited position reads the units of the longest
// before-string prefix found there. On real text that is a step or two past
// what it matches; where walks keep failing deep down, the units read run
// ahead of the units passed, and once the surplus exceeds `span` the next
// `span` units are left to the reverse automaton, whose cost per unit is
// bounded. Every switch is paid for by `span` units of surplus, so the whole
// stays linear in the text plus the matched length.
size_t ScanRange(const CompiledMatcher& matcher, std::u16string_view text, size_t start, size_t stop, MatchList& out)
{
    const Details::MatcherCore& core = matcher.Core();
    if (core.Method() == ScanMethod::Reverse) {
        stop = std::min(stop, text.size());
        if (start >= stop || core.MaxBeforeLength() == 0)
            return std::max(start, stop);
        return ReverseScanRange(core, text, start, stop, out);
    }
    return ScanRange(matcher, text, start, stop, out, std::max<size_t>(kBlock * 2, matcher.MaxBeforeLength() * 4));
}

namespace {

// The forward scan with one kind of step throughout, records or the double
// array, chosen once per range.
template <bool kRecords>
size_t ForwardScanRange(const Details::MatcherCore& matcher, std::u16string_view text, size_t start, size_t stop,
                        MatchList& out, size_t switchSpan)
{
    constexpr auto Next = kRecords ? &Details::MatcherCore::NextInRecords : &Details::MatcherCore::NextInArray;
    const size_t n = text.size();
    const ptrdiff_t span = ptrdiff_t(std::max<size_t>(switchSpan, 1));
    const char16_t* const units = text.data();
    ptrdiff_t surplus = 0;
    size_t i = start;
    while (i < stop) {
        uint32_t state = matcher.First(units[i]);
        if (state == Details::MatcherCore::kNoState) {
            ++i;
            continue;
        }
        // Records are scattered over a large table: the next position's
        // first record is fetched while this walk runs. (The double array's
        // first states sit together and gain nothing from it.)
        if constexpr (kRecords) {
            if (i + 1 < n)
                matcher.Prefetch(matcher.First(units[i + 1]));
        }
        uint32_t best = matcher.PairAt(state);
        size_t end = i + 1; // of the best match
        size_t j = i + 1;
        while (j < n) {
            state = (matcher.*Next)(state, units[j]);
            if (state == Details::MatcherCore::kNoState)
                break;
            ++j;
            if (const uint32_t pair = matcher.PairAt(state)) {
                best = pair;
                end = j;
                // A walk that has matched most often ends in that match, so
                // the scan is likely to go on from here.
                if constexpr (kRecords) {
                    if (j < n)
                        matcher.Prefetch(matcher.First(units[j]));
                }
            }
        }
        size_t passed = 1;
        if (best != 0) {
            out.Push({uint32_t(i), best - 1});
            passed = end - i;
        }
        surplus = std::max<ptrdiff_t>(0, surplus + ptrdiff_t(j - i) - kStepsPerUnit * ptrdiff_t(passed));
        i += passed;
        if (surplus > span && i < stop) {
            i = ReverseScanRange(matcher, text, i, std::min(stop, i + size_t(span)), out);
            surplus = 0;
        }
    }
    return i;
}

} // namespace

size_t ScanRange(const CompiledMatcher& matcher, std::u16string_view text, size_t start, size_t stop, MatchList& out,
                 size_t switchSpan)
{
    const Details::MatcherCore& core = matcher.Core();
    stop = std::min(stop, text.size());
    if (start >= stop || core.MaxBeforeLength() == 0)
        return std::max(start, stop);
    return core.IsDoubleArray()
        ? ForwardScanRange<false>(core, text, start, stop, out, switchSpan)
        : ForwardScanRange<true>(core, text, start, stop, out, switchSpan);
}
