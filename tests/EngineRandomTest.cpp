// Scan and the builders against an obviously correct reference on random
// small dictionaries and texts.
#include "EngineTestSupport.h"
#include "CompiledDictionary.h"
#include "CompiledMatcher.h"
#include "MatchList.h"
#include "RangeScan.h"
#include "RunParts.h"
#include "detail/MatcherCore.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <random>
#include <thread>
#include <vector>

namespace {

// (start, length) of every match.
using Spans = std::vector<std::pair<size_t, size_t>>;

// The scan with the reverse automaton taking over after every `span` units of
// deep failing walks, as it does on long shared prefixes.
Spans ForcedReverse(const CompiledMatcher& matcher, const std::u16string& text, size_t span)
{
    MatchList list;
    ScanRange(matcher, text, 0, text.size(), list, span);
    Spans spans;
    list.ForEach([&](const FoundMatch& m) { spans.emplace_back(m.start, matcher.Before(m.pair).size()); });
    return spans;
}

Spans Matches(const TextScan& scan)
{
    Spans spans;
    scan.ForEachMatch([&](size_t start, std::u16string_view before, std::u16string_view) {
        spans.emplace_back(start, before.size());
    });
    return spans;
}

// At each position the longest key starting there; else copy one unit.
std::u16string Reference(const std::map<std::u16string, std::u16string>& dict, const std::u16string& text, bool gloss)
{
    std::u16string out;
    size_t i = 0;
    while (i < text.size()) {
        size_t best = 0;
        const std::u16string* value = nullptr;
        // The keys that begin with this unit follow one another.
        for (auto it = dict.lower_bound(text.substr(i, 1)); it != dict.end() && it->first[0] == text[i]; ++it) {
            const std::u16string& key = it->first;
            if (key.size() > best && text.compare(i, key.size(), key) == 0) {
                best = key.size();
                value = &it->second;
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
std::u16string Streamed(const std::shared_ptr<const CompiledMatcher>& matcher, const std::u16string& text,
                        size_t block, bool gloss)
{
    TextScan scan(matcher);
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

// Long runs of one unit with a short tail: before-strings that share long
// prefixes ('a' x k + 'b') and texts that follow them deep and then fail.
std::u16string RunString(std::mt19937& rng, size_t maxRun, size_t maxTail, size_t pieces)
{
    std::u16string s;
    for (size_t p = 0; p < pieces; ++p) {
        s.append(rng() % (maxRun + 1), u'a');
        s += RandomString(rng, u"abc", maxTail);
    }
    return s;
}

class RandomAgainstReference : public testing::TestWithParam<Engine> {};
INSTANTIATE_TEST_SUITE_P(EachEngine, RandomAgainstReference, testing::ValuesIn(kEngines), EngineName);

TEST_P(RandomAgainstReference, ScanAndBuild)
{
    std::mt19937 rng(20261207);
    // Small alphabets give many shared prefixes and overlaps; surrogates and
    // line breaks are ordinary units. Then long shared prefixes, and many
    // pairs over units from all over the range, in texts made of pieces of
    // their before-strings: 191 units (a double array) or 285. Texts also
    // hold a unit no before-string has.
    std::u16string wide = u"\xD83D\xDE00\xFFFF", wider;
    for (char16_t u = 0x21; u < 0x7F; ++u) {
        wide += {u, char16_t(u + 0x3000)};
        wider += char16_t(u + 0x4E00);
    }
    wider = wide + wider;
    const std::u16string alphabets[] = {u"ab", u"abc", u"a\r\n\xD83D\xDE00\u3042", u"", wide,
                                        u"ab", u"abc", u"a\r\n\xD83D\xDE00\u3042", u"", wider};
    for (int round = 0; round < 5000; ++round) {
        const std::u16string& alphabet = alphabets[round % 10];
        const bool runs = alphabet.empty(), many = alphabet.size() > 100;
        Replacer r;
        std::map<std::u16string, std::u16string> dict;
        std::vector<std::u16string> befores;
        const int pairs = std::uniform_int_distribution<int>(0, many ? 3000 : 12)(rng);
        for (int p = 0; p < pairs; ++p) {
            const std::u16string before = runs ? RunString(rng, 30, 1, 1) : RandomString(rng, alphabet, 5);
            befores.push_back(before);
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
        const auto matcher = r.Compile(GetParam().layout, GetParam().method);
        for (int t = 0; t < 3; ++t) {
            std::u16string text = runs ? RunString(rng, 40, 2, 4) : RandomString(rng, alphabet + u'\x7F', 40);
            for (size_t piece = 0; many && !befores.empty() && piece < 12; ++piece) {
                const std::u16string& before = befores[rng() % befores.size()];
                text += before.substr(0, before.size() - rng() % 2) + RandomString(rng, alphabet, 1);
            }
            TextScan scan(matcher);
            scan.Scan(text);
            ASSERT_EQ(Narrow(scan.BuildReplaced(text)), Narrow(Reference(dict, text, false))) << "round " << round;
            ASSERT_EQ(Narrow(scan.BuildGlossed(text)), Narrow(Reference(dict, text, true))) << "round " << round;
            r.Scan(text);
            ASSERT_EQ(Narrow(r.BuildReplaced(text)), Narrow(scan.BuildReplaced(text))) << "round " << round;
            ASSERT_EQ(ForcedReverse(*matcher, text, 1 + rng() % 4), Matches(scan)) << "round " << round;
            const size_t block = 1 + rng() % 8;
            ASSERT_EQ(Narrow(Streamed(matcher, text, block, t == 1)), Narrow(Reference(dict, text, t == 1)))
                << "round " << round << ", blocks of " << block;
        }
    }
}

// A matcher compiled straight from the pairs scans as the one compiled from
// a Replacer given the same pairs: joins, empty and cut fields, long shared
// prefixes, and a 60-unit alphabet (a double array unless another layout is
// forced) next to 300 units all behind 'a' (records, with a row in that
// state). So does that matcher written to a compiled dictionary and read
// back, in the layout it was built in. Some lists are long enough to be
// sorted in parallel; those are also added pair by pair, whose joins keep
// the order the pairs came in. Sorted and built on two threads, every list
// gives the same file as on one. A line break now and then, in a before- or
// an after-string, is told apart as velmora-replace's warning needs it.
TEST_P(RandomAgainstReference, CompiledFromPairs)
{
    std::mt19937 rng(31);
    std::mt19937 breaks(5); // apart, so that the other strings stay as they were
    std::u16string wide, widest;
    for (char16_t u = u'A'; u < u'A' + 60; ++u)
        wide += u;
    for (char16_t u = 0x4E00; u < 0x4E00 + 300; ++u)
        widest += u;
    const std::u16string alphabets[] = {u"ab", u"abc", wide, u"", widest};
    for (int round = 0; round < 600; ++round) {
        const std::u16string& alphabet = alphabets[round % 5];
        const bool runs = alphabet.empty(), rows = alphabet.size() > 255;
        std::vector<std::u16string> strings;
        const bool longList = round % 100 == 2;
        const int count = longList ? 40000 : std::uniform_int_distribution<int>(0, alphabet.size() > 3 ? 3000 : 12)(rng);
        for (int p = 0; p < count; ++p) {
            std::u16string before = runs ? RunString(rng, 30, 1, 1)
                : rows && p % 2 ? u'a' + RandomString(rng, alphabet, 3)
                                : RandomString(rng, alphabet, 5);
            if (rng() % 20 == 0)
                before.insert(before.size() / 2, 1, u'\0');
            strings.push_back(before);
            strings.push_back(rng() % 6 == 0 ? u"" : RandomString(rng, u"XY", 2) + (rng() % 4 == 0 ? u"; Z" : u""));
        }
        if (!strings.empty() && breaks() % 4 == 0) {
            std::u16string& s = strings[breaks() % strings.size()];
            s.insert(breaks() % (s.size() + 1), 1, breaks() % 2 ? u'\n' : u'\r');
        }
        std::vector<std::pair<std::u16string_view, std::u16string_view>> pairs;
        for (size_t k = 0; k < strings.size(); k += 2)
            pairs.emplace_back(strings[k], strings[k + 1]);
        Replacer r;
        r.AddPairs(pairs);
        const auto compiled = Replacer::CompilePairs(pairs, GetParam().layout, GetParam().method);
        bool lineBreak = false;
        for (uint32_t p = 0; p < compiled->GetPairCount(); ++p)
            lineBreak |= compiled->Before(p).find_first_of(u"\r\n") != std::u16string_view::npos;
        ASSERT_EQ(compiled->BeforeHoldsLineBreak(), lineBreak) << "round " << round;
        const MatcherLayout layout = GetParam().layout;
        if (layout == MatcherLayout::Records || layout == MatcherLayout::Rows) {
            ASSERT_FALSE(compiled->Core().IsDoubleArray());
        } else if (layout == MatcherLayout::DoubleArray && !rows) {
            ASSERT_TRUE(compiled->Core().IsDoubleArray());
        }
        const std::string bytes = CompiledDictionary::ToBytes(*compiled);
        ASSERT_EQ(CompiledDictionary::ToBytes(*Replacer::CompilePairs(pairs, layout, GetParam().method, 1)), bytes);
        ASSERT_EQ(CompiledDictionary::ToBytes(*Replacer::CompilePairs(pairs, layout, GetParam().method, 2)), bytes);
        std::string error;
        const auto read = CompiledDictionary::FromBytes(bytes, error);
        ASSERT_TRUE(read) << error << ", round " << round;
        ASSERT_EQ(read->Core().IsDoubleArray(), compiled->Core().IsDoubleArray());
        Replacer oneByOne;
        if (longList)
            for (const auto& [before, after] : pairs)
                oneByOne.AddPair(std::u16string(before).c_str(), std::u16string(after).c_str());
        TextScan fromTrie(r.Compile()), fromPairs(compiled), fromFile(read), added(oneByOne.Compile());
        for (int t = 0; t < 3; ++t) {
            std::u16string text = runs ? RunString(rng, 40, 2, 4) : RandomString(rng, alphabet, 60);
            if (rows)
                text += u'a' + RandomString(rng, alphabet, 3);
            fromTrie.Scan(text);
            fromPairs.Scan(text);
            fromFile.Scan(text);
            ASSERT_EQ(Narrow(fromPairs.BuildGlossed(text)), Narrow(fromTrie.BuildGlossed(text))) << "round " << round;
            ASSERT_EQ(Narrow(fromFile.BuildGlossed(text)), Narrow(fromTrie.BuildGlossed(text))) << "round " << round;
            ASSERT_EQ(Narrow(fromFile.BuildReplaced(text)), Narrow(fromTrie.BuildReplaced(text))) << "round " << round;
            ASSERT_EQ(ForcedReverse(*read, text, 1 + rng() % 4), Matches(fromTrie)) << "round " << round;
            if (longList) {
                added.Scan(text);
                ASSERT_EQ(Narrow(added.BuildGlossed(text)), Narrow(fromTrie.BuildGlossed(text))) << "round " << round;
            }
        }
    }
}

// A long text split among threads at every position near where a match
// starts or ends gives the sequential scan's matches, and the same settled
// front of a stream; so does one that
// crosses the scan's internal blocks with before-strings longer than them.
class ParallelScan : public testing::TestWithParam<Engine> {};
INSTANTIATE_TEST_SUITE_P(EachEngine, ParallelScan, testing::ValuesIn(kEngines), EngineName);

TEST_P(ParallelScan, SameAsSequential)
{
    std::mt19937 rng(77);
    for (int round = 0; round < 40; ++round) {
        Replacer r;
        for (int p = 0; p < 8; ++p)
            r.AddPair(RunString(rng, round % 2 ? 12 : 3, 2, 1).c_str(), u"X");
        const std::u16string text = RunString(rng, 20, 3, 12);
        r.Scan(text);
        const std::u16string expected = r.BuildGlossed(text);
        TextScan scan(r.Compile(GetParam().layout, GetParam().method));
        const size_t settled = scan.ScanFront(text);
        const std::u16string settledOutput = scan.BuildGlossed(text.substr(0, settled));
        for (size_t cut = 0; cut <= text.size(); ++cut) {
            const std::vector<size_t> cuts = {cut, std::min(text.size(), cut + 1 + cut % 5)};
            scan.ScanSplit(text, cuts);
            ASSERT_EQ(Narrow(scan.BuildGlossed(text)), Narrow(expected)) << "round " << round << ", cut " << cut;
            ASSERT_EQ(scan.ScanFront(text, cuts), settled) << "round " << round << ", cut " << cut;
            ASSERT_EQ(Narrow(scan.BuildGlossed(text.substr(0, settled))), Narrow(settledOutput))
                << "round " << round << ", cut " << cut;
            // Built part by part, on the threads that scanned them.
            for (const bool whole : {false, true}) {
                std::vector<TextScan::OutputPart> parts;
                ASSERT_EQ(scan.ScanAndBuild(text, cuts, whole, true, parts), whole ? text.size() : settled);
                std::u16string joined;
                bool changed = false;
                for (const TextScan::OutputPart& part : parts) {
                    joined.append(part.units, 0, part.size);
                    changed = changed || part.changed;
                }
                ASSERT_EQ(Narrow(joined), Narrow(whole ? expected : settledOutput))
                    << "round " << round << ", cut " << cut;
                ASSERT_EQ(changed, joined != text.substr(0, whole ? text.size() : settled));
            }
        }
    }
    for (const size_t k : {100, 40000}) {
        std::map<std::u16string, std::u16string> dict = {
            {std::u16string(k, u'a') + u'b', u"L"}, {u"a", u"1"}, {u"aa", u"2"}, {u"ab", u"3"}};
        Replacer r;
        for (const auto& [before, after] : dict)
            r.AddPair(before.c_str(), after.c_str());
        // At k = 100 more matches than two of the scan's full match blocks hold.
        const size_t length = k == 100 ? 700000 : 150000;
        std::u16string text;
        while (text.size() < length)
            text += std::u16string(rng() % 60 == 0 ? k + rng() % 3 : rng() % 50, u'a') + u'b';
        const std::u16string expected = Reference(dict, text, false);
        r.Scan(text);
        ASSERT_EQ(r.BuildReplaced(text), expected) << "k " << k;
        TextScan scan(r.Compile(GetParam().layout, GetParam().method));
        scan.ScanSplit(text, {k / 2, 70000, 70001 + k});
        ASSERT_EQ(scan.BuildReplaced(text), expected) << "k " << k;
    }
}

// A part that fails, here as when memory runs out inside it, fails the whole
// run once every part has ended, instead of ending the process.
TEST(RunParts, PartsThatThrowAreReportedAfterAllEnd)
{
    std::vector<int> ran(4, 0);
    EXPECT_THROW(RunParts(4, [&](size_t p) {
                     ran[p] = 1;
                     if (p == 0 || p == 2)
                         throw std::bad_alloc();
                 }),
                 std::bad_alloc);
    EXPECT_EQ(ran, std::vector<int>(4, 1));
}

// Runs one after another, runs inside a part and runs from several threads
// at once each run every part exactly once.
TEST(RunParts, EveryPartRunsOnceHoweverRunsMeet)
{
    constexpr size_t kParts = 5;
    auto runNested = [](std::vector<std::atomic<int>>& counts) {
        RunParts(kParts, [&](size_t p) {
            counts[p * (kParts + 1)]++;
            RunParts(kParts, [&](size_t q) { counts[p * (kParts + 1) + 1 + q]++; });
        });
    };
    std::vector<std::thread> callers;
    std::vector<std::vector<std::atomic<int>>> counts(3);
    for (auto& c : counts)
        c = std::vector<std::atomic<int>>(kParts * (kParts + 1));
    for (int round = 0; round < 50; ++round) {
        for (size_t t = 1; t < counts.size(); ++t)
            callers.emplace_back(runNested, std::ref(counts[t]));
        runNested(counts[0]);
        for (std::thread& caller : callers)
            caller.join();
        callers.clear();
    }
    for (const auto& c : counts)
        for (const std::atomic<int>& n : c)
            ASSERT_EQ(n.load(), 50);
}

} // namespace
