// The scan's inner loop over one stretch of a text.
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
