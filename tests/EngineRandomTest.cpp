// Scan and the builders against an obviously correct reference on random
// small dictionaries and texts.
#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

namespace {

// At each position the longest key starting there; else copy one unit.
std::u16string Reference(const std::map<std::u16string, std::u16string>& dict, const std::u16string& text, bool gloss)
{
    std::u16string out;
    size_t i = 0;
    while (i < text.size()) {
        size_t best = 0;
        const std::u16string* value = nullptr;
        for (const auto& [key, after] : dict) {
            if (!key.empty() && key.size() > best && text.compare(i, key.size(), key) == 0) {
                best = key.size();
                value = &after;
            }
        }
        if (best == 0) {
            out += text[i++];
            continue;
        }
        if (gloss)
            out += text.substr(i, best) + u"[" + *value + u"]";
        else
            out += *value;
        i += best;
    }
    return out;
}

// The output of `text` fed to ScanFront in blocks of `block` units, each
// unsettled tail carried into the next call, as a streaming caller does.
std::u16string Streamed(Replacer& r, const std::u16string& text, size_t block, bool gloss)
{
    TextScan scan(r.Compile());
    std::u16string out, pending;
    for (size_t at = 0; at < text.size();) {
        pending += text.substr(at, block);
        at += block;
        const size_t settled = at < text.size() ? scan.ScanFront(pending) : (scan.Scan(pending), pending.size());
        scan.AppendOutput(std::u16string_view(pending).substr(0, settled), gloss, out);
        pending.erase(0, settled);
    }
    return out;
}

std::u16string RandomString(std::mt19937& rng, const std::u16string& alphabet, size_t maxLength)
{
    std::uniform_int_distribution<size_t> length(0, maxLength);
    std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
    std::u16string s(length(rng), u' ');
    for (char16_t& c : s)
        c = alphabet[pick(rng)];
    return s;
}

TEST(RandomAgainstReference, ScanAndBuild)
{
    std::mt19937 rng(20261207);
    // Small alphabets give many shared prefixes and overlaps; surrogates and
    // line breaks are ordinary units.
    const std::u16string alphabets[] = {u"ab", u"abc", u"a\r\n\xD83D\xDE00\u3042"};
    for (int round = 0; round < 4000; ++round) {
        const std::u16string& alphabet = alphabets[round % 3];
        Replacer r;
        std::map<std::u16string, std::u16string> dict;
        const int pairs = std::uniform_int_distribution<int>(0, 12)(rng);
        for (int p = 0; p < pairs; ++p) {
            const std::u16string before = RandomString(rng, alphabet, 5);
            const std::u16string after = RandomString(rng, u"XYZ", 3);
            r.AddPair(before.c_str(), after.c_str());
            if (after.empty())
                continue;
            auto [it, fresh] = dict.emplace(before, after);
            if (!fresh && !Replacer::IsAfterListed(it->second, after))
                it->second += u"; " + after;
        }
        // Some removals, mirrored in the reference.
        for (auto it = dict.begin(); it != dict.end();) {
            if (rng() % 5 == 0 && r.RemovePair(it->first.c_str(), it->second.c_str()))
                it = dict.erase(it);
            else
                ++it;
        }
        for (int t = 0; t < 3; ++t) {
            const std::u16string text = RandomString(rng, alphabet, 40);
            r.Scan(text);
            ASSERT_EQ(Narrow(r.BuildReplaced(text)), Narrow(Reference(dict, text, false))) << "round " << round;
            ASSERT_EQ(Narrow(r.BuildGlossed(text)), Narrow(Reference(dict, text, true))) << "round " << round;
            const size_t block = 1 + rng() % 8;
            ASSERT_EQ(Narrow(Streamed(r, text, block, t == 1)), Narrow(Reference(dict, text, t == 1)))
                << "round " << round << ", blocks of " << block;
        }
    }
}

} // namespace
