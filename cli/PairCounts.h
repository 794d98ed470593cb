// The --counts table: one line per pair that was used, "before TAB after TAB
// count", most used first (ties in before-string order), UTF-8. Backslash,
// TAB, CR and LF inside a field are written \\, \t, \r and \n, so that a
// before-string that spans lines stays on one line.
#pragma once

#include "StreamReplacer.h"

#include <string>

// Adds the counts of `from` to `into`.
void MergePairUses(PairUses& into, const PairUses& from);

std::string FormatPairCounts(const PairUses& uses);
