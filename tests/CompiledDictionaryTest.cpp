// Compiled dictionary files that are cut short, damaged, of another version
// or byte order, or made to pass the checksum with a broken inside: every one
// is refused with a message, or (a change the checks cannot tell from a
// real dictionary) scans without reading out of bounds.
#include "EngineTestSupport.h"
#include "CompiledDictionary.h"
#include "CompiledMatcher.h"
#include "detail/MatcherCore.h"

#include <gtest/gtest.h>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <random>

namespace {

// The dictionary in `layout`; with rows, over more than 255 units, so that
// the row of "a" leaves some of its children without a class.
std::string FileBytes(MatcherLayout layout)
{
    std::vector<std::u16string> befores = {u"ab", u"abc", u"b", u"bcd", u"ca"};
    if (layout == MatcherLayout::Rows)
        for (char16_t u = 0x4E00; u < 0x4E00 + 300; ++u)
            befores.push_back(std::u16string(u"a") + u + u'x');
    std::vector<std::pair<std::u16string_view, std::u16string_view>> pairs;
    for (const std::u16string& before : befores)
        pairs.emplace_back(before, u"Z");
    const auto matcher = Replacer::CompilePairs(pairs, layout);
    EXPECT_EQ(matcher->Core().IsDoubleArray(), layout == MatcherLayout::DoubleArray);
    return CompiledDictionary::ToBytes(*matcher);
}

// Where section `id` (1 roots, 3 states, 4 pairs) starts.
size_t SectionAt(const std::string& file, uint32_t id)
{
    uint64_t offset;
    std::memcpy(&offset, file.data() + 64 + (id - 1) * 24 + 8, sizeof offset);
    return size_t(offset);
}

uint32_t Word(const std::string& file, size_t at)
{
    uint32_t w;
    std::memcpy(&w, file.data() + at, 4);
    return w;
}

void SetWord(std::string& file, size_t at, uint32_t w)
{
    std::memcpy(file.data() + at, &w, 4);
}

// Opening must fail with `message` in the error, or, where `message` is
// null, either fail or give a matcher that scans any text in bounds.
void ExpectRefused(const std::string& file, const char* message, const std::string& what)
{
    std::string error;
    const auto matcher = CompiledDictionary::FromBytes(file, error);
    if (!message) {
        if (matcher) {
            TextScan scan(matcher);
            const std::u16string text = u"abcabcdbca\x4E01x\x4E02xab";
            scan.Scan(text);
            scan.BuildGlossed(text);
        }
        return;
    }
    EXPECT_FALSE(matcher) << what;
    EXPECT_NE(error.find(message), std::string::npos) << what << ": " << error;
}

TEST(CompiledDictionaryFile, DamagedFilesAreRefused)
{
    const std::pair<MatcherLayout, const char*> layouts[] = {
        {MatcherLayout::DoubleArray, "double array"}, {MatcherLayout::Records, "records"}, {MatcherLayout::Rows, "rows"}};
    for (const auto& [layout, layoutName] : layouts) {
        const std::string good = FileBytes(layout);
        std::string error;
        ASSERT_TRUE(CompiledDictionary::FromBytes(good, error)) << error;
        // The checksum is XXH3-64 of the file with its own field as 0, the
        // same whichever build of XXH3 the processor gets.
        std::string zeroed = good;
        std::memset(zeroed.data() + 24, 0, 8);
        EXPECT_EQ(Word(good, 24) | uint64_t(Word(good, 28)) << 32, XXH3_64bits(zeroed.data(), zeroed.size()))
            << layoutName << ", " << good.size() << " bytes";
        const size_t states = SectionAt(good, 3), pairs = SectionAt(good, 4);
        const size_t firstA = SectionAt(good, 1) + 4 * u'a';
        const uint32_t stateA = Word(good, firstA); // the state for "a"
        struct Case {
            const char* name;
            std::function<void(std::string&)> change;
            const char* message;
            bool seal; // the checksum is made to match
        };
        const Case cases[] = {
            {"empty", [](std::string& f) { f.clear(); }, "not a compiled dictionary", false},
            {"cut in the magic", [](std::string& f) { f.resize(5); }, "not a compiled dictionary", false},
            {"cut in the header", [](std::string& f) { f.resize(40); }, "truncated", false},
            {"cut in the table", [](std::string& f) { f.resize(100); }, "truncated", false},
            {"cut in half", [](std::string& f) { f.resize(f.size() / 2); }, "truncated", false},
            {"last byte cut", [](std::string& f) { f.pop_back(); }, "truncated", false},
            {"a byte too many", [](std::string& f) { f.push_back('\0'); }, "longer than its header says", false},
            {"other version", [](std::string& f) { SetWord(f, 12, 2); }, "format version 2", true},
            {"other byte order", [](std::string& f) { SetWord(f, 8, 0x04030201); }, "another byte order", true},
            {"unknown flag", [](std::string& f) { SetWord(f, 32, Word(f, 32) | 2); }, "damaged", true},
            {"longest before-string", [](std::string& f) { SetWord(f, 40, 7); }, "damaged", true},
            {"reserved header byte", [](std::string& f) { f[63] = 1; }, "damaged", true},
            {"section outside", [](std::string& f) { SetWord(f, 64 + 2 * 24 + 8, uint32_t(f.size())); }, "damaged",
             true},
            {"pair past the text", [&](std::string& f) { SetWord(f, pairs, 1u << 30); }, "damaged", true},
            {"empty before-string", [&](std::string& f) { SetWord(f, pairs + 8, 0); }, "damaged", true},
            {"pair at another depth", [&](std::string& f) { SetWord(f, pairs + 16 + 8, 1); }, "damaged", true},
            {"pair number too high", [&](std::string& f) { SetWord(f, states + 4 * stateA + 4, 9999); }, "damaged",
             true},
            {"first state past the end", [&](std::string& f) { SetWord(f, firstA, 3u << 28); }, "damaged", true},
            {"first state inside another", [&](std::string& f) { SetWord(f, firstA, stateA + 1); }, "damaged", true},
            {"state's base or count", [&](std::string& f) { SetWord(f, states + 4 * stateA, 0x7FFFFFF1); },
             "damaged", true},
            {"slot 0 made a child", [&](std::string& f) { SetWord(f, states + 8, stateA); }, "damaged", true},
        };
        for (const Case& c : cases) {
            std::string file = good;
            c.change(file);
            if (c.seal)
                CompiledDictionary::Seal(file);
            ExpectRefused(file, c.message, std::string(c.name) + ", " + layoutName);
        }
        // Any one bit flipped fails the checksum, or a header check before it;
        // behind a matching checksum it is refused or harmless.
        std::mt19937 rng(5 + unsigned(layout));
        for (int k = 0; k < 300; ++k) {
            const size_t at = k < 128 ? size_t(k) : rng() % good.size();
            std::string file = good;
            file[at] = char(file[at] ^ (1 << (rng() % 8)));
            ExpectRefused(file, at < 8 ? "not a compiled dictionary" : "", "bit at " + std::to_string(at));
            CompiledDictionary::Seal(file);
            ExpectRefused(file, nullptr, "sealed bit at " + std::to_string(at));
        }
    }
}

// A file copied over, shorter, once it is open (as `cp other.vmd dict.vmd`
// does under a run) changes nothing for the matcher that opened it: it
// holds what it read.
TEST(CompiledDictionaryFile, CopiedOverOnceOpenChangesNothing)
{
    const std::string path = testing::TempDir() + "copied-over.vmd";
    const std::string bytes = FileBytes(MatcherLayout::Rows);
    const std::string other = FileBytes(MatcherLayout::DoubleArray);
    const auto write = [&](const std::string& content) {
        FILE* file = std::fopen(path.c_str(), "wb"); // in place: the same inode, cut to 0 first
        ASSERT_TRUE(file);
        EXPECT_EQ(std::fwrite(content.data(), 1, content.size(), file), content.size());
        std::fclose(file);
    };
    write(bytes);
    std::string error;
    const auto opened = CompiledDictionary::Open(path, error);
    ASSERT_TRUE(opened) << error;
    write(other.substr(0, 4096));
    const auto fresh = CompiledDictionary::FromBytes(bytes, error);
    const std::u16string text = u"abcabcdbca\x4E01x\x4E02xab";
    TextScan scan(opened), reference(fresh);
    scan.Scan(text);
    reference.Scan(text);
    EXPECT_EQ(scan.BuildGlossed(text), reference.BuildGlossed(text));
    std::remove(path.c_str());
}

// A file of several MiB is read, and its strings searched for a line break,
// in parts at once: what is read is the whole file, and a file cut short or
// grown is still told.
TEST(CompiledDictionaryFile, LargeFileIsReadWhole)
{
    std::vector<std::u16string> strings;
    for (uint32_t k = 0; k < 60000; ++k)
        strings.push_back(std::u16string{char16_t(0x4E00 + k % 2000), char16_t(u'a' + k / 2000)});
    strings.back() += u'\n'; // the last string, which a scan in parts must reach too
    const std::u16string after(40, u'Z');
    std::vector<std::pair<std::u16string_view, std::u16string_view>> pairs;
    for (const std::u16string& before : strings)
        pairs.emplace_back(before, after);
    const std::string bytes = CompiledDictionary::ToBytes(*Replacer::CompilePairs(pairs));
    ASSERT_GT(bytes.size(), size_t(5) << 20);
    const std::string path = testing::TempDir() + "large.vmd";
    const std::u16string text = u"\x4E01" u"b\x4E02" u"b?\x4E03";
    const std::pair<std::string, const char*> files[] = {
        {bytes, nullptr}, {bytes.substr(0, bytes.size() - 1), "truncated"}, {bytes + '\0', "longer than"}};
    for (const auto& [content, message] : files) {
        FILE* file = std::fopen(path.c_str(), "wb");
        ASSERT_TRUE(file);
        ASSERT_EQ(std::fwrite(content.data(), 1, content.size(), file), content.size());
        std::fclose(file);
        std::string error;
        const auto opened = CompiledDictionary::Open(path, error);
        if (message) {
            EXPECT_FALSE(opened);
            EXPECT_NE(error.find(message), std::string::npos) << error;
            continue;
        }
        ASSERT_TRUE(opened) << error;
        EXPECT_TRUE(opened->BeforeHoldsLineBreak());
        TextScan scan(opened);
        scan.Scan(text);
        EXPECT_EQ(scan.BuildReplaced(text), after + after + u"?\x4E03");
    }
    std::remove(path.c_str());
}

} // namespace
