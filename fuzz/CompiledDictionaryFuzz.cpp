// Compiled dictionary files cut short and with bytes changed, opened and, when
// accepted, scanned: no input may be read out of bounds (the sanitizers
// watch), and one changed without its checksum made to match is refused.
//
// The input is either a whole file (first byte even) or, so that the fuzzer
// need not carry 300 KB of tables in every input, edits to one of a few real
// files compiled here (first byte odd):
//   byte 1      which file (mod 3); bit 7: cut it to the length below
//   byte 2      bit 0: make the checksum match afterwards
//   bytes 3-6   the length to cut to (mod the file's size)
//   then 6 bytes per edit: the section (mod 6: the header and table, the
//   root transitions, the classes, the states, the pairs, the text), an
//   offset within it (4 bytes, mod its size) and a byte to XOR there.
#include "CompiledDictionary.h"
#include "CompiledMatcher.h"
#include "MatchList.h"
#include "RangeScan.h"
#include "Replacer.h"
#include "TextScan.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

void Check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "compiled dictionary fuzz: %s\n", what);
        std::abort();
    }
}

std::string Compile(const std::vector<std::u16string>& befores)
{
    std::vector<std::pair<std::u16string_view, std::u16string_view>> pairs;
    for (const std::u16string& before : befores)
        pairs.emplace_back(before, u"xy");
    return CompiledDictionary::ToBytes(*Replacer::CompilePairs(pairs));
}

// A double array; records with a row of classes; long shared prefixes.
const std::vector<std::string>& Bases()
{
    static const std::vector<std::string> bases = [] {
        std::vector<std::u16string> few = {u"ab", u"abc", u"b", u"bcd", u"ca", u"\xD83D\xDE00"};
        std::vector<std::u16string> wide = few;
        for (char16_t u = 0x4E00; u < 0x4E00 + 300; ++u)
            wide.push_back(std::u16string(u"a") + u + u'b');
        std::vector<std::u16string> runs;
        for (size_t k = 1; k < 40; k += 3)
            runs.push_back(std::u16string(k, u'a') + u'b');
        return std::vector<std::string>{Compile(few), Compile(wide), Compile(runs)};
    }();
    return bases;
}

uint32_t Read32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Where each part of a file begins, from its own section table.
std::vector<std::pair<size_t, size_t>> Parts(const std::string& file)
{
    std::vector<std::pair<size_t, size_t>> parts{{0, 64 + 5 * 24}};
    for (size_t k = 0; k < 5; ++k) {
        uint64_t offset, count;
        uint32_t element;
        std::memcpy(&element, file.data() + 64 + k * 24 + 4, 4);
        std::memcpy(&offset, file.data() + 64 + k * 24 + 8, 8);
        std::memcpy(&count, file.data() + 64 + k * 24 + 16, 8);
        parts.emplace_back(size_t(offset), std::max<size_t>(1, size_t(count * element)));
    }
    return parts;
}

// Scans texts made of the matcher's own before-strings, cut and joined, the
// usual way and with the reverse automaton taking over at once.
void Scan(const CompiledMatcher& matcher, const std::shared_ptr<const CompiledMatcher>& shared)
{
    std::u16string text = u"abcabcdbca\x4E01" u"b" u"aaaaaaab";
    for (uint32_t p = 0; p < matcher.GetPairCount() && p < 50; ++p) {
        const std::u16string_view before = matcher.Before(p);
        text.append(before.substr(0, before.size() - p % 2));
    }
    TextScan scan(shared);
    scan.Scan(text);
    const std::u16string replaced = scan.BuildReplaced(text);
    const std::u16string glossed = scan.BuildGlossed(text);
    Check(glossed.size() >= text.size(), "a gloss is shorter than its text");
    MatchList list;
    ScanRange(matcher, text, 0, text.size(), list, 1);
    scan.ScanFront(text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string file;
    bool changed = false, sealed = false;
    if (size < 7 || data[0] % 2 == 0) {
        file.assign(reinterpret_cast<const char*>(data), size);
    } else {
        const std::string& base = Bases()[data[1] % Bases().size()];
        file = base;
        const auto parts = Parts(base);
        for (size_t at = 7; at + 6 <= size; at += 6) {
            const auto [from, length] = parts[data[at] % parts.size()];
            const size_t where = from + Read32(data + at + 1) % length;
            if (where < file.size())
                file[where] = char(file[where] ^ data[at + 5]);
        }
        if (data[1] & 0x80)
            file.resize(Read32(data + 3) % file.size());
        changed = file != base;
        if ((sealed = (data[2] & 1) != 0))
            CompiledDictionary::Seal(file);
    }
    std::string error;
    const auto matcher = CompiledDictionary::FromBytes(file, error);
    Check(matcher || !error.empty(), "refused without a message");
    Check(!matcher || !changed || sealed, "a changed file passed its checksum");
    if (matcher)
        Scan(*matcher, matcher);
    return 0;
}
