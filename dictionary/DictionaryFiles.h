// Dictionary files read as velmora-replace's -d options and the Python
// module's Replacer.from_files read them: any number, in order, merged as
// dropping them on the window in that order would, and compiled for scanning.
// A compiled dictionary file (CompiledDictionary.h) alone is used as it
// is; among others its pairs are merged in its place like a text file's.
#pragma once

#include <memory>
#include <string>
#include <vector>

class CompiledMatcher;

struct DictionaryFilesError {
    std::string message;      // one line, naming the file when one is at fault
    std::string path;         // the file at fault; empty when memory ran out compiling
    int systemError = 0;      // errno when the file could not be read
    bool outOfMemory = false; // reading or compiling ran out of memory
};

// Loads the files in order (compiled, UTF-16LE behind FF FE, or UTF-8) and
// compiles them. Null, with `error` set, on the first failure.
std::shared_ptr<const CompiledMatcher> LoadDictionaries(const std::vector<std::string>& paths,
                                                        DictionaryFilesError& error);
