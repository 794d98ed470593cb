// Arbitrary bytes through decoding and the line scanner, checked against the
// line pattern searched with Boost.Regex and against a plain reading of what
// the pattern means, then saved and read back.
//
// Without FF FE in front the input is read as if it had it, so that the
// fuzzer does not spend its time finding the mark.
#include "DictionaryReader.h"
#include "DictionaryWriter.h"
#include "Replacer.h"

#include <boost/regex.hpp>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

namespace {

using Pairs = std::vector<std::pair<std::u16string, std::u16string>>;

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "dictionary fuzz: %s\n", what);
    std::abort();
}

void Check(bool ok, const char* what)
{
    if (!ok)
        Fail(what);
}

bool IsLineEnd(char16_t c)
{
    return c == u'\r' || c == u'\n';
}

// Where "^" matches: at the start, and behind LF, CR, FF, U+0085, U+2028 or
// U+2029, except between CR and LF.
bool IsLineStart(std::u16string_view t, size_t p)
{
    if (p == 0)
        return true;
    const char16_t prev = t[p - 1];
    const bool separator = IsLineEnd(prev) || prev == u'\f' || prev == u'\u0085' || prev == u'\u2028'
        || prev == u'\u2029';
    return separator && !(prev == u'\r' && p < t.size() && t[p] == u'\n');
}

// The line pattern spelt out: from each line start, the before-string runs to
// the first TAB, the after-string is the run behind it without TAB, CR or LF,
// the rest of the line is skipped and at least one CR or LF must follow.
Pairs ReadPlainly(std::u16string t)
{
    if (!t.empty() && !IsLineEnd(t.back()))
        t += u'\n';
    const size_t n = t.size();
    Pairs pairs;
    size_t from = 0;
    for (bool found = true; found;) {
        found = false;
        for (size_t p = from; p < n && !found; ++p) {
            if (!IsLineStart(t, p))
                continue;
            const size_t tab = t.find(u'\t', p);
            if (tab == std::u16string::npos || tab == p)
                continue;
            size_t afterEnd = tab + 1;
            while (afterEnd < n && t[afterEnd] != u'\t' && !IsLineEnd(t[afterEnd]))
                ++afterEnd;
            if (afterEnd == tab + 1)
                continue;
            size_t lineEnd = afterEnd;
            while (lineEnd < n && !IsLineEnd(t[lineEnd]))
                ++lineEnd;
            if (lineEnd == n)
                continue;
            while (lineEnd < n && IsLineEnd(t[lineEnd]))
                ++lineEnd;
            pairs.emplace_back(t.substr(p, tab - p), t.substr(tab + 1, afterEnd - tab - 1));
            from = lineEnd;
            found = true;
        }
    }
    return pairs;
}

// The line pattern itself, searched over the units widened to wchar_t with
// every search based at the text's start, so that "^" sees the unit before
// it. Empty when Boost gives up on a match too complex to finish.
std::optional<Pairs> ReadWithRegex(std::u16string t)
{
    if (!t.empty() && !IsLineEnd(t.back()))
        t += u'\n';
    const std::wstring wide(t.begin(), t.end());
    static const boost::wregex pattern(L"^([^\\t]+)\t([^\\t\\r\\n]+)[^\\r\\n]*[\\r\\n]+");
    auto units = [](const boost::wssub_match& group) {
        std::u16string out;
        for (const wchar_t c : group)
            out += char16_t(c);
        return out;
    };
    Pairs pairs;
    boost::wsmatch match;
    try {
        for (auto from = wide.cbegin();
             boost::regex_search(from, wide.cend(), match, pattern, boost::match_default, wide.cbegin());
             from = match[0].second)
            pairs.emplace_back(units(match[1]), units(match[2]));
    } catch (const std::runtime_error&) {
        return std::nullopt;
    }
    return pairs;
}

Pairs Parse(std::u16string_view text)
{
    Pairs pairs;
    const size_t count = ParseDictionaryText(text, [&](std::u16string_view before, std::u16string_view after) {
        pairs.emplace_back(before, after);
    });
    Check(count == pairs.size(), "count differs from the pairs handed over");
    return pairs;
}

Pairs SortedEntries(Replacer& r)
{
    r.RebuildEntries();
    Pairs out;
    for (const auto& e : r.m_entries)
        out.emplace_back(e->before, e->after);
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const bool marked = size >= 2 && data[0] == 0xFF && data[1] == 0xFE;
    const std::optional<std::u16string> decoded = DecodeDictionaryBytes(input);
    Check(decoded.has_value() == marked, "mark check");
    const std::string bytes = marked ? std::string(input) : "\xFF\xFE" + std::string(input);
    const std::u16string text = *DecodeDictionaryBytes(bytes);
    Check(text.size() == (bytes.size() - 2) / 2, "decoded length");
    for (size_t i = 0; i < text.size(); ++i)
        Check(text[i] == (uint8_t(bytes[2 + 2 * i]) | uint8_t(bytes[3 + 2 * i]) << 8), "decoded unit");

    // The scanner, the regex and the plain reading agree on every pair, in order.
    const Pairs found = Parse(text);
    if (found != ReadPlainly(text))
        Fail("scanner and plain reading differ");
    if (const std::optional<Pairs> searched = ReadWithRegex(text); searched && *searched != found)
        Fail("scanner and regex search differ");

    Replacer first;
    Check(ParseDictionaryText(text, first) == found.size(), "Replacer count");
    first.RebuildEntries();
    for (const auto& e : first.m_entries) {
        // The empty before-string shows as a single U+0000.
        Check(!e->before.empty(), "empty before-string entry");
        Check(e->before == std::u16string(1, u'\0') || e->before.find(u'\0') == std::u16string::npos,
            "U+0000 in a before-string");
        Check(e->before.find(u'\t') == std::u16string::npos, "TAB in a before-string");
        Check(!e->after.empty(), "empty after-string entry");
        Check(e->after.find_first_of(std::u16string_view(u"\t\r\n\0", 4)) == std::u16string::npos,
            "TAB, CR, LF or U+0000 in an after-string");
    }

    // Saved and read back, each line gives its pair again, except that a
    // line end the previous line swallows is lost from the front of a
    // before-string. A before-string of nothing else leaves its TAB at the
    // search start; the search then goes on at the next line start, which
    // may lie inside that line's after-string (behind U+2028, say), so only
    // the plain reading can tell what comes of it.
    const std::u16string saved = BuildDictionaryText(first.m_entries);
    Check(DecodeDictionaryBytes(EncodeDictionaryBytes(saved)) == saved, "encode and decode");
    const Pairs reread = Parse(saved);
    if (reread != ReadPlainly(saved))
        Fail("pattern and plain reading differ on a saved text");
    Pairs expected;
    bool shortened = false;
    bool lost = false;
    for (size_t i = 0; i < first.m_entries.size(); ++i) {
        const ReplaceEntry& e = *first.m_entries[i];
        const size_t keep = i == 0 ? 0 : std::min(e.before.find_first_not_of(u"\r\n"), e.before.size());
        shortened |= keep > 0;
        lost |= keep == e.before.size();
        expected.emplace_back(e.before.substr(keep), e.after);
    }
    if (!lost && reread != expected)
        Fail("saved text reads back differently");

    if (!shortened) {
        Replacer second;
        ParseDictionaryText(saved, second);
        if (SortedEntries(second) != SortedEntries(first))
            Fail("round trip changed the dictionary");
    }
    return 0;
}
