// What a run of velmora-replace will do, decided from the options before
// any text is read.
#pragma once

#include "Options.h"
#include "SymbolicLinks.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct RunPlan {
    enum class Mode {
        Compile,    // --compile: the dictionaries are written compiled; no text is replaced
        ToOutput,   // every text into one output, standard output or -o
        InPlace,    // each file rewritten
        IntoFolder, // each file into a file of its own under --output-dir
    };
    Mode mode = Mode::ToOutput;
    std::vector<std::string> files;         // the texts, in order; "-" is standard input
    std::vector<std::string> folderOutputs; // IntoFolder: each file's target
    std::string backupSuffix;               // InPlace: the old file is kept as path+suffix unless empty
    uint64_t totalBytes = 0;                // of the regular files, for the progress bar
    unsigned jobs = 1;                      // files replaced at the same time
    unsigned scanThreads = 1;               // threads scanning inside each file's blocks
    size_t blockBytes = 0;                  // read at a time by each job
    bool gloss = false;
    bool jsonLines = false;                 // the texts are JSON lines; `jsonField` is replaced in each
    std::string jsonField;
    bool keepBadLines = false;              // a bad JSON line is written as it came, not a failure
    std::string outputName;                 // the shared output, as messages name it
    // Standard output cannot take back what it was given: a text is checked
    // before it goes there. A file named by -o is dropped whole on any failure.
    bool checkFirst = true;
    LinkPolicy outputLinks = LinkPolicy::FollowTrusted;  // -o, --output-dir, --counts
    LinkPolicy inPlaceLinks = LinkPolicy::Replace;
    bool showProgress = false;
    bool countUses = false;
};

// The block a job reads at a time when `threads` scan it. One thread reads
// a few hundred KiB at a time, as from a pipe: larger blocks take as long
// and hold more memory. More threads share blocks of a MiB each, long enough
// for the scan and the output to be split among them and to pay for
// starting their threads.
size_t BlockBytes(unsigned threads);

// Fills `plan` from `options`; false with `error` when the output folder
// cannot take the files.
bool MakeRunPlan(const ReplaceOptions& options, RunPlan& plan, std::string& error);
