// The files of a run replaced by a pool of jobs.
#pragma once

#include "Options.h"
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

// Replaces every file of `options`, `plan.jobs` at a time, into `output`
// unless the files go in place or to a folder; `bytesDone` follows the
// bytes read.
RunTotals ReplaceFiles(const ReplaceOptions& options, const RunPlan& plan,
                       const std::shared_ptr<const CompiledMatcher>& matcher, OrderedOutput& output,
                       std::atomic<uint64_t>& bytesDone);
