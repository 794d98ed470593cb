// The end of a run: what it keeps, and what it says about itself.
#pragma once

#include "FileRun.h"
#include "Options.h"
#include "RunPlan.h"

#include <cstddef>
#include <cstdint>
#include <string>

class AtomicFile;

// Keeps the -o file in `outputFile` when every file succeeded (drops it
// otherwise) and writes the pair counts of a run that succeeded. False
// when the run failed or either cannot be written (reported here).
bool KeepOutputs(const ReplaceOptions& options, const RunPlan& plan, const RunTotals& totals,
                 AtomicFile& outputFile);

// The --stats line: files, units, replacements, times and speed.
std::string StatsLine(size_t files, const RunTotals& totals, double seconds, double loadSeconds, uint64_t bytes);
