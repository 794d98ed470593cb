#include "BenchData.h"

#include <sys/resource.h>

#include <algorithm>
#include <unordered_set>

namespace {

class Rng {
public:
    explicit Rng(uint64_t seed) : m_state(seed) {}
    uint64_t Next()
    {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    size_t Below(size_t n) { return size_t(Next() % n); }

private:
    uint64_t m_state;
};

constexpr char16_t kKanjiFirst = 0x4E00;
constexpr size_t kKanjiCount = 5000;

char16_t Kanji(Rng& rng)
{
    // Skewed towards the common part of the range, as real text is.
    const size_t a = rng.Below(kKanjiCount);
    const size_t b = rng.Below(kKanjiCount);
    return char16_t(kKanjiFirst + (a < b ? a : b));
}

char16_t Kana(Rng& rng)
{
    return rng.Below(3) ? char16_t(0x3041 + rng.Below(83)) : char16_t(0x30A1 + rng.Below(83));
}

char16_t JapaneseUnit(Rng& rng)
{
    return rng.Below(10) < 6 ? Kanji(rng) : Kana(rng);
}

size_t BeforeLength(Rng& rng)
{
    static const size_t weights[] = {0, 8, 30, 20, 18, 10, 7, 4, 3}; // lengths 1..8
    size_t pick = rng.Below(100);
    for (size_t length = 1; length <= 8; ++length) {
        if (pick < weights[length])
            return length;
        pick -= weights[length];
    }
    return 2;
}

} // namespace

std::vector<BenchPair> MakeDictionary(size_t count, uint64_t seed)
{
    Rng rng(seed);
    std::vector<BenchPair> pairs;
    pairs.reserve(count);
    std::unordered_set<std::u16string> seen;
    seen.reserve(count * 2);
    while (pairs.size() < count) {
        BenchPair pair;
        const size_t length = BeforeLength(rng);
        for (size_t i = 0; i < length; ++i)
            pair.before += JapaneseUnit(rng);
        if (!seen.insert(pair.before).second)
            continue;
        const size_t afterLength = 3 + rng.Below(28);
        for (size_t i = 0; i < afterLength; ++i) {
            const size_t kind = rng.Below(10);
            pair.after += kind == 0 ? u' ' : kind < 8 ? char16_t(u'a' + rng.Below(26)) : Kana(rng);
        }
        pairs.push_back(std::move(pair));
    }
    return pairs;
}

std::u16string MakeText(const std::vector<BenchPair>& dictionary, size_t units, uint64_t seed)
{
    Rng rng(seed);
    std::u16string text;
    text.reserve(units + 64);
    static const std::u16string punctuation = u"、。「」・（）！？ ,.";
    while (text.size() < units) {
        const size_t kind = rng.Below(100);
        if (kind < 45) {
            text += dictionary[rng.Below(dictionary.size())].before;
        } else if (kind < 85) {
            const size_t run = 1 + rng.Below(4);
            for (size_t i = 0; i < run; ++i)
                text += JapaneseUnit(rng);
        } else if (kind < 93) {
            const size_t run = 1 + rng.Below(8);
            for (size_t i = 0; i < run; ++i)
                text += char16_t(u'A' + rng.Below(58));
        } else if (kind < 99) {
            text += punctuation[rng.Below(punctuation.size())];
        } else {
            text += u'\n';
        }
    }
    text.resize(units);
    return text;
}

std::u16string MakeLinedText(const std::vector<BenchPair>& dictionary, size_t units, uint64_t seed)
{
    std::u16string text = MakeText(dictionary, units, seed);
    Rng rng(seed);
    size_t at = 0;
    while (at < text.size()) {
        const size_t line = rng.Below(2000) == 0 ? 50000 + rng.Below(150001) : 1 + rng.Below(80);
        const size_t end = std::min(text.size(), at + line);
        for (size_t i = at; i < end; ++i)
            if (text[i] == u'\n')
                text[i] = u'\u3000';
        if (end < text.size())
            text[end] = u'\n';
        at = end + 1;
    }
    return text;
}

size_t PeakRssBytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return size_t(usage.ru_maxrss) * 1024;
}
