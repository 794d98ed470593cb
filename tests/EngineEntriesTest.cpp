// Adding, joining, removing and listing pairs; the entry list and its sorts.
#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

using EntryList = std::vector<std::pair<std::u16string, std::u16string>>;

EntryList Rebuilt(Replacer& r)
{
    r.RebuildEntries();
    return Entries(r);
}

std::u16string ValueOf(Replacer& r, const std::u16string& before)
{
    for (const auto& [b, a] : Rebuilt(r))
        if (b == before)
            return a;
    return u"<none>";
}

TEST(Joins, SecondAfterIsJoinedOnce)
{
    struct Case {
        const char* name;
        Pairs pairs;
        std::u16string expected;
    } cases[] = {
        {"same pair twice", {{u"ab", u"x"}, {u"ab", u"x"}}, u"x"},
        {"two afters", {{u"ab", u"x"}, {u"ab", u"y"}}, u"x; y"},
        {"repeat of a joined piece", {{u"ab", u"x"}, {u"ab", u"y"}, {u"ab", u"y"}}, u"x; y"},
        {"repeat of the first piece", {{u"ab", u"x"}, {u"ab", u"y"}, {u"ab", u"x"}}, u"x; y"},
        {"repeat of the whole value", {{u"ab", u"x"}, {u"ab", u"y"}, {u"ab", u"x; y"}}, u"x; y"},
        {"third after", {{u"ab", u"x"}, {u"ab", u"y"}, {u"ab", u"z"}}, u"x; y; z"},
        {"piece inside a tab-split value", {{u"ab", u"p\tq"}, {u"ab", u"q"}}, u"p\tq"},
        {"part of a piece is not a piece", {{u"ab", u"xy"}, {u"ab", u"x"}}, u"xy; x"},
        {"semicolon without blank does not split", {{u"ab", u"x;y"}, {u"ab", u"y"}}, u"x;y; y"},
        {"empty after changes nothing", {{u"ab", u"x"}, {u"ab", u""}}, u"x"},
        {"empty after on a joined value", {{u"ab", u"x"}, {u"ab", u"y"}, {u"ab", u""}}, u"x; y"},
        {"case-distinct afters", {{u"ab", u"x"}, {u"ab", u"X"}}, u"x; X"},
        {"joined after twice", {{u"ab", u"w"}, {u"ab", u"x; y"}, {u"ab", u"x; y"}}, u"w; x; y"},
        {"joined after three times", {{u"ab", u"z"}, {u"ab", u"x; y"}, {u"ab", u"x; y"}, {u"ab", u"x; y"}},
         u"z; x; y"},
        {"joined on both sides", {{u"ab", u"x; y"}, {u"ab", u"y; z; x"}}, u"x; y; z"},
        {"only the unlisted pieces, in order", {{u"ab", u"x"}, {u"ab", u"q; x; p; q"}}, u"x; q; p"},
        {"tab-split pieces join with the separator", {{u"ab", u"w"}, {u"ab", u"x\ty"}}, u"w; x; y"},
        {"all pieces listed", {{u"ab", u"x; y"}, {u"ab", u"y\tx"}}, u"x; y"},
        {"empty pieces dropped", {{u"ab", u"w"}, {u"ab", u"; x; ; "}}, u"w; x"},
        {"separators only", {{u"ab", u"w"}, {u"ab", u"; "}}, u"w"},
        {"first value stored as given", {{u"ab", u"x; x; "}}, u"x; x; "},
        {"joins after a removal start afresh", {{u"ab", u"x"}, {u"ab", u"y"}, {u"ab", u"-x; y"}, {u"ab", u"y"},
                                                {u"ab", u"x"}}, u"y; x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Replacer r;
        // An after-string starting with '-' removes that value instead.
        for (const auto& [before, after] : c.pairs)
            if (after.starts_with(u'-'))
                EXPECT_TRUE(r.RemovePair(before.c_str(), after.c_str() + 1));
            else
                r.AddPair(before.c_str(), after.c_str());
        EXPECT_EQ(Narrow(ValueOf(r, u"ab")), Narrow(c.expected));
    }
}

TEST(Joins, ReloadingTheSameDictionaryIsStable)
{
    const Pairs dictionary = {{u"k", u"x"}, {u"k", u"y"}, {u"m", u"z"}};
    Replacer r;
    AddAll(r, dictionary);
    const EntryList once = Rebuilt(r);
    AddAll(r, dictionary);
    AddAll(r, dictionary);
    EXPECT_EQ(Rebuilt(r), once);

    // A saved dictionary with joined values, loaded twice onto another one
    // with joined values: the second load changes nothing; nor does adding
    // all those pairs at once.
    std::mt19937 rng(8);
    const std::u16string pieces[] = {u"x", u"y", u"z", u"x; y", u"y; z", u"", u"; ", std::u16string(u"x\0q", 3)};
    const std::u16string befores[] = {u"a", u"b", u"c", u"ab", std::u16string(u"a\0b", 3)};
    auto randomPairs = [&](size_t count) {
        Pairs out;
        for (size_t i = 0; i < count; ++i)
            out.emplace_back(befores[rng() % std::size(befores)], pieces[rng() % std::size(pieces)]);
        return out;
    };
    for (int round = 0; round < 200; ++round) {
        Replacer saved;
        AddAll(saved, randomPairs(8));
        Pairs file;
        for (const auto& pair : Rebuilt(saved))
            file.push_back(pair);
        Replacer target;
        Pairs start = randomPairs(6);
        AddAll(target, start);
        AddAll(target, file);
        const EntryList first = Rebuilt(target);
        AddAll(target, file);
        ASSERT_EQ(Rebuilt(target), first) << "round " << round;

        // The same pairs added together, in sorted order, give the same values.
        std::vector<std::pair<std::u16string_view, std::u16string_view>> all;
        for (const Pairs* part : {&start, &file, &file})
            all.insert(all.end(), part->begin(), part->end());
        Replacer together;
        together.AddPairs(all);
        target.SortByBefore();
        together.RebuildEntries();
        together.SortByBefore();
        ASSERT_EQ(Entries(together), Entries(target)) << "round " << round;
    }
}

TEST(Joins, IsAfterListedPieces)
{
    EXPECT_TRUE(Replacer::IsAfterListed(u"x", u"x"));
    EXPECT_TRUE(Replacer::IsAfterListed(u"x; y", u"x; y"));
    EXPECT_TRUE(Replacer::IsAfterListed(u"x; y\tz", u"z"));
    EXPECT_TRUE(Replacer::IsAfterListed(u"x; ; y", u"y"));
    EXPECT_FALSE(Replacer::IsAfterListed(u"x; y", u"x; "));
    EXPECT_FALSE(Replacer::IsAfterListed(u"x; y", u""));
    EXPECT_FALSE(Replacer::IsAfterListed(u"x; y", u"X"));
}

TEST(Pairs, EmptyAfterForNewBeforeStoresNothing)
{
    Replacer r;
    r.AddPair(u"ab", u"");
    EXPECT_TRUE(Rebuilt(r).empty());
    EXPECT_EQ(r.GetEntryCount(), 0);
}

TEST(Pairs, SharedPrefixKeepsBothPairs)
{
    Replacer r;
    AddAll(r, {{u"ab", u"x"}, {u"abc", u"z"}});
    const size_t nodes = r.GetNodeCount();
    EXPECT_EQ(Rebuilt(r), (EntryList{{u"ab", u"x"}, {u"abc", u"z"}}));
    r.AddPair(u"abc", u"w");
    r.AddPair(u"a", u"v");
    EXPECT_EQ(r.GetNodeCount(), nodes) << "no node is created for an existing path";
}

TEST(Pairs, RemovePairAnswers)
{
    Replacer r;
    AddAll(r, {{u"ab", u"x"}, {u"ab", u"y"}, {u"abc", u"z"}});
    EXPECT_FALSE(r.RemovePair(u"ab", u"x")) << "a piece of a joined value";
    EXPECT_FALSE(r.RemovePair(u"q", u"x")) << "path not in the trie";
    EXPECT_FALSE(r.RemovePair(u"abcd", u"")) << "path runs past the trie";
    EXPECT_FALSE(r.RemovePair(u"abc", u"Z"));
    EXPECT_EQ(Rebuilt(r).size(), 2u);
    EXPECT_TRUE(r.RemovePair(u"ab", u"x; y"));
    EXPECT_EQ(Rebuilt(r), (EntryList{{u"abc", u"z"}}));
    EXPECT_TRUE(r.RemovePair(u"a", u"")) << "a valueless node on the trie";
    EXPECT_TRUE(r.RemovePair(u"ab", u""));
    EXPECT_EQ(Rebuilt(r), (EntryList{{u"abc", u"z"}}));
}

TEST(Pairs, RemoveThenAddKeepsFirstCreationPlace)
{
    Replacer r;
    AddAll(r, {{u"b", u"1"}, {u"a", u"2"}});
    const size_t nodes = r.GetNodeCount();
    EXPECT_TRUE(r.RemovePair(u"b", u"1"));
    EXPECT_EQ(Rebuilt(r), (EntryList{{u"a", u"2"}}));
    r.AddPair(u"b", u"3");
    EXPECT_EQ(r.GetNodeCount(), nodes);
    EXPECT_EQ(Rebuilt(r), (EntryList{{u"b", u"3"}, {u"a", u"2"}}));
}

TEST(Pairs, EmptyBeforeLivesInTheRoot)
{
    Replacer r;
    r.AddPair(u"", u"x");
    r.AddPair(u"a", u"y");
    EXPECT_EQ(Rebuilt(r), (EntryList{{std::u16string(1, u'\0'), u"x"}, {u"a", u"y"}}));
    for (const Engine& engine : kEngines)
        EXPECT_EQ(Output(r, engine, u"ba", false), u"by") << engine.name;
    EXPECT_TRUE(r.RemovePair(u"", u"x"));
    EXPECT_EQ(Rebuilt(r), (EntryList{{u"a", u"y"}}));
}

TEST(Pairs, FieldsAreCutAtNul)
{
    Replacer r;
    const char16_t before[] = {u'a', u'b', 0, u'c', 0};
    const char16_t after[] = {u'x', 0, u'y', 0};
    r.AddPair(before, after);
    EXPECT_EQ(Rebuilt(r), (EntryList{{u"ab", u"x"}}));
    EXPECT_TRUE(r.RemovePair(before, after));
}

TEST(Entries, RebuildOrderFollowsCreation)
{
    Replacer r;
    EXPECT_EQ(r.GetEntryCount(), 0);
    AddAll(r, {{u"b", u"1"}, {u"a", u"2"}, {u"ba", u"3"}, {u"ab", u"4"}, {u"bb", u"5"}});
    EXPECT_EQ(r.GetEntryCount(), 0) << "entries are a snapshot";
    const EntryList expected = {{u"b", u"1"}, {u"a", u"2"}, {u"ab", u"4"}, {u"ba", u"3"}, {u"bb", u"5"}};
    EXPECT_EQ(Rebuilt(r), expected);
    EXPECT_EQ(r.GetEntryCount(), 5);
}

TEST(Entries, RebuildOrderDeeperLevels)
{
    // Per level: its entries in creation order, then the subtrees of its
    // nodes in reverse creation order.
    Replacer r;
    AddAll(r, {{u"ca", u"1"}, {u"c", u"2"}, {u"a", u"3"}, {u"cab", u"4"}, {u"cb", u"5"}, {u"ab", u"6"}, {u"caa", u"7"}});
    const EntryList expected = {{u"c", u"2"}, {u"a", u"3"}, {u"ab", u"6"}, {u"ca", u"1"}, {u"cb", u"5"},
                                {u"cab", u"4"}, {u"caa", u"7"}};
    EXPECT_EQ(Rebuilt(r), expected);
}

// The order of a plain list trie, built unit by unit as the pairs come, for
// adds in ordinal order that turn unordered part-way, with removals between:
// skipped lookups must never create a second node for a unit on a level.
TEST(Entries, RebuildOrderMatchesAListTrieWhateverTheAddOrder)
{
    struct ListNode {
        size_t next = 0, child = 0;
        char16_t unit = 0;
        bool pair = false;
    };
    std::mt19937 rng(10);
    for (int round = 0; round < 200; ++round) {
        std::vector<std::u16string> befores(size_t(rng() % 40));
        for (std::u16string& b : befores)
            for (size_t n = rng() % 5; n-- > 0;)
                b += char16_t(u'a' + rng() % 3);
        const size_t sortedPart = rng() % (befores.size() + 1);
        std::sort(befores.begin(), befores.begin() + std::ptrdiff_t(sortedPart));

        Replacer r;
        std::vector<ListNode> list(1);
        auto walk = [&](const std::u16string& b, bool create) -> size_t {
            size_t last = 0;
            for (const char16_t u : b) {
                if (list[last].child == 0) {
                    if (!create)
                        return SIZE_MAX;
                    list[last].child = list.size();
                    list.emplace_back();
                }
                size_t n = list[last].child;
                while (list[n].unit != u && list[n].next != 0)
                    n = list[n].next;
                if (list[n].unit != u) {
                    if (!create)
                        return SIZE_MAX;
                    list[n].next = list.size();
                    list.push_back({0, 0, u, false});
                    n = list.size() - 1;
                }
                last = n;
            }
            return last;
        };
        for (const std::u16string& b : befores) {
            const bool remove = rng() % 5 == 0, empty = rng() % 6 == 0;
            if (remove) {
                r.RemovePair(b.c_str(), u"v");
                if (const size_t n = walk(b, false); n != SIZE_MAX)
                    list[n].pair = false;
            } else {
                r.AddPair(b.c_str(), empty ? u"" : u"v");
                const size_t n = walk(b, true);
                list[n].pair = list[n].pair || !empty;
            }
        }
        std::vector<std::u16string> expected;
        std::vector<std::pair<size_t, std::u16string>> pending{{0, u""}};
        if (list[0].pair)
            expected.push_back(std::u16string(1, u'\0'));
        while (!pending.empty()) {
            auto [node, path] = pending.back();
            pending.pop_back();
            for (size_t n = list[node].child ? list[list[node].child].next : 0; n != 0; n = list[n].next) {
                if (list[n].pair)
                    expected.push_back(path + list[n].unit);
                pending.emplace_back(n, path + list[n].unit);
            }
        }
        std::vector<std::u16string> actual;
        for (const auto& [b, a] : Rebuilt(r))
            actual.push_back(b);
        ASSERT_EQ(actual, expected) << "round " << round;
        // Here the root and the first level's head are two nodes.
        EXPECT_EQ(r.GetNodeCount(), list.size() - (list[0].child != 0)) << "round " << round;
    }
}

TEST(Entries, RebuildDiscardsSortsAndErasures)
{
    Replacer r;
    AddAll(r, {{u"b", u"1"}, {u"a", u"2"}});
    r.RebuildEntries();
    r.SortByBefore();
    r.m_entries.erase(r.m_entries.begin());
    EXPECT_EQ(r.GetEntryCount(), 1);
    EXPECT_EQ(Rebuilt(r), (EntryList{{u"b", u"1"}, {u"a", u"2"}}));
}

TEST(Entries, SortsAreOrdinal)
{
    Replacer r;
    AddAll(r, {{u"b", u"Z"}, {u"a", u"a"}, {u"ab", u"\uFF21"}, {u"Z", u"\u3042"}, {u"\uFF21", u"A"},
               {u"\U0001F600", u"b"}, {u"\uFFFF", u"\xD800"}, {u"", u"0"}});
    r.RebuildEntries();
    r.SortByBefore();
    EntryList byBefore = Entries(r);
    const EntryList expectedBefore = {{std::u16string(1, u'\0'), u"0"}, {u"Z", u"\u3042"}, {u"a", u"a"},
                                      {u"ab", u"\uFF21"}, {u"b", u"Z"}, {u"\U0001F600", u"b"},
                                      {u"\uFF21", u"A"}, {u"\uFFFF", u"\xD800"}};
    EXPECT_EQ(byBefore, expectedBefore);

    r.SortByAfter();
    std::vector<std::u16string> afters;
    for (const auto& e : r.m_entries)
        afters.push_back(e->after);
    const std::vector<std::u16string> expectedAfter = {u"0", u"A", u"Z", u"a", u"b", u"\u3042", u"\xD800", u"\uFF21"};
    EXPECT_EQ(afters, expectedAfter);
}

TEST(Entries, WideAndDeepTriesDoNotRecurse)
{
    Replacer r;
    for (char16_t c = 1; c < 60000; ++c) {
        const char16_t key[] = {c, u'x', 0};
        r.AddPair(key, u"v");
    }
    const std::u16string deep(1 << 20, u'q');
    r.AddPair(deep.c_str(), u"deep");
    r.RebuildEntries();
    EXPECT_EQ(r.GetEntryCount(), 60000 - 1 + 1);
    r.SortByBefore();
    EXPECT_EQ(r.m_entries.back()->before.size(), 2u);
    bool found = false;
    for (const auto& e : r.m_entries)
        found = found || e->before == deep;
    EXPECT_TRUE(found);
}

} // namespace

namespace {

// RefreshEntries must leave exactly what RebuildEntries + SortByBefore leave,
// whatever happened to the list in between.
TEST(Refresh, MatchesRebuildAndSortUnderRandomEdits)
{
    std::mt19937 rng(7);
    const std::u16string alphabet = u"ab\u3042";
    auto randomString = [&](size_t maxLength) {
        std::u16string s(std::uniform_int_distribution<size_t>(0, maxLength)(rng), u' ');
        for (char16_t& c : s)
            c = alphabet[rng() % alphabet.size()];
        return s;
    };
    for (int round = 0; round < 300; ++round) {
        Replacer r;
        Replacer reference;
        for (int step = 0; step < 40; ++step) {
            const std::u16string before = randomString(4);
            const std::u16string after = randomString(2);
            switch (rng() % 6) {
            case 0:
            case 1:
            case 2:
                r.AddPair(before.c_str(), after.c_str());
                reference.AddPair(before.c_str(), after.c_str());
                break;
            case 3: {
                // Delete as the command does: RemovePair, then erase the entry.
                r.RebuildEntries();
                r.SortByBefore();
                if (r.GetEntryCount() == 0)
                    break;
                const ReplaceEntry& e = *r.m_entries[rng() % r.m_entries.size()];
                const std::u16string b = e.before[0] == u'\0' ? u"" : e.before;
                const std::u16string a = e.after;
                ASSERT_TRUE(r.RemovePair(b.c_str(), a.c_str()));
                reference.RemovePair(b.c_str(), a.c_str());
                for (auto it = r.m_entries.begin(); it != r.m_entries.end(); ++it)
                    if ((*it)->before == e.before) {
                        r.m_entries.erase(it);
                        break;
                    }
                break;
            }
            case 4:
                r.SortByAfter();
                break;
            default:
                if (!r.m_entries.empty() && rng() % 3 == 0)
                    r.m_entries.erase(r.m_entries.begin()); // by hand, not through RemovePair
                break;
            }
            if (rng() % 3 == 0) {
                r.RefreshEntries();
                reference.RebuildEntries();
                reference.SortByBefore();
                ASSERT_EQ(Entries(r), Entries(reference)) << "round " << round << " step " << step;
            }
        }
    }
}

TEST(Refresh, ManyChangesRebuildWhole)
{
    Replacer r;
    for (int i = 0; i < 5000; ++i) {
        const std::u16string key = u"k" + std::u16string(1, char16_t(0x4E00 + i));
        r.AddPair(key.c_str(), u"v");
    }
    r.AddPair(u"", u"root");
    r.RefreshEntries();
    ASSERT_EQ(r.GetEntryCount(), 5001);
    EXPECT_EQ(r.m_entries.front()->before, std::u16string(1, u'\0'));
    EXPECT_TRUE(std::is_sorted(r.m_entries.begin(), r.m_entries.end(), LessByBefore));
    r.AddPair(u"k\u4E00", u"w");
    r.RefreshEntries();
    EXPECT_EQ(r.m_entries[1]->after, u"v; w");
}

} // namespace

namespace {

TEST(Entries, SortsAgreeWithTheOrdinalComparisonOnRandomStrings)
{
    std::mt19937 rng(11);
    // Units around 0, 0xFFFF and the surrogates, many shared prefixes.
    const std::u16string alphabet = u"\x01" u"a" u"\xD800\xDFFF\xFFFF";
    for (int round = 0; round < 50; ++round) {
        Replacer r;
        for (int i = 0; i < 300; ++i) {
            std::u16string before(1 + rng() % 7, u' '), after(1 + rng() % 7, u' ');
            for (char16_t& c : before)
                c = alphabet[rng() % alphabet.size()];
            for (char16_t& c : after)
                c = alphabet[rng() % alphabet.size()];
            r.AddPair(before.c_str(), after.c_str());
        }
        r.AddPair(u"", u"\x01");
        r.RebuildEntries();
        r.SortByAfter();
        EXPECT_TRUE(std::is_sorted(r.m_entries.begin(), r.m_entries.end(), LessByAfter));
        r.SortByBefore();
        EXPECT_TRUE(std::is_sorted(r.m_entries.begin(), r.m_entries.end(), LessByBefore));
        EXPECT_EQ(r.m_entries.front()->before, std::u16string(1, u'\0'));
    }
}

} // namespace
