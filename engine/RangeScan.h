// The scan's inner loop over one stretch of a text, and the rule every way
// of scanning keeps.
//
// The rule: from a visited position the longest before-string that starts
// there becomes a match and the scan goes on behind it; with none, the next
// position is visited. Three things follow that the rest of the engine
// relies on:
//  - What happens at a position depends only on the units from there up to
//    MaxBeforeLength() further, whatever came before. So a match at least
//    that far from the end of a text is final (TextScan::ScanFront), and
//    the reverse automaton, read backwards from that far to the right of a
//    position, finds exactly the forward walk's match there (ReverseScanRange,
//    which the forward scan may hand any stretch to).
//  - Which positions are visited after a visited position depends only on
//    that position. So two scans of one text that both visit a position visit
//    the same positions from there on, and a part scanned on its own from its
//    first unit agrees with the sequential scan from the first position both
//    visit (ParallelScan.cpp joins the parts there).
//  - Every layout and scan method (MatcherLayout.h) finds the same matches.
#pragma once

#include <cstddef>
#include <string_view>

class CompiledMatcher;
class MatchList;

// Leftmost-longest matching as the plain walk does it: from `start`, at each
// visited position the longest before-string that starts there (within
// `text`, which may run on past `stop`) is pushed to `out` and skipped, else
// the position is passed by one. Stops at the first visited position not
// below `stop` and returns it. Cost: linear in stop - start plus the longest
// before-string, whatever the dictionary.
size_t ScanRange(const CompiledMatcher& matcher, std::u16string_view text, size_t start, size_t stop, MatchList& out);
// The same, handing the next `span` units to the reverse automaton whenever
// the forward walks have read `span` units more than their share.
size_t ScanRange(const CompiledMatcher& matcher, std::u16string_view text, size_t start, size_t stop, MatchList& out,
                 size_t span);
