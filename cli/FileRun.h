// The files of a run replaced by a pool of jobs.
#pragma once

#include "PairCounts.h"
#include "RunPlan.h"

#include <atomic>
#include <cstdint>
#include <memory>

class CompiledMatcher;
class OrderedOutput;

struct RunTotals {
    uint64_t units = 0;
    uint64_t replacements = 0;
    PairUses uses;        // summed over the files, when the plan counts uses
    bool failed = false;  // some file failed; each was reported as it failed
    bool stopped = false; // the reader of the output went away
};

// Replaces every file of `plan`, `plan.jobs` at a time, as its mode says:
// into `output` when they share one. `bytesDone` follows the bytes read.
RunTotals ReplaceFiles(const RunPlan& plan, const std::shared_ptr<const CompiledMatcher>& matcher,
                       OrderedOutput& output, std::atomic<uint64_t>& bytesDone);
