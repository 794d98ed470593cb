// What a run of velmora-replace will do, decided from the options before
// any text is read.
#pragma once

#include "Options.h"
#include "SymbolicLinks.h"

#include <cstdint>
#include <string>
#include <vector>

struct RunPlan {
    std::vector<std::string> folderOutputs; // --output-dir: each file's target; empty otherwise
    uint64_t totalBytes = 0;                // of the regular files, for the progress bar
    unsigned jobs = 1;                      // files replaced at the same time
    unsigned scanThreads = 1;               // threads scanning inside each file's blocks
    std::string outputName;                 // the shared output, as messages name it
    // Standard output cannot take back what it was given: a text is checked
    // before it goes there. A file named by -o is dropped whole on any failure.
    bool checkFirst = true;
    LinkPolicy outputLinks = LinkPolicy::FollowTrusted;  // -o, --output-dir, --counts
    LinkPolicy inPlaceLinks = LinkPolicy::Replace;
    bool showProgress = false;
    bool countUses = false;
};

// Fills `plan` from `options`; false with `error` when the output folder
// cannot take the files.
bool MakeRunPlan(const ReplaceOptions& options, RunPlan& plan, std::string& error);
