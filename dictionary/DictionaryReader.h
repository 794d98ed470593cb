// Reading dictionary files: UTF-16LE text behind the byte-order mark FF FE,
// taken apart by one line pattern (see DictionaryLines.h).
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class Replacer;

enum class DictionaryLoadStatus {
    Ok,
    CannotOpen, // missing, unreadable, a folder or anything but a regular file
    NoBom,      // fewer than two bytes, or the first two are not FF FE
    Incomplete, // the pattern gave up or memory ran out part-way; the pairs
                // found before that were added
};

// The code units behind the byte-order mark, two bytes each, low byte first;
// a trailing odd byte is dropped and nothing else is checked. Empty optional
// when `bytes` does not start with FF FE.
std::optional<std::u16string> DecodeDictionaryBytes(std::string_view bytes);

// Receives each pair exactly as the pattern found it, U+0000 included.
using DictionaryPairSink = std::function<void(std::u16string_view before, std::u16string_view after)>;

// Finds the pairs of `text` in text order and returns how many were found.
size_t ParseDictionaryText(std::u16string_view text, const DictionaryPairSink& sink);

// The same, appending the pairs to `pairs`, which gets room for them first.
size_t ParseDictionaryText(std::u16string_view text,
                           std::vector<std::pair<std::u16string_view, std::u16string_view>>& pairs);

// The same, handing the pairs to Replacer::AddPairs, which cuts a field at its
// first U+0000 as AddPair does.
size_t ParseDictionaryText(std::u16string_view text, Replacer& replacer);

// Called before each search of the line pattern with the number of pairs found
// so far. A hook that throws ends the reading there, as a search that gives up
// does, so that tests can reach that path; there is none unless one is set.
using DictionarySearchHook = std::function<void(size_t pairsFound)>;
void SetDictionarySearchHook(DictionarySearchHook hook);

// Reads the whole file and adds its pairs to `replacer`. Nothing is added
// when the file cannot be opened or has no byte-order mark. Throws
// std::bad_alloc, with nothing added, when the file's text does not fit in
// memory.
DictionaryLoadStatus LoadDictionaryFile(const std::string& path, Replacer& replacer);
