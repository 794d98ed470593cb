// The command line of velmora-replace.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

struct ReplaceOptions {
    std::vector<std::string> dictionaries; // in the order given
    bool gloss = false;
    std::vector<std::string> files;        // "-" is standard input
    std::string output;                    // -o; empty: standard output
    std::string outputDir;                 // --output-dir; empty: not given
    bool inPlace = false;
    std::string backupSuffix;              // -iSUFFIX, --in-place=SUFFIX
    bool followSymlinks = false;           // write to what a link points to, not over the link
    unsigned jobs = 0;                     // 0: one per core
    bool stats = false;
    std::string countsPath;
    bool quiet = false;
    bool jsonLines = false;                // --jsonl FIELD
    bool keepBadLines = false;
    std::string jsonField;
    std::string compileTo;                 // --compile: write the compiled dictionaries here, replace nothing
};

// Fills `options` from the command line. Returns the exit status when the
// program is to end here: after --help or --version (kExitSucceeded, text
// on `out`) or a usage error (kExitFailed, message on `err`).
std::optional<int> ParseOptions(int argc, const char* const* argv, ReplaceOptions& options, std::ostream& out,
                                std::ostream& err);
