// Dictionary files: decoding, the line pattern's results, loading, saving.
#include "DictionaryReader.h"
#include "DictionaryWriter.h"
#include "FailingWrite.h"
#include "Replacer.h"
#include "TestFiles.h"
#include "UpToNul.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::string_literals;
namespace fs = std::filesystem;

namespace {

using Pairs = std::vector<std::pair<std::u16string, std::u16string>>;

// Readable failure messages for UTF-16 strings.
std::string Show(std::u16string_view s)
{
    std::string out;
    for (char16_t c : s) {
        if (c >= 0x20 && c < 0x7f && c != '\\') {
            out += char(c);
        } else {
            char buf[16];
            std::snprintf(buf, sizeof buf, "\\u%04X", unsigned(c));
            out += buf;
        }
    }
    return out;
}

std::string Show(const Pairs& pairs)
{
    std::string out;
    for (const auto& [before, after] : pairs)
        out += "[" + Show(before) + " -> " + Show(after) + "] ";
    return out;
}

std::string ShowDecoded(const std::optional<std::u16string>& text)
{
    return text ? "\"" + Show(*text) + "\"" : "(none)";
}

// The pairs the pattern finds, as found.
Pairs Parse(std::u16string_view text)
{
    Pairs pairs;
    const size_t count = ParseDictionaryText(text, [&](std::u16string_view before, std::u16string_view after) {
        pairs.emplace_back(before, after);
    });
    EXPECT_EQ(count, pairs.size());
    return pairs;
}

Pairs Entries(Replacer& r)
{
    r.RebuildEntries();
    r.SortByBefore();
    Pairs out;
    for (const auto& e : r.m_entries)
        out.emplace_back(e->before, e->after);
    return out;
}

// What the Replacer holds after AddPair of `pairs`, in that order.
Pairs Added(const Pairs& pairs)
{
    Replacer r;
    for (const auto& [before, after] : pairs)
        r.AddPair(before.c_str(), after.c_str());
    return Entries(r);
}

std::string Bytes(std::initializer_list<int> values)
{
    std::string out;
    for (int v : values)
        out += char(v);
    return out;
}

class TempDir {
public:
    TempDir()
    {
        std::string pattern = (fs::temp_directory_path() / "velmora-dict-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        m_path = pattern;
    }
    ~TempDir()
    {
        std::error_code ec;
        fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(m_path, ec);
    }
    std::string operator/(const std::string& name) const { return (m_path / name).string(); }
    const fs::path& Path() const { return m_path; }

    std::vector<std::string> Names() const { return FolderNames(m_path.string()); }

private:
    fs::path m_path;
};

mode_t Mode(const std::string& path)
{
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

// ---------------------------------------------------------------------------
// Decoding

struct DecodeCase {
    const char* name;
    std::string bytes;
    std::optional<std::u16string> text;
};

TEST(DecodeDictionaryBytes, ByteOrderMark)
{
    const DecodeCase cases[] = {
        {"empty", "", std::nullopt},
        {"one byte FF", Bytes({0xFF}), std::nullopt},
        {"one byte other", "a", std::nullopt},
        {"big-endian mark", Bytes({0xFE, 0xFF, 0x00, 'a', 0x00, '\t', 0x00, 'b', 0x00, '\n'}), std::nullopt},
        {"UTF-8 mark", Bytes({0xEF, 0xBB, 0xBF, 'a', '\t', 'b', '\n'}), std::nullopt},
        {"no mark, UTF-16LE text", Bytes({'a', 0, '\t', 0, 'b', 0, '\n', 0}), std::nullopt},
        {"no mark, ASCII", "a\tb\n", std::nullopt},
        {"mark only", Bytes({0xFF, 0xFE}), u""s},
        {"mark, then a lone byte", Bytes({0xFF, 0xFE, 0x41}), u""s},
    };
    for (const DecodeCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ShowDecoded(DecodeDictionaryBytes(c.bytes)), ShowDecoded(c.text));
    }
}

TEST(DecodeDictionaryBytes, Units)
{
    const DecodeCase cases[] = {
        {"low byte first", Bytes({0xFF, 0xFE, 0x34, 0x12}), u"\u1234"s},
        {"trailing odd byte dropped", Bytes({0xFF, 0xFE, 'A', 0, 'B'}), u"A"s},
        {"U+0000 kept", Bytes({0xFF, 0xFE, 'a', 0, 0, 0, 'b', 0}), u"a\0b"s},
        {"second mark is content", Bytes({0xFF, 0xFE, 0xFF, 0xFE}), u"\uFEFF"s},
        {"surrogate pair kept as two units", Bytes({0xFF, 0xFE, 0x3D, 0xD8, 0x00, 0xDE}), u"\xD83D\xDE00"s},
        {"lone surrogate kept", Bytes({0xFF, 0xFE, 0x00, 0xDC, 'x', 0}), u"\xDC00x"s},
        {"highest unit", Bytes({0xFF, 0xFE, 0xFF, 0xFF}), u"\uFFFF"s},
    };
    for (const DecodeCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ShowDecoded(DecodeDictionaryBytes(c.bytes)), ShowDecoded(c.text));
    }
}

// ---------------------------------------------------------------------------
// The line pattern

struct ParseCase {
    const char* name;
    std::u16string text;
    Pairs pairs; // as the pattern finds them, before any cut at U+0000
};

void RunParseCases(const std::vector<ParseCase>& cases)
{
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.name);
        SCOPED_TRACE("text: " + Show(c.text));
        EXPECT_EQ(Show(Parse(c.text)), Show(c.pairs));

        // The Replacer gets the same pairs, cut at U+0000, in the same order.
        Pairs cut;
        for (const auto& [before, after] : c.pairs)
            cut.emplace_back(UpToNul(before), UpToNul(after));
        Replacer r;
        EXPECT_EQ(ParseDictionaryText(c.text, r), c.pairs.size());
        EXPECT_EQ(Show(Entries(r)), Show(Added(cut)));
    }
}

TEST(ParseDictionaryText, LineEnds)
{
    RunParseCases({
        {"LF", u"a\tb\n", {{u"a", u"b"}}},
        {"CR LF", u"a\tb\r\n", {{u"a", u"b"}}},
        {"CR", u"a\tb\r", {{u"a", u"b"}}},
        {"blank lines after LF", u"a\tb\n\n\n", {{u"a", u"b"}}},
        {"blank lines after CR LF", u"a\tb\r\n\r\n\r\n", {{u"a", u"b"}}},
        {"two lines LF", u"a\tb\nc\td\n", {{u"a", u"b"}, {u"c", u"d"}}},
        {"two lines CR", u"a\tb\rc\td\r", {{u"a", u"b"}, {u"c", u"d"}}},
        {"mixed line ends", u"a\tb\r\nc\td\ne\tf\rg\th\n\r", {{u"a", u"b"}, {u"c", u"d"}, {u"e", u"f"}, {u"g", u"h"}}},
        {"blank lines between pairs", u"a\tb\n\r\n\nc\td\n", {{u"a", u"b"}, {u"c", u"d"}}},
    });
}

TEST(ParseDictionaryText, LastLineWithoutLineEnd)
{
    RunParseCases({
        {"single line", u"a\tb", {{u"a", u"b"}}},
        {"second line", u"a\tb\nc\td", {{u"a", u"b"}, {u"c", u"d"}}},
        {"second line after CR LF", u"a\tb\r\nc\td", {{u"a", u"b"}, {u"c", u"d"}}},
        {"with a third column", u"a\tb\tc", {{u"a", u"b"}}},
        {"with a trailing TAB", u"a\tb\t", {{u"a", u"b"}}},
        {"empty after-string", u"a\t", {}},
        {"no TAB", u"abc", {}},
        {"empty text", u"", {}},
        {"TAB-less line before it", u"c\na\tb", {{u"c\na", u"b"}}},
    });
}

TEST(ParseDictionaryText, Columns)
{
    RunParseCases({
        {"third column ignored", u"a\tb\tc\n", {{u"a", u"b"}}},
        {"empty third column", u"a\tb\t\n", {{u"a", u"b"}}},
        {"several columns", u"a\tb\tc\td\te\n", {{u"a", u"b"}}},
        {"empty column then more", u"a\tb\t\tc\n", {{u"a", u"b"}}},
    });
}

TEST(ParseDictionaryText, EmptyAfterString)
{
    RunParseCases({
        {"TAB then LF", u"a\t\nx\ty\n", {{u"x", u"y"}}},
        {"TAB then CR LF", u"a\t\r\nx\ty\r\n", {{u"x", u"y"}}},
        {"two TABs", u"a\t\tb\nx\ty\n", {{u"x", u"y"}}},
        {"alone", u"a\t\n", {}},
    });
}

TEST(ParseDictionaryText, LinesWithoutTab)
{
    RunParseCases({
        {"joins the next before-string", u"c\na\tb\n", {{u"c\na", u"b"}}},
        {"joins with CR LF", u"c\r\na\tb\r\n", {{u"c\r\na", u"b"}}},
        {"two of them", u"c\nd\na\tb\n", {{u"c\nd\na", u"b"}}},
        {"after a pair", u"x\ty\nc\na\tb\n", {{u"x", u"y"}, {u"c\na", u"b"}}},
        {"next line yields nothing", u"c\na\t\nx\ty\n", {{u"x", u"y"}}},
        {"blank line after an empty after-string", u"a\t\n\nx\ty\n", {{u"\nx", u"y"}}},
        {"same with CR LF", u"a\t\r\n\r\nx\ty\r\n", {{u"\r\nx", u"y"}}},
        {"two blank lines after an empty after-string", u"a\t\n\n\nx\ty\n", {{u"\n\nx", u"y"}}},
        {"blank lines after a pair are swallowed", u"a\tb\n\nx\ty\n", {{u"a", u"b"}, {u"x", u"y"}}},
        {"blank first line", u"\nx\ty\n", {{u"\nx", u"y"}}},
        {"blank first line, CR LF", u"\r\nx\ty\r\n", {{u"\r\nx", u"y"}}},
        {"only at the end", u"x\ty\nc\n", {{u"x", u"y"}}},
    });
}

TEST(ParseDictionaryText, LeadingTab)
{
    RunParseCases({
        {"first line", u"\tb\n", {}},
        {"first line, pair after", u"\tb\nx\ty\n", {{u"x", u"y"}}},
        {"after a pair", u"x\ty\n\tb\n", {{u"x", u"y"}}},
        {"continues TAB-less lines", u"c\n\tb\n", {{u"c\n", u"b"}}},
        {"continues two TAB-less lines", u"c\r\nd\r\n\tb\r\n", {{u"c\r\nd\r\n", u"b"}}},
    });
}

TEST(ParseDictionaryText, CharactersKept)
{
    RunParseCases({
        {"spaces around the fields", u" a \t b \n", {{u" a ", u" b "}}},
        {"ideographic spaces", u"\u3000\u3042\t\u3044\u3000\n", {{u"\u3000\u3042", u"\u3044\u3000"}}},
        {"space-only fields", u" \t \n", {{u" ", u" "}}},
        {"Japanese", u"\u6771\u4EAC\t\u3068\u3046\u304D\u3087\u3046\n", {{u"\u6771\u4EAC", u"\u3068\u3046\u304D\u3087\u3046"}}},
        {"surrogate pair", u"\xD83D\xDE00\t\xD83D\xDE01\n", {{u"\xD83D\xDE00", u"\xD83D\xDE01"}}},
        {"lone surrogates", u"a\xD800\t\xDC00z\n", {{u"a\xD800", u"\xDC00z"}}},
        {"byte-order mark as content", u"\uFEFFa\tb\n", {{u"\uFEFFa", u"b"}}},
        {"highest unit", u"\uFFFF\t\uFFFE\n", {{u"\uFFFF", u"\uFFFE"}}},
        {"join separator in the after-string", u"a\tb; c\n", {{u"a", u"b; c"}}},
        {"CR inside the before-string stays", u"a\rb\tc\n", {{u"a\rb", u"c"}}},
    });
}

TEST(ParseDictionaryText, NulUnit)
{
    RunParseCases({
        {"in both fields", u"a\0b\tc\0d\n"s, {{u"a\0b"s, u"c\0d"s}}},
        {"starting the after-string", u"a\t\0b\n"s, {{u"a", u"\0b"s}}},
        {"starting the before-string", u"\0a\tb\n"s, {{u"\0a"s, u"b"}}},
        {"whole before-string", u"\0\tb\n"s, {{u"\0"s, u"b"}}},
    });
}

TEST(ParseDictionaryText, RepeatedBeforeStrings)
{
    RunParseCases({
        {"file order kept", u"a\tb\na\tc\n", {{u"a", u"b"}, {u"a", u"c"}}},
        {"same pair twice", u"a\tb\na\tb\n", {{u"a", u"b"}, {u"a", u"b"}}},
        {"before-string on several lines", u"c\na\tb\nc\na\td\n", {{u"c\na", u"b"}, {u"c\na", u"d"}}},
    });
}

// Where a line may start: after LF, CR, form feed, U+0085, U+2028 and U+2029,
// never between CR and LF. Each case fails at the first line start (two TABs)
// so that the next line start decides.
TEST(ParseDictionaryText, LineStarts)
{
    RunParseCases({
        {"after CR alone", u"a\t\tz\rx\ty\n", {{u"x", u"y"}}},
        {"after form feed", u"a\t\tz\fx\ty\n", {{u"x", u"y"}}},
        {"after U+0085", u"a\t\tz\u0085x\ty\n", {{u"x", u"y"}}},
        {"after U+2028", u"a\t\tz\u2028x\ty\n", {{u"x", u"y"}}},
        {"after U+2029", u"a\t\tz\u2029x\ty\n", {{u"x", u"y"}}},
        {"not between CR and LF", u"a\t\tz\r\nx\ty\n", {{u"x", u"y"}}},
        {"between LF and CR", u"a\t\tz\n\rx\ty\n", {{u"\rx", u"y"}}},
        {"not after other controls", u"a\t\tz\vx\ty\n", {}},
        {"separator inside a pair's line is no line start", u"a\tb\u2028c\td\n", {{u"a", u"b\u2028c"}}},
        {"before-string over a form feed", u"c\fa\tb\n", {{u"c\fa", u"b"}}},
        // A blank line swallowed by the line end above leaves the search at a
        // TAB; the next line start is then inside the after-string.
        {"line start inside an after-string", u"x\ty\n\n\tbz\u2028xy\na\tc\n", {{u"x", u"y"}, {u"xy\na", u"c"}}},
    });
}

// ---------------------------------------------------------------------------
// Loading files

struct LoadCase {
    const char* name;
    std::string bytes;
    DictionaryLoadStatus status;
    Pairs added;
};

TEST(LoadDictionaryFile, Files)
{
    const LoadCase cases[] = {
        {"empty", "", DictionaryLoadStatus::NoBom, {}},
        {"one byte", Bytes({0xFF}), DictionaryLoadStatus::NoBom, {}},
        {"big-endian", Bytes({0xFE, 0xFF, 0, 'a', 0, '\t', 0, 'b', 0, '\n'}), DictionaryLoadStatus::NoBom, {}},
        {"UTF-8 with mark", Bytes({0xEF, 0xBB, 0xBF, 'a', '\t', 'b', '\n'}), DictionaryLoadStatus::NoBom, {}},
        {"no mark", Bytes({'a', 0, '\t', 0, 'b', 0, '\n', 0}), DictionaryLoadStatus::NoBom, {}},
        {"mark only", Bytes({0xFF, 0xFE}), DictionaryLoadStatus::Ok, {}},
        {"one pair", EncodeDictionaryBytes(u"a\tb\n"), DictionaryLoadStatus::Ok, {{u"a", u"b"}}},
        {"trailing odd byte", EncodeDictionaryBytes(u"a\tb\n") + "x", DictionaryLoadStatus::Ok, {{u"a", u"b"}}},
        {"odd byte completes nothing", EncodeDictionaryBytes(u"a\tb") + "\n", DictionaryLoadStatus::Ok, {{u"a", u"b"}}},
        {"not a dictionary", EncodeDictionaryBytes(u"hello\nworld\n"), DictionaryLoadStatus::Ok, {}},
    };
    for (const LoadCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir / "dict.txt";
        WriteBytes(path, c.bytes);
        Replacer r;
        EXPECT_EQ(LoadDictionaryFile(path, r), c.status);
        EXPECT_EQ(Show(Entries(r)), Show(Added(c.added)));
    }
}

TEST(LoadDictionaryFile, CannotOpen)
{
    TempDir dir;
    const std::string fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::pair<const char*, std::string> paths[] = {
        {"missing file", dir / "missing.txt"},
        {"missing folder", dir / "missing/dict.txt"},
        {"folder", dir.Path().string()},
        {"FIFO", fifo},
        {"empty path", ""},
        {"path holding NUL", dir / "a"s + '\0' + "b"},
    };
    for (const auto& [name, path] : paths) {
        SCOPED_TRACE(name);
        Replacer r;
        r.AddPair(u"k", u"v");
        EXPECT_EQ(LoadDictionaryFile(path, r), DictionaryLoadStatus::CannotOpen);
        EXPECT_EQ(Show(Entries(r)), Show(Pairs{{u"k", u"v"}}));
    }
}

TEST(LoadDictionaryFile, FailureLeavesTheDictionary)
{
    TempDir dir;
    WriteBytes(dir / "bad.txt", "a\tb\n");
    Replacer r;
    r.AddPair(u"k", u"v");
    EXPECT_EQ(LoadDictionaryFile(dir / "bad.txt", r), DictionaryLoadStatus::NoBom);
    EXPECT_EQ(Show(Entries(r)), Show(Pairs{{u"k", u"v"}}));
}

TEST(LoadDictionaryFile, FilesMerge)
{
    TempDir dir;
    WriteBytes(dir / "1.txt", EncodeDictionaryBytes(u"a\tb\nc\td\n"));
    WriteBytes(dir / "2.txt", EncodeDictionaryBytes(u"a\tx\ne\tf\n"));
    Replacer r;
    EXPECT_EQ(LoadDictionaryFile(dir / "1.txt", r), DictionaryLoadStatus::Ok);
    EXPECT_EQ(LoadDictionaryFile(dir / "missing.txt", r), DictionaryLoadStatus::CannotOpen);
    EXPECT_EQ(LoadDictionaryFile(dir / "2.txt", r), DictionaryLoadStatus::Ok);
    EXPECT_EQ(Show(Entries(r)), Show(Added({{u"a", u"b"}, {u"c", u"d"}, {u"a", u"x"}, {u"e", u"f"}})));
}

TEST(LoadDictionaryFile, ReadsThroughSymbolicLink)
{
    TempDir dir;
    WriteBytes(dir / "real.txt", EncodeDictionaryBytes(u"a\tb\n"));
    ASSERT_EQ(::symlink("real.txt", (dir / "link.txt").c_str()), 0);
    Replacer r;
    EXPECT_EQ(LoadDictionaryFile(dir / "link.txt", r), DictionaryLoadStatus::Ok);
    EXPECT_EQ(Show(Entries(r)), Show(Pairs{{u"a", u"b"}}));
}

// ---------------------------------------------------------------------------
// Writing

std::vector<std::unique_ptr<ReplaceEntry>> MakeEntries(const Pairs& pairs)
{
    std::vector<std::unique_ptr<ReplaceEntry>> entries;
    for (const auto& [before, after] : pairs)
        entries.push_back(std::make_unique<ReplaceEntry>(ReplaceEntry{before, after}));
    return entries;
}

TEST(BuildDictionaryText, Lines)
{
    const std::pair<Pairs, std::u16string> cases[] = {
        {{}, u""},
        {{{u"a", u"b"}}, u"a\tb\n"},
        {{{u"b", u"2"}, {u"a", u"1"}}, u"b\t2\na\t1\n"},
        {{{u" a ", u" b; c "}}, u" a \t b; c \n"},
        {{{u"\xD83D\xDE00", u"\xDC00"}}, u"\xD83D\xDE00\t\xDC00\n"},
    };
    for (const auto& [pairs, text] : cases) {
        SCOPED_TRACE(Show(pairs));
        EXPECT_EQ(Show(BuildDictionaryText(MakeEntries(pairs))), Show(text));
    }
}

TEST(EncodeDictionaryBytes, Bytes)
{
    EXPECT_EQ(EncodeDictionaryBytes(u""), Bytes({0xFF, 0xFE}));
    EXPECT_EQ(EncodeDictionaryBytes(u"a\t\u3042\n"), Bytes({0xFF, 0xFE, 'a', 0, '\t', 0, 0x42, 0x30, '\n', 0}));
}

TEST(SaveToFile, EmptyDictionary)
{
    TempDir dir;
    Replacer r;
    r.RebuildEntries();
    std::string error;
    ASSERT_TRUE(r.SaveToFile(dir / "empty.txt", &error)) << error;
    EXPECT_EQ(ReadBytes(dir / "empty.txt"), Bytes({0xFF, 0xFE}));
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"empty.txt"});
}

TEST(SaveToFile, WritesTheListOrder)
{
    TempDir dir;
    Replacer r;
    r.AddPair(u"a", u"3");
    r.AddPair(u"b", u"1");
    r.AddPair(u"c", u"2");
    r.RebuildEntries();
    r.SortByAfter();
    ASSERT_TRUE(r.SaveToFile(dir / "d.txt"));
    EXPECT_EQ(ReadBytes(dir / "d.txt"), EncodeDictionaryBytes(u"b\t1\nc\t2\na\t3\n"));

    r.SortByBefore();
    ASSERT_TRUE(r.SaveToFile(dir / "d.txt"));
    EXPECT_EQ(ReadBytes(dir / "d.txt"), EncodeDictionaryBytes(u"a\t3\nb\t1\nc\t2\n"));

    // Only what the list holds: a removed entry is not written.
    r.m_entries.erase(r.m_entries.begin());
    ASSERT_TRUE(r.SaveToFile(dir / "d.txt"));
    EXPECT_EQ(ReadBytes(dir / "d.txt"), EncodeDictionaryBytes(u"b\t1\nc\t2\n"));
}

// Random pairs free of TAB, CR and LF, with spaces, the join separator,
// surrogates (paired and lone), U+FEFF and other line separators.
Pairs RandomPairs(size_t count, uint32_t seed)
{
    static const char16_t pool[] = u" ;abcxyz\u3042\u3044\u6771\u4EAC\u3000\uFEFF\u0085\u2028\f\xD83D\xDE00\xDC00\uFFFF";
    std::mt19937 rng(seed);
    auto text = [&](size_t maxLength) {
        std::u16string s(1 + rng() % maxLength, u' ');
        for (char16_t& c : s)
            c = pool[rng() % (std::size(pool) - 1)];
        return s;
    };
    Pairs pairs;
    for (size_t i = 0; i < count; ++i)
        pairs.emplace_back(text(8), text(12));
    return pairs;
}

TEST(SaveToFile, SavedDictionaryLoadsTheSamePairs)
{
    TempDir dir;
    for (uint32_t seed = 1; seed <= 20; ++seed) {
        SCOPED_TRACE(seed);
        Replacer saved;
        for (const auto& [before, after] : RandomPairs(300, seed))
            saved.AddPair(before.c_str(), after.c_str());
        saved.RebuildEntries();
        ASSERT_TRUE(saved.SaveToFile(dir / "d.txt"));

        Replacer loaded;
        ASSERT_EQ(LoadDictionaryFile(dir / "d.txt", loaded), DictionaryLoadStatus::Ok);
        EXPECT_EQ(Show(Entries(loaded)), Show(Entries(saved)));
    }
}

TEST(SaveToFile, ReplacesAnExistingFile)
{
    TempDir dir;
    const std::string path = dir / "d.txt";
    WriteBytes(path, std::string(1000, 'x'));
    ASSERT_EQ(::chmod(path.c_str(), 0604), 0);
    Replacer r;
    r.AddPair(u"a", u"b");
    r.RebuildEntries();
    std::string error;
    ASSERT_TRUE(r.SaveToFile(path, &error)) << error;
    EXPECT_EQ(ReadBytes(path), EncodeDictionaryBytes(u"a\tb\n"));
    EXPECT_EQ(Mode(path), 0604u);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"d.txt"});
}

TEST(SaveToFile, NewFileFollowsUmask)
{
    TempDir dir;
    const mode_t old = ::umask(027);
    const bool saved = WriteTextFile(dir / "d.txt", u"a\tb\n");
    ::umask(old);
    ASSERT_TRUE(saved);
    EXPECT_EQ(Mode(dir / "d.txt"), 0640u);
}

TEST(SaveToFile, WritesThroughSymbolicLink)
{
    TempDir dir;
    WriteBytes(dir / "real.txt", "old");
    ASSERT_EQ(::symlink("real.txt", (dir / "link.txt").c_str()), 0);
    ASSERT_TRUE(WriteTextFile(dir / "link.txt", u"a\tb\n"));
    EXPECT_TRUE(fs::is_symlink(dir / "link.txt"));
    EXPECT_EQ(ReadBytes(dir / "real.txt"), EncodeDictionaryBytes(u"a\tb\n"));
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"link.txt", "real.txt"}));
}

struct FailCase {
    const char* name;
    std::string path;
    int error;
};

TEST(SaveToFile, FailureLeavesEverythingAsItWas)
{
    TempDir dir;
    WriteBytes(dir / "file", "plain");
    fs::create_directory(dir / "folder");
    WriteBytes(dir / "folder/inside", "kept");
    const FailCase cases[] = {
        {"missing folder", dir / "missing/d.txt", ENOENT},
        {"folder is a regular file", dir / "file/d.txt", ENOTDIR},
        {"target is a folder", dir / "folder", EISDIR},
        {"target ends with a slash", dir / "folder/", EISDIR},
        {"empty path", "", ENOENT},
    };
    const std::vector<std::string> before = dir.Names();
    for (const FailCase& c : cases) {
        SCOPED_TRACE(c.name);
        Replacer r;
        r.AddPair(u"a", u"b");
        r.RebuildEntries();
        std::string error;
        EXPECT_FALSE(r.SaveToFile(c.path, &error));
        EXPECT_EQ(error, c.path + ": " + std::strerror(c.error));
        EXPECT_EQ(dir.Names(), before);
        EXPECT_EQ(ReadBytes(dir / "file"), "plain");
        EXPECT_TRUE(fs::is_directory(dir / "folder"));
        EXPECT_EQ(ReadBytes(dir / "folder/inside"), "kept");
        EXPECT_EQ(fs::directory_iterator(dir / "folder")->path().filename(), "inside");
    }
}

// Nothing, root included, may create files in /proc.
TEST(SaveToFile, FolderThatCannotBeWritten)
{
    const std::string path = "/proc/version";
    const std::string old = ReadBytes(path);
    if (old == "<unreadable>")
        GTEST_SKIP() << "no " << path;
    std::string error;
    EXPECT_FALSE(WriteTextFile(path, u"a\tb\n", &error));
    EXPECT_EQ(error.rfind(path + ": ", 0), 0u) << error;
    EXPECT_EQ(ReadBytes(path), old);
}

// A write cut short, as on a full disk: the old file stays byte for byte and
// no temporary file is left behind.
TEST(SaveToFile, ShortWrite)
{
    TempDir dir;
    const std::string path = dir / "d.txt";
    const std::string old = EncodeDictionaryBytes(u"old\tcontent\n");
    WriteBytes(path, old);
    std::string error;
    EXPECT_FALSE(WriteTextFile(path, std::u16string(10000, u'x'), &error, FailingWriteAfter(4096)));
    EXPECT_EQ(error, path + ": " + std::strerror(ENOSPC));
    EXPECT_EQ(ReadBytes(path), old);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"d.txt"});
}

// Runs in a child process, which dies part-way through its save.
[[noreturn]] void KilledMidSave(const std::string& path)
{
    WriteTextFile(path, std::u16string(10000, u'x'), nullptr, [](int fd, const void* data, size_t size) -> ssize_t {
        if (::write(fd, data, std::min<size_t>(size, 4096)) > 0)
            std::raise(SIGKILL);
        return -1;
    });
    std::_Exit(1);
}

// A killed save leaves its temporary file, named after the target and the
// writer; the next save of that target removes it, while a save in progress
// (one that holds the file's lock) and other targets' files are left alone.
TEST(SaveToFileDeathTest, NextSaveRemovesTheTemporaryOfAKilledOne)
{
    TempDir dir;
    const std::string path = dir / "d.txt";
    WriteBytes(path, EncodeDictionaryBytes(u"old\tcontent\n"));
    EXPECT_EXIT(KilledMidSave(path), testing::KilledBySignal(SIGKILL), "");
    const std::vector<std::string> left = dir.Names();
    ASSERT_EQ(left.size(), 2u);
    const std::string& leftover = left[0];
    ASSERT_EQ(leftover.rfind(".d.txt.", 0), 0u) << leftover;
    const std::string killed = leftover.substr(7, leftover.find('.', 7) - 7); // the writer's process id
    ASSERT_NE(killed, std::to_string(::getpid()));

    const std::string running = ".d.txt." + std::to_string(::getpid()) + ".abcdefgh.tmp";
    const std::string otherTarget = ".e.txt." + killed + ".abcdefgh.tmp";
    WriteBytes(dir / running, "in progress");
    WriteBytes(dir / otherTarget, "someone else's");
    const int held = ::open((dir / running).c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    ASSERT_TRUE(WriteTextFile(path, u"a\tb\n"));
    ::close(held);
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{running, otherTarget, "d.txt"}));
    EXPECT_EQ(ReadBytes(path), EncodeDictionaryBytes(u"a\tb\n"));
}

// Runs in a child process, as nobody when the tests run as root (root may
// write any file).
[[noreturn]] void SaveOverReadOnly(const std::string& path, const std::string& old)
{
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
        std::_Exit(2);
    std::string error;
    const bool saved = WriteTextFile(path, u"a\tb\n", &error);
    const bool unchanged = ReadBytes(path) == old;
    const bool message = error == path + ": " + std::strerror(EACCES);
    std::fprintf(stderr, "saved=%d unchanged=%d message=%d error=%s\n", saved, unchanged, message, error.c_str());
    std::_Exit(!saved && unchanged && message ? 0 : 1);
}

// The folder would allow the rename, but the file itself is read-only.
TEST(SaveToFileDeathTest, ReadOnlyFile)
{
    TempDir dir;
    const std::string path = dir / "d.txt";
    const std::string old = EncodeDictionaryBytes(u"old\tcontent\n");
    WriteBytes(path, old);
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(dir.Path().c_str(), 65534, 65534), 0);
        ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
    }
    EXPECT_EXIT(SaveOverReadOnly(path, old), testing::ExitedWithCode(0), "saved=0 unchanged=1 message=1");
    EXPECT_EQ(ReadBytes(path), old);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"d.txt"});
}

} // namespace
