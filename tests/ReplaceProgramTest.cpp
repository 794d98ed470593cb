// velmora-replace: streaming against the engine's whole-text result, the
// text and dictionary encodings, the command line and in-place rewriting.
#include "AtomicFile.h"
#include "DictionaryEncoding.h"
#include "DictionaryReader.h"
#include "DictionaryWriter.h"
#include "FailingWrite.h"
#include "FileReplacement.h"
#include "JsonLinesReplacer.h"
#include "Options.h"
#include "OutputFolder.h"
#include "PairCounts.h"
#include "RegularFile.h"
#include "ReplaceProgram.h"
#include "Replacer.h"
#include "StreamReplacer.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;


std::string Utf8(std::u16string_view units)
{
    std::string bytes(Utf8Encoder::MaxBytes(units.size()), '\0');
    Utf8Encoder encoder;
    size_t written = 0;
    EXPECT_TRUE(encoder.Encode(units, bytes.data(), written) && encoder.Finish());
    bytes.resize(written);
    return bytes;
}

// `bytes` decoded in pieces of `piece` bytes: the units and -1, or what
// came before the error and its offset.
std::pair<std::u16string, int64_t> DecodeInPieces(std::string_view bytes, size_t piece)
{
    Utf8Decoder decoder;
    std::u16string units, room(Utf8Decoder::MaxUnits(piece), u'\0');
    for (size_t at = 0; at < bytes.size(); at += piece) {
        size_t written = 0;
        if (!decoder.Decode(bytes.substr(at, piece), room.data(), written))
            return {units, int64_t(decoder.ErrorOffset())};
        units.append(room.data(), written);
    }
    return {units, decoder.Finish() ? -1 : int64_t(decoder.ErrorOffset())};
}

std::string Utf16(std::u16string_view units, bool big)
{
    std::string bytes = big ? "\xFE\xFF" : "\xFF\xFE";
    for (const char16_t u : units) {
        bytes += char(big ? u >> 8 : u & 0xFF);
        bytes += char(big ? u & 0xFF : u >> 8);
    }
    return bytes;
}

std::shared_ptr<const CompiledMatcher> Compile(Replacer& replacer, const std::vector<std::pair<std::u16string, std::u16string>>& pairs)
{
    for (const auto& [before, after] : pairs)
        replacer.AddPair(before.c_str(), after.c_str());
    return replacer.Compile();
}

StreamResult RunOn(TextReplacer& replacer, const std::string& input, std::string& output)
{
    StringSource source(input);
    StringSink sink;
    const StreamResult result = replacer.Run(source, sink);
    output = sink.text;
    return result;
}

StreamResult Stream(const std::shared_ptr<const CompiledMatcher>& matcher, const std::string& input, bool gloss,
                    size_t block, std::string& output, unsigned threads = 1)
{
    StreamReplacer streamer(matcher, gloss, block, threads);
    return RunOn(streamer, input, output);
}

// Whole code points, one to four UTF-8 bytes and surrogate pairs among them,
// so that matches, characters and pairs all fall across block edges.
std::u16string RandomText(std::mt19937& rng, size_t maxCodePoints)
{
    static const std::u16string pieces[] = {u"a", u"b", u"\n", u"\u00E9", u"\u3042", u"\u3044", u"\U0001F600"};
    std::uniform_int_distribution<size_t> length(0, maxCodePoints), pick(0, std::size(pieces) - 1);
    std::u16string text;
    for (size_t n = length(rng); n > 0; --n)
        text += pieces[pick(rng)];
    return text;
}

TEST(StreamReplacer, AnyBlockSizeGivesTheWholeTextResult)
{
    std::mt19937 rng(9);
    for (int round = 0; round < 150; ++round) {
        Replacer replacer;
        std::vector<std::pair<std::u16string, std::u16string>> pairs;
        for (int p = std::uniform_int_distribution<int>(0, 10)(rng); p > 0; --p)
            pairs.emplace_back(RandomText(rng, 4), RandomText(rng, 3));
        const auto matcher = Compile(replacer, pairs);
        const std::u16string text = RandomText(rng, 60);
        const bool gloss = round % 2 == 1;
        TextScan whole(matcher);
        whole.Scan(text);
        const std::u16string expected = gloss ? whole.BuildGlossed(text) : whole.BuildReplaced(text);

        const std::pair<std::string, std::string> forms[] = {
            {Utf8(text), Utf8(expected)},
            {"\xEF\xBB\xBF" + Utf8(text), "\xEF\xBB\xBF" + Utf8(expected)},
            {Utf16(text, false), Utf16(expected, false)},
            {Utf16(text, true), Utf16(expected, true)},
        };
        for (const auto& [input, output] : forms) {
            for (size_t block = 1; block <= 64; ++block) {
                std::string got;
                const StreamResult result = Stream(matcher, input, gloss, block, got);
                ASSERT_EQ(result.failure, StreamResult::Failure::None);
                ASSERT_EQ(got, output) << "round " << round << ", block " << block;
                ASSERT_EQ(result.units, text.size());
                ASSERT_EQ(result.replacements, whole.GetMatchCount());
            }
        }
        // A byte that may break the UTF-8 form: the check before standard
        // output fails as the decoder does, at the same byte, in any blocks.
        static const char odd[] = {'\x80', '\xBF', '\xC1', '\xC2', '\xE0', '\xED', '\xF0', '\xF4', '\xF5', '\xFF'};
        std::string broken = Utf8(text);
        broken.insert(rng() % (broken.size() + 1), 1, odd[rng() % std::size(odd)]);
        for (size_t block = 1; block <= 64; ++block) {
            std::string got;
            PageRoom<char> buffer;
            StringSource source(broken);
            const StreamResult decoded = Stream(matcher, broken, gloss, block, got);
            const StreamResult checked = CheckText(source, buffer, block);
            ASSERT_EQ(checked.failure, decoded.failure) << "round " << round << ", block " << block;
            ASSERT_EQ(checked.message, decoded.message) << "round " << round << ", block " << block;
        }
    }
}

// A room grows from sizes that are and are not whole large pages, keeping
// what it holds: the system must still move it as one mapping.
TEST(PageRoom, GrowsPastLargePagesKeepingItsContent)
{
    PageRoom<uint32_t> room;
    size_t filled = 0;
    for (const size_t size : {size_t(100), size_t(800'000), size_t(1) << 20, size_t(3'000'000), size_t(9'000'000)}) {
        ASSERT_NO_THROW(room.Grow(size)) << size;
        for (size_t i = 0; i < filled; i += 4093)
            ASSERT_EQ(room.data()[i], uint32_t(i)) << "grown to " << size;
        for (; filled < size; ++filled)
            room.data()[filled] = uint32_t(filled);
    }
}

// The codec against a plain code point loop, on texts whose ASCII runs are
// long enough for the wide paths, ended by every length of sequence, and
// mixed with three-byte characters as Japanese is.
TEST(Utf8Codec, AgreesWithAPlainLoop)
{
    static const std::u16string others[] = {u"\u007F", u"\u0080", u"\u00E9", u"\u07FF",
                                            u"\u0800", u"\u3042", u"\uD7FF", u"\uE000",
                                            u"\uFFFF", u"\U0001F600"};
    std::mt19937 rng(12);
    for (int round = 0; round < 300; ++round) {
        std::u16string text;
        while (text.size() < 200) {
            text.append(rng() % 2 == 0 ? 0 : rng() % 40, char16_t(u'a' + rng() % 26)); // runs of the others too
            text += others[rng() % std::size(others)];
        }
        std::string expected;
        for (size_t k = 0; k < text.size(); ++k) {
            uint32_t c = text[k];
            if (c >= 0xD800 && c < 0xDC00)
                c = 0x10000 + ((c - 0xD800) << 10) + (text[++k] - 0xDC00);
            const int tail = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
            static const uint32_t lead[] = {0x00, 0xC0, 0xE0, 0xF0};
            expected += char(lead[tail] | (c >> (6 * tail)));
            for (int t = tail; t-- > 0;)
                expected += char(0x80 | ((c >> (6 * t)) & 0x3F));
        }
        ASSERT_EQ(Utf8(text), expected) << "round " << round;
        // Whole, and a byte at a time, which the wide paths never take.
        ASSERT_EQ(DecodeInPieces(expected, expected.size()), std::make_pair(text, int64_t(-1))) << "round " << round;
        ASSERT_EQ(DecodeInPieces(expected, 1), std::make_pair(text, int64_t(-1))) << "round " << round;
        // Broken by a bad byte, or a sequence too long or a surrogate's:
        // every way fails at the same byte.
        static const std::string_view odd[] = {"\x80", "\xBF", "\xC2", "\xE3", "\xF0", "\xFF",
                                               "\xE0\x9F\xBF", "\xED\xA0\x80", "\xF0\x8F\xBF\xBF"};
        std::string broken = expected;
        broken.insert(rng() % (broken.size() + 1), odd[rng() % std::size(odd)]);
        const int64_t failsAt = DecodeInPieces(broken, 1).second;
        ASSERT_EQ(DecodeInPieces(broken, broken.size()).second, failsAt) << "round " << round;
        ASSERT_EQ(DecodeInPieces(broken, 17 + rng() % 40).second, failsAt) << "round " << round;
    }
}

TEST(StreamReplacer, Encodings)
{
    struct Case {
        const char* name;
        std::string input;
        std::string output; // or the start of the error message
        bool fails = false;
    };
    Replacer replacer;
    const auto matcher = Compile(replacer, {{u"\u3042", u"A"}, {u"\U0001F600", u"\u3044"}, {u"\xD800", u"L"}});
    const Case cases[] = {
        {"empty", "", ""},
        {"UTF-8", "x\xE3\x81\x82\xF0\x9F\x98\x80", "xA\xE3\x81\x84"},
        {"UTF-8 mark kept", "\xEF\xBB\xBF\xE3\x81\x82", "\xEF\xBB\xBF" "A"},
        {"UTF-8 mark alone", "\xEF\xBB\xBF", "\xEF\xBB\xBF"},
        {"UTF-16LE", std::string("\xFF\xFE\x42\x30x\0", 6), std::string("\xFF\xFE" "A\0x\0", 6)},
        {"UTF-16BE", std::string("\xFE\xFF\x30\x42\0x", 6), std::string("\xFE\xFF\0A\0x", 6)},
        {"UTF-16LE mark alone", "\xFF\xFE", "\xFF\xFE"},
        {"UTF-16 lone surrogate matched", std::string("\xFF\xFE\x00\xD8", 4), std::string("\xFF\xFE" "L\0", 4)},
        {"UTF-16 lone low surrogate kept", std::string("\xFF\xFE\x00\xDC", 4), std::string("\xFF\xFE\x00\xDC", 4)},
        {"two bytes, not a mark", "ab", "ab"},
        {"overlong", "ab\xC0\x80", "invalid UTF-8 at byte 2", true},
        {"encoded surrogate", "\xED\xA0\x80", "invalid UTF-8 at byte 0", true},
        {"past U+10FFFF", "a\xF4\x90\x80\x80", "invalid UTF-8 at byte 1", true},
        {"bad continuation", "\xE3\x81x", "invalid UTF-8 at byte 0", true},
        {"run of three bytes", "\xE3\x81\x82\xE3\x81\x82\xE3\x81\x84x", "AA\xE3\x81\x84x"},
        {"bad continuation in a run", "\xE3\x81\x82\xE3\x81\x82\xE3\x41\x82", "invalid UTF-8 at byte 6", true},
        {"overlong behind a run", "\xE3\x81\x82\xE3\x81\x82\xE0\x80\x80", "invalid UTF-8 at byte 6", true},
        {"cut at the end", "ab\xE3\x81", "invalid UTF-8 at byte 2", true},
        {"offset counts the mark", "\xEF\xBB\xBF" "a\xFF", "invalid UTF-8 at byte 4", true},
        {"odd UTF-16 byte", std::string("\xFF\xFE" "a\0b", 5), "the UTF-16 text ends in the middle of a unit (byte 4)", true},
        {"odd UTF-16BE byte", std::string("\xFE\xFF\0a\0", 5), "the UTF-16 text ends in the middle of a unit (byte 4)", true},
        {"stray continuation", "ab\x81", "invalid UTF-8 at byte 2", true},
        {"lead never valid, last", "ab\xC1", "invalid UTF-8 at byte 2", true},
        {"lead past F4, last", "ab\xF5", "invalid UTF-8 at byte 2", true},
        {"four-byte lead cut at the end", "\xEF\xBB\xBF\xF0\x9F\x98", "invalid UTF-8 at byte 3", true},
        {"bad byte behind a cut sequence", "\xE3\x81\x82\xE3\x81\xFF", "invalid UTF-8 at byte 3", true},
        {"three continuations after a whole one", "\xE3\x81\x82\x81\x81\x81", "invalid UTF-8 at byte 3", true},
        {"mark then a lone continuation", "\xEF\xBB\xBF\x80", "invalid UTF-8 at byte 3", true},
        {"bad byte past a long valid run", std::string(100, 'a') + "\xE3\x81\x82\xED\xA0\x80" + std::string(40, 'a'),
         "invalid UTF-8 at byte 103", true},
    };
    for (const Case& c : cases) {
        // Every block edge of the short texts, and the whole text at once.
        for (size_t block : {size_t(1), size_t(2), size_t(3), size_t(4), size_t(5), size_t(7), size_t(1) << 20}) {
            std::string got;
            const StreamResult result = Stream(matcher, c.input, false, block, got);
            // The check before standard output agrees with the decoder.
            StringSource source(c.input);
            PageRoom<char> buffer;
            const StreamResult checked = CheckText(source, buffer, block);
            EXPECT_EQ(checked.failure, c.fails ? StreamResult::Failure::Decode : StreamResult::Failure::None) << c.name;
            EXPECT_EQ(checked.message, result.message) << c.name << ", block " << block;
            if (c.fails) {
                EXPECT_EQ(result.failure, StreamResult::Failure::Decode) << c.name;
                EXPECT_EQ(result.message.rfind(c.output, 0), 0u) << c.name << ": " << result.message;
            } else {
                EXPECT_EQ(result.failure, StreamResult::Failure::None) << c.name << ": " << result.message;
                EXPECT_EQ(got, c.output) << c.name << ", block " << block;
            }
        }
    }
    // A match that splits a surrogate pair leaves a half that UTF-8 cannot
    // carry: an error, not a silently changed character.
    std::string got;
    const StreamResult result = Stream(matcher, "\xF0\x9F\x98\x80", false, 1, got);
    EXPECT_EQ(result.failure, StreamResult::Failure::None); // the pair as a whole matches first
    Replacer halves;
    const auto split = Compile(halves, {{u"\xD83D", u"x"}});
    EXPECT_EQ(Stream(split, "\xF0\x9F\x98\x80", false, 3, got).failure, StreamResult::Failure::Encode);
}

// Long blocks are decoded, scanned, built and encoded by several threads:
// the same bytes, and the same first error, as one thread gives; the check
// before writing to standard output finds the same error.
TEST(StreamReplacer, ThreadsGiveTheSameBytesAndErrors)
{
    std::mt19937 rng(5);
    static const std::u16string pieces[] = {u"a", u"b", u" ", u"b\u3042", u"\u3042", u"\U0001F600", u"ab"};
    std::u16string text;
    while (text.size() < 1500000)
        text += pieces[rng() % std::size(pieces)];
    std::u16string withLone = text;
    withLone.insert(text.size() * 3 / 4, u"z");
    withLone.insert(text.size() * 7 / 8, u"z");
    std::string badUtf8 = Utf8(text);
    badUtf8.insert(badUtf8.size() * 7 / 8, "\xE3\x81");
    badUtf8.insert(badUtf8.size() * 3 / 4, "\xE3\x81");
    // A sequence cut just where two threads' stretches of one 8 MiB block meet.
    std::string cutAtSplit(1000003, 'b');
    cutAtSplit.replace(3 + 500000 - 2, 2, "\xE3\x81");
    // Two threads' parts of a block meeting inside a surrogate pair.
    std::u16string pairs;
    while (pairs.size() < 1000000)
        pairs += u"\U0001F600";
    Replacer replacer;
    const auto matcher = Compile(replacer, {{u"a", u"\U0001F600"}, {u"b\u3042", u"B"}, {u"z", u"\xD800"}});
    struct Case {
        std::string bytes;
        StreamResult::Failure failure;
    };
    const Case cases[] = {
        {Utf8(text), StreamResult::Failure::None},
        {Utf16(text, false), StreamResult::Failure::None},
        {Utf8(withLone), StreamResult::Failure::Encode}, // UTF-8 cannot carry a lone surrogate
        {Utf16(withLone, false), StreamResult::Failure::None},
        {badUtf8, StreamResult::Failure::Decode},
        {cutAtSplit, StreamResult::Failure::Decode},
        {Utf8(pairs), StreamResult::Failure::None},
    };
    for (const Case& c : cases) {
        for (const size_t block : {size_t(1) << 19, size_t(8) << 20}) {
            std::string one, two;
            const StreamResult single = Stream(matcher, c.bytes, true, block, one);
            const StreamResult both = Stream(matcher, c.bytes, true, block, two, 2);
            EXPECT_EQ(single.failure, c.failure);
            EXPECT_EQ(both.failure, single.failure);
            EXPECT_EQ(both.message, single.message);
            EXPECT_TRUE(two == one) << "block " << block;
            if (c.failure != StreamResult::Failure::Encode) {
                StringSource source(c.bytes);
                PageRoom<char> buffer;
                const StreamResult checked = CheckText(source, buffer, block);
                EXPECT_EQ(checked.failure, c.failure);
                EXPECT_EQ(checked.message, single.message);
            }
        }
    }
}

// A line whose field holds `text` beside arrays nested `depth` deep.
std::string Nested(size_t depth, const std::string& text)
{
    return "{\"text\":\"" + text + "\",\"n\":" + std::string(depth, '[') + std::string(depth, ']') + "}\n";
}

// One field of each line replaced as the window would replace its decoded
// units; every other byte kept, a line whose value has no match whole.
TEST(JsonLinesReplacer, Lines)
{
    struct Case {
        const char* name;
        std::string input;
        std::string output; // or the error message
        bool fails = false;
    };
    Replacer replacer;
    const auto matcher = Compile(replacer, {{u"apple", u"ringo"}, {u"\U0001F600", u"S"}, {u"\xD83D", u"H"},
                                            {u"q\"\\/\t\b\f\r\n\x01", u"Q"}, {u"kana", u"\u304B\u306A"},
                                            {u"lone", u"\xDC00"}, {u"ctl", u"\"\\\x01\x1F/"}});
    const Case cases[] = {
        {"every escape decodes", R"({"text":"\u0061pple q\"\\\/\t\b\f\r\n\u0001"})" "\n", R"({"text":"ringo Q"})" "\n"},
        {"escapes written", R"({"text":"ctl"})", R"({"text":"\"\\\u0001\u001f/"})"},
        {"pair as escapes", R"({"text":"\uD83D\uDE00 \uD83D\uDE01"})", R"({"text":"S H\ude01"})"},
        {"pair as UTF-8", "{\"text\":\"\xF0\x9F\x98\x80 \xF0\x9F\x98\x81\"}", R"({"text":"S H\ude01"})"},
        {"lone surrogates in and out", R"({"text":"\uDE00 lone"})", R"({"text":"\ude00 \udc00"})"},
        {"raw UTF-8 stays raw", "{\"text\":\"\xE3\x81\x82 kana\"}",
         "{\"text\":\"\xE3\x81\x82 \xE3\x81\x8B\xE3\x81\xAA\"}"},
        {"\\u escapes stay ASCII", R"({"text":"\u3042 kana"})", R"({"text":"\u3042 \u304b\u306a"})"},
        {"keys in any order, the rest kept",
         "{ \"id\" : 1 ,\"meta\":{\"text\":\"apple\"},  \"text\" : \"apple\" , \"n\":[null,true,2.5e3]}\r\n",
         "{ \"id\" : 1 ,\"meta\":{\"text\":\"apple\"},  \"text\" : \"ringo\" , \"n\":[null,true,2.5e3]}\r\n"},
        {"escaped key", R"({"t\u0065xt":"apple"})", R"({"t\u0065xt":"ringo"})"},
        {"no match: the line as it was", R"({"text":"\u0041\/"})" "\n", R"({"text":"\u0041\/"})" "\n"},
        {"UTF-8 mark kept", "\xEF\xBB\xBF{\"text\":\"apple\"}\n{\"text\":\"\"}",
         "\xEF\xBB\xBF{\"text\":\"ringo\"}\n{\"text\":\"\"}"},
        {"lone surrogate elsewhere", R"({"x":"\uD800","text":"apple"})", R"({"x":"\uD800","text":"ringo"})"},
        {"missing", "{\"text\":\"a\"}\n{\"txt\":\"a\"}\n", "line 2: no field \"text\"", true},
        {"a number", R"({"text":1})", "line 1: the field \"text\" is not a string", true},
        {"null", R"({"text":null})", "line 1: the field \"text\" is not a string", true},
        {"an object", R"({"text":{"text":"a"}})", "line 1: the field \"text\" is not a string", true},
        {"twice", R"({"text":"a","text":"b"})", "line 1: the field \"text\" appears more than once", true},
        {"an array", "[\"a\"]", "line 1: not a JSON object", true},
        {"an empty line", "{\"text\":\"a\"}\n\n{\"text\":\"a\"}", "line 2: not a JSON object", true},
        {"two objects", R"({"text":"a"}{})", "line 1: not valid JSON", true},
        {"bad JSON elsewhere", R"({"text":"a","b":[1,]})", "line 1: not valid JSON", true},
        {"bad escape", R"({"text":"a\x"})", "line 1: the field \"text\": an unknown escape in the string", true},
        {"short \\u", R"({"text":"\u12"})",
         "line 1: the field \"text\": a \\u escape without four hexadecimal digits", true},
        {"raw control", "{\"text\":\"a\tb\"}", "line 1: the field \"text\": a control character", true},
        {"raw control elsewhere", "{\"x\":\"a\tb\",\"text\":\"a\"}", "line 1: not valid JSON", true},
        {"any number the grammar allows",
         R"({"n":[1e400,18446744073709551616,-9223372036854775809,0.1e999999999,-0.0E+0],"text":"apple"})",
         R"({"n":[1e400,18446744073709551616,-9223372036854775809,0.1e999999999,-0.0E+0],"text":"ringo"})"},
        {"numbers out of form", R"({"text":"a","n":[01]})", "line 1: not valid JSON", true},
        {"nested 1,024 deep", Nested(1024, "apple"), Nested(1024, "ringo")},
        {"nested 100,000 deep", Nested(100000, "apple"), Nested(100000, "ringo")},
        {"nested 100,000 deep, not closed", Nested(100000, "apple").substr(0, 150000), "line 1: not valid JSON", true},
    };
    for (const Case& c : cases) {
        for (const size_t block : {size_t(1), size_t(7), size_t(1) << 20}) {
            JsonLinesReplacer lines(matcher, "text", false, block);
            std::string got;
            const StreamResult result = RunOn(lines, c.input, got);
            if (c.fails) {
                EXPECT_EQ(result.failure, StreamResult::Failure::Decode) << c.name;
                EXPECT_EQ(result.message.rfind(c.output, 0), 0u) << c.name << ": " << result.message;
                StringSource source(c.input);
                EXPECT_EQ(lines.Check(source).message, result.message) << c.name;
            } else {
                EXPECT_EQ(result.failure, StreamResult::Failure::None) << c.name << ": " << result.message;
                EXPECT_EQ(got, c.output) << c.name << ", block " << block;
                EXPECT_EQ(result.changed, got != c.input) << c.name;
            }
        }
    }
}

// A long text's lines are spread over threads: the same bytes, and the same
// first bad line, as one thread gives.
TEST(JsonLinesReplacer, ThreadsGiveTheSameBytesAndLine)
{
    Replacer replacer;
    const auto matcher = Compile(replacer, {{u"ab", u"X"}, {u"\u3042", u"\U0001F600"}});
    std::string good;
    for (int k = 0; k < 30000; ++k)
        good += "{\"id\":" + std::to_string(k) + ",\"text\":\"ab\\n\xE3\x81\x82 " + std::string(k % 50, 'a') + "\"}\n";
    std::string bad = good;
    bad.insert(bad.find("{\"id\":25000,"), "{}\n");
    for (const std::string* input : {&good, &bad}) {
        std::string one, two;
        JsonLinesReplacer single(matcher, "text", true, size_t(1) << 20, 1);
        JsonLinesReplacer both(matcher, "text", true, size_t(1) << 20, 2);
        const StreamResult first = RunOn(single, *input, one);
        const StreamResult second = RunOn(both, *input, two);
        EXPECT_EQ(second.message, first.message);
        EXPECT_EQ(second.replacements, first.replacements);
        EXPECT_TRUE(two == one);
        if (input == &bad)
            EXPECT_EQ(first.message, "line 25001: no field \"text\"");
        else
            EXPECT_EQ(first.replacements, 60000u);
    }
    // Kept, the bad line comes out as it came among the others, on one
    // thread or two.
    std::string replaced;
    JsonLinesReplacer single(matcher, "text", true, size_t(1) << 20, 1);
    RunOn(single, good, replaced);
    replaced.insert(replaced.find("{\"id\":25000,"), "{}\n");
    for (const unsigned threads : {1u, 2u}) {
        JsonLinesReplacer keeping(matcher, "text", true, size_t(1) << 20, threads, true);
        std::string kept;
        const StreamResult result = RunOn(keeping, bad, kept);
        EXPECT_EQ(result.failure, StreamResult::Failure::None);
        EXPECT_TRUE(kept == replaced);
        EXPECT_EQ(result.keptLines, 1u);
        EXPECT_EQ(result.firstKept, std::vector<std::string>{"line 25001: no field \"text\""});
    }
    // An empty line kept before anything else was written.
    JsonLinesReplacer keepingFirst(matcher, "text", false, size_t(1) << 20, 1, true);
    std::string out;
    EXPECT_EQ(RunOn(keepingFirst, "\n{\"text\":\"ab\"}\n", out).keptLines, 1u);
    EXPECT_EQ(out, "\n{\"text\":\"X\"}\n");
}

TEST(DictionaryEncoding, UtfEightReadsAsItsUtfSixteenTwin)
{
    const std::u16string text = u"\u3042\u3044\tA\r\nb\tB\tignored\n\n\u3042\u3044\tC\n";
    std::vector<std::pair<std::u16string, std::u16string>> expected;
    ParseDictionaryText(text, [&](std::u16string_view b, std::u16string_view a) { expected.emplace_back(b, a); });
    ASSERT_EQ(expected.size(), 3u);

    struct Case {
        const char* name;
        std::string bytes;
        std::string error; // empty: reads as `text`
    };
    const Case cases[] = {
        {"UTF-16LE", Utf16(text, false), ""},
        {"UTF-8", Utf8(text), ""},
        {"UTF-8 with mark", "\xEF\xBB\xBF" + Utf8(text), ""},
        {"UTF-16BE", Utf16(text, true), "UTF-16BE is not supported (byte 0)"},
        {"bad UTF-8", "a\tb\n\xE3\x81", "invalid UTF-8 at byte 4"},
        {"bad UTF-8 behind the mark", "\xEF\xBB\xBF\x80", "invalid UTF-8 at byte 3"},
        {"UTF-16LE without mark", std::string("a\0\t\0", 4), "NUL byte at byte 1"},
    };
    for (const Case& c : cases) {
        std::u16string decoded;
        std::string error;
        const bool ok = DecodeDictionaryFileText(c.bytes, decoded, error);
        EXPECT_EQ(ok, c.error.empty()) << c.name;
        if (ok) {
            std::vector<std::pair<std::u16string, std::u16string>> pairs;
            ParseDictionaryText(decoded, [&](std::u16string_view b, std::u16string_view a) { pairs.emplace_back(b, a); });
            EXPECT_EQ(pairs, expected) << c.name;
        } else {
            EXPECT_EQ(error.rfind(c.error, 0), 0u) << c.name << ": " << error;
        }
    }

    // A file of a megabyte or more is decoded by every core at once: the
    // same units, and the same first bad byte, which lies past the first part.
    std::string head;
    std::u16string twin;
    while (head.size() < (size_t(3) << 19)) {
        head += Utf8(text);
        twin += text;
    }
    const std::string path = testing::TempDir() + "large-dictionary.tsv";
    for (const bool bad : {false, true}) {
        ASSERT_TRUE(WriteBytes(path, head + (bad ? "\xE3\x81" : "") + head));
        const RegularFile file(path);
        std::u16string decoded;
        std::string error;
        EXPECT_EQ(ReadDictionaryText(file, "", decoded, error), !bad) << error;
        if (bad)
            EXPECT_EQ(error.rfind("invalid UTF-8 at byte " + std::to_string(head.size()), 0), 0u) << error;
        else
            EXPECT_TRUE(decoded == twin + twin);
    }
    std::remove(path.c_str());
}

TEST(Options, CommandLines)
{
    struct Case {
        std::vector<const char*> args;
        std::optional<int> status; // nullopt: the program goes on
        std::vector<std::string> dictionaries = {};
        std::vector<std::string> files = {};
        bool inPlace = false;
        std::string suffix = {};
    };
    const Case cases[] = {
        {{"-d", "a", "-d", "b", "x", "y"}, std::nullopt, {"a", "b"}, {"x", "y"}},
        {{"-d", "a"}, std::nullopt, {"a"}, {"-"}},
        {{"-d", "a", "-i", "x"}, std::nullopt, {"a"}, {"x"}, true, ""},
        {{"-d", "a", "--in-place=.bak", "x"}, std::nullopt, {"a"}, {"x"}, true, ".bak"},
        {{"-d", "a", "--in-place", "x"}, std::nullopt, {"a"}, {"x"}, true, ""},
        {{"-d", "a", "-i.bak", "x"}, std::nullopt, {"a"}, {"x"}, true, ".bak"},        // as GNU sed
        {{"-qi~", "-da", "x", "-i.b", "--", "-i.c"}, std::nullopt, {"a"}, {"x", "-i.c"}, true, ".b"}, // grouped, last, --
        {{"-d-i.x", "x"}, std::nullopt, {"-i.x"}, {"x"}},                             // a value, not -i
        {{"x"}, 2},                                  // no dictionary
        {{"-d", "a", "-i", "-o", "out", "x"}, 2},    // both
        {{"-d", "a", "-i"}, 2},                      // standard input in place
        {{"-d", "a", "-j", "0", "x"}, 2},
        {{"-d", "a", "--jsonl", "text", "--output-dir", "out", "x"}, std::nullopt, {"a"}, {"x"}},
        {{"-d", "a", "--output-dir", "out"}, 2},              // standard input has no name
        {{"-d", "a", "--output-dir", "out", "-i", "x"}, 2},
        {{"-d", "a", "--output-dir", "out", "-o", "y", "x"}, 2},
        {{"-d", "a", "--output-dir=", "x"}, 2},
        {{"-d", "a", "--bogus"}, 2},
        {{"--help"}, 0},
        {{"--version"}, 0},
    };
    for (const Case& c : cases) {
        std::vector<const char*> argv = {"velmora-replace"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        ReplaceOptions options;
        std::ostringstream out, err;
        const std::optional<int> status = ParseOptions(int(argv.size()), argv.data(), options, out, err);
        const std::string line = c.args.empty() ? "" : c.args.back();
        EXPECT_EQ(status, c.status) << line << " " << err.str();
        if (status == 2) {
            EXPECT_NE(err.str().find("velmora-replace: "), std::string::npos) << line;
        }
        if (status)
            continue;
        EXPECT_EQ(options.dictionaries, c.dictionaries);
        EXPECT_EQ(options.files, c.files);
        EXPECT_EQ(options.inPlace, c.inPlace);
        EXPECT_EQ(options.backupSuffix, c.suffix);
    }
}

TEST(PairCounts, MostUsedFirstAndEscaped)
{
    const std::u16string a = u"a\nb", b = u"\u3042", c = u"c\\";
    PairUses uses;
    uses[a.data()] = {a, u"X", 2};
    uses[b.data()] = {b, u"Y", 5};
    PairUses more;
    more[c.data()] = {c, u"Z", 2};
    more[a.data()] = {a, u"X", 1};
    MergePairUses(uses, more);
    EXPECT_EQ(FormatPairCounts(uses), "\xE3\x81\x82\tY\t5\na\\nb\tX\t3\nc\\\\\tZ\t2\n");
}

class InPlace : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = fs::temp_directory_path() / ("velmora-inplace-" + std::to_string(::getpid()));
        fs::create_directories(folder);
        path = (folder / "text.txt").string();
        std::ofstream(path) << old;
        fs::permissions(path, fs::perms(0640));
        matcher = Compile(replacer, {{u"b", u"B"}, {u"same", u"same"}});
    }
    void TearDown() override { fs::remove_all(folder); }

    size_t FileCount() const { return size_t(std::distance(fs::directory_iterator(folder), {})); }

    const std::string old = std::string(5000, 'a') + "b" + std::string(5000, 'c');
    fs::path folder;
    std::string path;
    Replacer replacer;
    std::shared_ptr<const CompiledMatcher> matcher;
};

// Memory running out on a long JSON line is said as such, not as a bad
// line, and leaves no output and no temporary. The line is given room for
// half of itself, in a process of its own.
TEST_F(InPlace, MemoryRunningOutOnALineSaysSo)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer's shadow memory takes any address-space limit";
#endif
    const size_t length = size_t(32) << 20;
    const std::string lines = (folder / "long.jsonl").string();
    WriteBytes(lines, "{\"text\":\"" + std::string(length, 'b') + "\"}\n");
    JsonLinesReplacer replacer(matcher, "text", false);
    const auto replaceInLittleRoom = [&] {
        size_t pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        const rlim_t room = rlim_t(pages) * rlim_t(::sysconf(_SC_PAGESIZE)) + length / 2;
        const rlimit limit{room, room};
        ::setrlimit(RLIMIT_AS, &limit);
        const FileOutcome outcome = ReplaceIntoFile(lines, (folder / "out.jsonl").string(), replacer, nullptr, nullptr);
        std::fprintf(stderr, "%s\n", outcome.message.c_str());
        std::exit(0);
    };
    EXPECT_EXIT(replaceInLittleRoom(), testing::ExitedWithCode(0), "long.jsonl: Cannot allocate memory");
    EXPECT_EQ(FileCount(), 2u);
}

TEST_F(InPlace, AWriteFailingPartWayLeavesTheOldFile)
{
    for (const size_t budget : {size_t(0), size_t(1), size_t(4096), size_t(9999)}) {
        StreamReplacer streamer(matcher, false, 1000);
        const FileOutcome outcome =
            ReplaceInPlace(path, ".bak", streamer, nullptr, nullptr, FailingWriteAfter(budget));
        EXPECT_FALSE(outcome.ok);
        EXPECT_EQ(outcome.message, path + ": No space left on device");
        EXPECT_EQ(ReadBytes(path), old);
        EXPECT_EQ(FileCount(), 1u) << "no temporary file or backup left behind";
    }
}

// A large file is flushed while it is written: a flush that failed on the
// way fails the commit, since the flush before the rename may not see it.
TEST_F(InPlace, AFlushFailingOnTheWayLeavesTheOldFile)
{
    const std::string large(size_t(9) << 20, 'x');
    for (const int error : {EIO, 0}) {
        int flushes = 0;
        AtomicFile file(nullptr, [&](int fd) {
            ++flushes;
            return error == 0 ? ::fdatasync(fd) : (errno = error, -1);
        });
        ASSERT_TRUE(file.Open(path));
        ASSERT_TRUE(file.Write(large));
        ASSERT_TRUE(file.Write("end"));
        EXPECT_EQ(file.Commit(), error == 0);
        EXPECT_EQ(flushes, 1);
        EXPECT_EQ(ReadBytes(path), error == 0 ? large + "end" : old);
        EXPECT_EQ(FileCount(), 1u) << "no temporary file left behind";
        if (error != 0) {
            EXPECT_EQ(file.ErrorText(), "Input/output error");
        }
    }
}

TEST_F(InPlace, RewritesKeepingModeAndBackup)
{
    StreamReplacer streamer(matcher, false, 1000);
    const FileOutcome outcome = ReplaceInPlace(path, ".bak", streamer, nullptr, nullptr);
    ASSERT_TRUE(outcome.ok) << outcome.message;
    EXPECT_EQ(ReadBytes(path), std::string(5000, 'a') + "B" + std::string(5000, 'c'));
    EXPECT_EQ(ReadBytes(path + ".bak"), old);
    EXPECT_EQ(fs::status(path).permissions(), fs::perms(0640));
    EXPECT_EQ(FileCount(), 2u);

    // Unchanged text: not rewritten, so the file keeps its inode.
    std::ofstream(path) << "same text";
    struct stat before {}, after {};
    ::stat(path.c_str(), &before);
    ASSERT_TRUE(ReplaceInPlace(path, "", streamer, nullptr, nullptr).ok);
    ::stat(path.c_str(), &after);
    EXPECT_EQ(before.st_ino, after.st_ino);
    EXPECT_EQ(FileCount(), 2u);

    // A text that does not decode: named with its offset, the file untouched.
    std::ofstream(path) << "ab\xFF";
    const FileOutcome bad = ReplaceInPlace(path, "", streamer, nullptr, nullptr);
    EXPECT_EQ(bad.message, path + ": invalid UTF-8 at byte 2");
    EXPECT_EQ(ReadBytes(path), "ab\xFF");
    EXPECT_EQ(FileCount(), 2u);

    // A backup that cannot be made fails the rewrite.
    std::ofstream(path) << "b";
    const FileOutcome noBackup = ReplaceInPlace(path, "/sub", streamer, nullptr, nullptr);
    EXPECT_EQ(noBackup.message, path + ": its backup " + path + "/sub cannot be made (Not a directory)");
    EXPECT_EQ(ReadBytes(path), "b");
    EXPECT_EQ(FileCount(), 2u);
}

TEST_F(InPlace, OutputFolderTakesEachFileNameAndNeverAnInput)
{
    const std::string out = (folder / "out").string();
    std::vector<std::string> outputs;
    std::string error;
    ASSERT_TRUE(PlanOutputFolder(out, {path}, LinkPolicy::FollowTrusted, outputs, error)) << error;
    ASSERT_EQ(outputs, std::vector<std::string>{out + "/text.txt"});
    StreamReplacer streamer(matcher, false, 1000);
    ASSERT_TRUE(ReplaceIntoFile(path, outputs[0], streamer, nullptr, nullptr).ok);
    EXPECT_EQ(ReadBytes(outputs[0]), std::string(5000, 'a') + "B" + std::string(5000, 'c'));
    EXPECT_EQ(ReadBytes(path), old);

    // A text that fails leaves the output as it was.
    const std::string bad = (folder / "bad.txt").string();
    WriteBytes(bad, "b\xFF");
    EXPECT_EQ(ReplaceIntoFile(bad, out + "/bad.txt", streamer, nullptr, nullptr).message,
              bad + ": invalid UTF-8 at byte 1");
    EXPECT_FALSE(fs::exists(out + "/bad.txt"));

    fs::create_directories(folder / "linked");
    fs::create_hard_link(path, folder / "linked" / "text.txt");
    const std::string twin = (folder / "linked" / "text.txt").string();
    struct Refusal {
        std::string folder;
        std::vector<std::string> inputs;
        std::string error;
    };
    const Refusal refusals[] = {
        {folder.string(), {path}, folder.string() + "/text.txt is the input " + path + ": it is not written over"},
        {(folder / "linked").string(), {bad, path}, twin + " is the input " + path + ": it is not written over"},
        {out, {path, twin}, path + " and " + twin + " would both be written to " + out + "/text.txt"},
        {out, {"-"}, "standard input has no file name to write under the output folder"},
    };
    for (const Refusal& r : refusals) {
        EXPECT_FALSE(PlanOutputFolder(r.folder, r.inputs, LinkPolicy::FollowTrusted, outputs, error));
        EXPECT_EQ(error, r.error);
    }
    EXPECT_EQ(ReadBytes(path), old);
}

// The temporary file is the owner's alone while it is written, whatever
// the file's own mode, which it gets only when complete.
TEST_F(InPlace, TemporaryIsPrivateWhileWritten)
{
    fs::permissions(path, fs::perms(0644));
    mode_t seen = 0;
    auto write = [&](int fd, const void* data, size_t size) {
        struct stat st {};
        ::fstat(fd, &st);
        seen |= st.st_mode & 07777;
        return ::write(fd, data, size);
    };
    StreamReplacer streamer(matcher, false, 1000);
    ASSERT_TRUE(ReplaceInPlace(path, "", streamer, nullptr, nullptr, write).ok);
    EXPECT_EQ(seen, 0600u);
    EXPECT_EQ(fs::status(path).permissions(), fs::perms(0644));
}

// An access control list in the kernel's extended attribute form: version
// 2, then (tag, permissions, id) entries in tag order.
std::string AclBytes(std::initializer_list<std::array<uint32_t, 3>> entries)
{
    std::string bytes;
    auto put = [&](uint32_t value, int size) {
        for (int i = 0; i < size; ++i)
            bytes += char((value >> (8 * i)) & 0xFF);
    };
    put(2, 4);
    for (const auto& [tag, perms, id] : entries) {
        put(tag, 2);
        put(perms, 2);
        put(id, 4);
    }
    return bytes;
}

std::string Attribute(const std::string& path, const char* name)
{
    char value[256];
    const ssize_t n = ::getxattr(path.c_str(), name, value, sizeof value);
    return n < 0 ? "<none>" : std::string(value, size_t(n));
}

TEST_F(InPlace, KeepsOwnerModeAclAndAttributes)
{
    const bool root = ::geteuid() == 0;
    if (root) { // someone else's file, setuid and setgid: the owner must be set before the mode
        ASSERT_EQ(::chown(path.c_str(), 1, 1), 0);
    }
    ASSERT_EQ(::chmod(path.c_str(), root ? 06660 : 0660), 0);
    // user::rw- user:1:rw- group::r-- mask::rw- other::---
    const std::string acl = AclBytes({{0x01, 6, ~0u}, {0x02, 6, 1}, {0x04, 4, ~0u}, {0x10, 6, ~0u}, {0x20, 0, ~0u}});
    if (::setxattr(path.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) != 0
        || ::setxattr(path.c_str(), "user.note", "kept", 4, 0) != 0)
        GTEST_SKIP() << "the file system of " << folder << " takes no ACL or user attribute: " << std::strerror(errno);
    struct stat before {}, after {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    StreamReplacer streamer(matcher, false, 1000);
    const FileOutcome outcome = ReplaceInPlace(path, ".bak", streamer, nullptr, nullptr);
    ASSERT_TRUE(outcome.ok) << outcome.message;
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(Attribute(path, "system.posix_acl_access"), acl);
    EXPECT_EQ(Attribute(path, "user.note"), "kept");
}

// A link that another user made, planted where this user writes: lchown
// takes root.
bool PlantLink(const std::string& target, const std::string& link)
{
    return ::symlink(target.c_str(), link.c_str()) == 0 && ::lchown(link.c_str(), 1, 1) == 0;
}

// Whatever is written at a planted link, the file it points to stays as it
// was: -i and a backup replace the link itself; -o, --counts and the
// window's Save refuse a link that another user made.
TEST_F(InPlace, PlantedLinksLeaveWhatTheyPointTo)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "planting another user's link takes root";
    const std::string secret = (folder / "secret").string();
    const std::string link = (folder / "link").string();
    const std::string dict = (folder / "dict.txt").string();
    WriteBytes(dict, "b\tB\n");
    auto run = [&](std::vector<const char*> args) {
        args.insert(args.begin(), {"velmora-replace", "-q", "-d", dict.c_str()});
        return RunReplaceProgram(int(args.size()), args.data()) == 0;
    };
    struct Case {
        const char* name;
        std::string planted; // where the link is put
        std::function<bool()> write;
        bool ok;
        std::string replacedBy; // what the planted name holds after; empty: still the link
    };
    const std::string replaced = std::string(5000, 'a') + "B" + std::string(5000, 'c');
    StreamReplacer streamer(matcher, false, 1000);
    // The output folder is the planted link, to a folder this time: true
    // when the text was written through it.
    const fs::path victim = folder / "victim";
    auto intoPlantedFolder = [&](const char* follow) {
        fs::create_directory(victim);
        fs::remove(link);
        std::vector<const char*> args = {"--output-dir", link.c_str(), path.c_str()};
        if (follow)
            args.push_back(follow);
        return PlantLink(victim.string(), link) && run(args) && fs::exists(victim / "text.txt");
    };
    const Case cases[] = {
        {"-i", link, [&] { return ReplaceInPlace(link, "", streamer, nullptr, nullptr).ok; }, true, replaced},
        {"backup", path + ".bak", [&] { return ReplaceInPlace(path, ".bak", streamer, nullptr, nullptr).ok; }, true,
         old},
        {"-o", link, [&] { return run({"-o", link.c_str(), path.c_str()}); }, false, ""},
        {"--counts", link, [&] { return run({"--counts", link.c_str(), path.c_str()}); }, false, ""},
        {"--output-dir", link, [&] { return intoPlantedFolder(nullptr); }, false, ""},
        {"--output-dir --follow-symlinks", link, [&] { return intoPlantedFolder("--follow-symlinks"); }, true, ""},
        {"window Save", link, [&] { return WriteTextFile(link, u"a\tb\n"); }, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(path, old);
        WriteBytes(secret, old);
        ASSERT_TRUE(PlantLink(secret, c.planted));
        EXPECT_EQ(c.write(), c.ok);
        EXPECT_TRUE(ReadBytes(secret) == old);
        EXPECT_EQ(fs::is_symlink(c.planted), c.replacedBy.empty());
        EXPECT_TRUE(c.replacedBy.empty() || ReadBytes(c.planted) == c.replacedBy);
        fs::remove(c.planted);
    }
}

// A temporary file is removed by a later writer once no writer holds its
// lock, wherever that writer runs (here a process id that exists in no
// namespace this one sees); the backup's are too, and a backup that is a
// second name of the file leaves no temporary name behind.
TEST_F(InPlace, AbandonedTemporariesAreRemovedLiveOnesKept)
{
    const std::string abandoned = (folder / ".text.txt.999999999.abcdefgh.tmp").string();
    const std::string backupLeft = (folder / ".text.txt.bak.999999999.abcdefgh.tmp").string();
    const std::string live = (folder / ".text.txt.999999999.livelive.tmp").string();
    for (const std::string& name : {abandoned, backupLeft, live})
        WriteBytes(name, "part");
    const int held = ::open(live.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    fs::create_hard_link(path, path + ".bak");

    StreamReplacer streamer(matcher, false, 1000);
    ASSERT_TRUE(ReplaceInPlace(path, ".bak", streamer, nullptr, nullptr).ok);
    EXPECT_EQ(FolderNames(folder), (std::vector<std::string>{".text.txt.999999999.livelive.tmp", "text.txt",
                                                             "text.txt.bak"}));
    EXPECT_EQ(ReadBytes(path + ".bak"), old);
    ::close(held);
    ASSERT_TRUE(ReplaceInPlace(path, "", streamer, nullptr, nullptr).ok);
    EXPECT_EQ(FolderNames(folder), (std::vector<std::string>{"text.txt", "text.txt.bak"}));
}

// What a signal handler removes: every temporary file, however many are open.
TEST_F(InPlace, SignalCleanUpKnowsEveryTemporary)
{
    std::vector<std::unique_ptr<AtomicFile>> files;
    for (int i = 0; i < 300; ++i) {
        files.push_back(std::make_unique<AtomicFile>());
        ASSERT_TRUE(files.back()->Open((folder / std::to_string(i)).string()));
    }
    RemoveOpenTemporaryFiles();
    EXPECT_EQ(FolderNames(folder), std::vector<std::string>{"text.txt"});
}

} // namespace
