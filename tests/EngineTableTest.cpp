// Scan and the two builders, as tables of {pairs, text, expected}.
#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

struct Case {
    const char* name;
    Pairs pairs;
    std::u16string text;
    std::u16string replaced;
    std::u16string glossed;
};

// The tables run under every engine.
class ScanTable : public testing::TestWithParam<Engine> {
protected:
    void RunCases(const std::vector<Case>& cases) const
    {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            Replacer r;
            AddAll(r, c.pairs);
            EXPECT_EQ(Narrow(Output(r, GetParam(), c.text, false)), Narrow(c.replaced));
            EXPECT_EQ(Narrow(Output(r, GetParam(), c.text, true)), Narrow(c.glossed));
        }
    }
};

INSTANTIATE_TEST_SUITE_P(EachEngine, ScanTable, testing::ValuesIn(kEngines), EngineName);

TEST_P(ScanTable, LeftmostLongest)
{
    RunCases({
        {"longer path fails, shorter match stands", {{u"ab", u"X"}, {u"abcd", u"Y"}}, u"abcx", u"Xcx", u"ab[X]cx"},
        {"failed attempt consumes nothing", {{u"abcd", u"X"}, {u"bc", u"Y"}}, u"abce", u"aYe", u"abc[Y]e"},
        {"leftmost beats longer overlapping", {{u"ab", u"X"}, {u"bcd", u"Y"}}, u"abcd", u"Xcd", u"ab[X]cd"},
        {"longest at one position", {{u"a", u"1"}, {u"ab", u"2"}, {u"abc", u"3"}}, u"abcab", u"32", u"abc[3]ab[2]"},
        {"no overlap", {{u"aa", u"X"}}, u"aaa", u"Xa", u"aa[X]a"},
        {"match at the last unit", {{u"ab", u"X"}}, u"cab", u"cX", u"cab[X]"},
        {"match never passes the end", {{u"abc", u"X"}}, u"ab", u"ab", u"ab"},
        {"whole text", {{u"apple", u"ringo"}}, u"apple", u"ringo", u"apple[ringo]"},
        {"inside a word", {{u"apple", u"ringo"}}, u"apples", u"ringos", u"apple[ringo]s"},
        {"valueless prefix node", {{u"abc", u"X"}}, u"ababc", u"abX", u"ababc[X]"},
    });
}

TEST_P(ScanTable, SinglePass)
{
    RunCases({
        {"no rescan of output", {{u"a", u"b"}, {u"b", u"c"}}, u"ab", u"bc", u"a[b]b[c]"},
        {"output holding a key", {{u"x", u"xx"}}, u"xx", u"xxxx", u"x[xx]x[xx]"},
        {"after-value longer than text", {{u"k", u"0123456789"}}, u"k", u"0123456789", u"k[0123456789]"},
    });
}

TEST_P(ScanTable, ExactUnits)
{
    RunCases({
        {"case matters", {{u"a", u"X"}}, u"A", u"A", u"A"},
        {"width matters", {{u"A", u"X"}}, u"\uFF21A", u"\uFF21X", u"\uFF21A[X]"},
        {"kana kinds differ", {{u"\u3042", u"a"}}, u"\u30A2\u3042", u"\u30A2a", u"\u30A2\u3042[a]"},
        {"CR LF kept", {{u"a", u"b"}}, u"a\r\nb\r\na", u"b\r\nb\r\nb", u"a[b]\r\nb\r\na[b]"},
        {"before with a line break", {{u"a\r\nb", u"J"}}, u"xa\r\nby", u"xJy", u"xa\r\nb[J]y"},
        {"surrogate pair matched whole", {{u"\U0001F600", u"smile"}}, u"a\U0001F600b", u"asmileb", u"a\U0001F600[smile]b"},
        {"lone high surrogate key", {{u"\xD83D", u"H"}}, u"\U0001F600", u"H\xDE00", u"\xD83D[H]\xDE00"},
        {"tabs and spaces ordinary", {{u" \t", u"_"}}, u"a \tb", u"a_b", u"a \t[_]b"},
        {"joined value is one after-string", {{u"k", u"x"}, {u"k", u"y"}}, u"k", u"x; y", u"k[x; y]"},
    });
}

TEST_P(ScanTable, Empties)
{
    RunCases({
        {"empty text", {{u"a", u"b"}}, u"", u"", u""},
        {"no pairs", {}, u"text", u"text", u"text"},
        {"empty before never matches", {{u"", u"X"}}, u"abc", u"abc", u"abc"},
        {"empty after stores nothing", {{u"a", u""}}, u"a", u"a", u"a"},
    });
}

TEST(ReplacerScan, BuilderNeedsTheScannedLength)
{
    Replacer r;
    AddAll(r, {{u"a", u"X"}});
    EXPECT_EQ(r.BuildReplaced(u"abc"), u"") << "before any scan";
    EXPECT_EQ(r.BuildReplaced(u""), u"");
    r.Scan(u"abc");
    EXPECT_EQ(r.BuildReplaced(u"ab"), u"");
    EXPECT_EQ(r.BuildGlossed(u"abcd"), u"");
    // Unmatched units come from the builder's text, matched ones from the scan.
    EXPECT_EQ(r.BuildReplaced(u"zzz"), u"Xzz");
    EXPECT_EQ(r.BuildGlossed(u"zzz"), u"a[X]zz");
}

// A compile started ahead is of the trie as it stood: a change drops it.
TEST(ReplacerScan, FinishedScanIgnoresLaterChanges)
{
    Replacer r;
    AddAll(r, {{u"a", u"X"}});
    r.Scan(u"ab");
    r.AddPair(u"a", u"Y");
    r.CompileAhead();
    std::this_thread::sleep_for(std::chrono::milliseconds(20)); // time to finish, which must not count
    r.AddPair(u"b", u"Z");
    EXPECT_EQ(r.BuildReplaced(u"ab"), u"Xb");
    EXPECT_EQ(Replaced(r, u"ab"), u"X; YZ");
    r.Scan(u"ab");
    r.AddPair(u"c", u"W");
    r.CompileAhead();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(r.RemovePair(u"a", u"X; Y"));
    EXPECT_EQ(r.BuildGlossed(u"ab"), u"a[X; Y]b[Z]");
    EXPECT_EQ(Replaced(r, u"ab"), u"aZ");
    r.CompileAhead();
    EXPECT_EQ(Replaced(r, u"abc"), u"aZW");
}

TEST(ReplacerScan, RemovedPairStopsMatchingButLongerStays)
{
    Replacer r;
    AddAll(r, {{u"ab", u"x"}, {u"ab", u"y"}, {u"abc", u"z"}});
    EXPECT_FALSE(r.RemovePair(u"ab", u"x"));
    EXPECT_EQ(Replaced(r, u"ab abc"), u"x; y z");
    EXPECT_TRUE(r.RemovePair(u"ab", u"x; y"));
    EXPECT_EQ(Replaced(r, u"ab abc"), u"ab z");
    r.AddPair(u"ab", u"w");
    EXPECT_EQ(Replaced(r, u"ab abc"), u"w z");
}

TEST_P(ScanTable, ManyDistinctFirstUnitsAndLongKeys)
{
    Replacer r;
    for (char16_t c = 0x4E00; c < 0x4E00 + 6000; ++c) {
        const char16_t key[] = {c, 0};
        r.AddPair(key, u"k");
    }
    std::u16string longKey(200000, u'a');
    r.AddPair(longKey.c_str(), u"L");
    const std::u16string text = u"\u4E00" + longKey + u"a\u5000";
    EXPECT_EQ(Output(r, GetParam(), text, false), u"kLak");
}

} // namespace
