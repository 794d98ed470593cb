// Deterministic Japanese-like data for the benchmarks and the peer comparison.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct BenchPair {
    std::u16string before;
    std::u16string after;
};

// `count` pairs with distinct before-strings of 1 to 8 units over about 5,000
// kanji and the kana, after-strings of 3 to 30 units.
std::vector<BenchPair> MakeDictionary(size_t count, uint64_t seed = 1);

// `units` code units: dictionary words mixed with other kanji, kana, ASCII,
// punctuation and line breaks.
std::u16string MakeText(const std::vector<BenchPair>& dictionary, size_t units, uint64_t seed = 2);

// As MakeText, cut into lines as prose and listings are: mostly short lines
// of 1 to 80 units, and one line in 2,000 of 50,000 to 200,000 units.
std::u16string MakeLinedText(const std::vector<BenchPair>& dictionary, size_t units, uint64_t seed = 3);

// Peak resident set size of this process so far, in bytes.
size_t PeakRssBytes();
