// One text replaced: in place, into a file of its own, or into a part of an
// output shared with the other texts.
#pragma once

#include "ByteStreams.h"
#include "StreamReplacer.h"
#include "SymbolicLinks.h"

#include <atomic>
#include <string>

class OrderedOutput;

struct FileOutcome {
    bool ok = true;
    bool stopQuietly = false; // the reader of the output went away
    std::string message;      // "FILE: reason" when not ok
    std::string note;         // "FILE: what was kept" when lines were kept as they came
    StreamResult result;
};

// Rewrites `path` through a temporary file; a text that does not change is
// left alone. With a `backupSuffix`, the old file is kept as path+suffix.
// Only a regular file is rewritten; a symbolic link is replaced by the new
// file unless `links` says to follow it.
FileOutcome ReplaceInPlace(const std::string& path, const std::string& backupSuffix, TextReplacer& replacer,
                           PairUses* uses, std::atomic<uint64_t>* progress, WriteFunction write = nullptr,
                           LinkPolicy links = LinkPolicy::Replace);

// Replaces `path` into the file `target` through a temporary file, which
// replaces `target` only when the whole text was replaced; `links` says
// what becomes of a symbolic link there.
FileOutcome ReplaceIntoFile(const std::string& path, const std::string& target, TextReplacer& replacer,
                            PairUses* uses, std::atomic<uint64_t>* progress,
                            LinkPolicy links = LinkPolicy::FollowTrusted);

// Replaces `path` ("-": standard input) into part `index` of `output`. With
// `checkFirst`, a regular file is decoded once before anything is written,
// so that a text that turns out not to decode leaves no output.
FileOutcome ReplaceToOutput(const std::string& path, size_t index, OrderedOutput& output,
                            const std::string& outputName, bool checkFirst, TextReplacer& replacer,
                            PairUses* uses, std::atomic<uint64_t>* progress);
