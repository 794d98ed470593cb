// The pairs of a dictionary text, one "before TAB after" line each, found by
// a plain left-to-right reading of the line pattern
//   ^([^\t]+)\t([^\t\r\n]+)[^\r\n]*[\r\n]+
// as a regex search repeated from the end of each match would find them:
// "^" holds at the text's start and behind LF, CR, FF, U+0085, U+2028 and
// U+2029, but not between CR and LF; a last line without a line end is read
// as if it had one. Linear in the text's length.
#pragma once

#include <cstddef>
#include <string_view>

// Calls beforeSearch(pairs so far) before each search for a pair, the last
// one (which finds none) included, and sink(before, after) for every pair found, both
// stretches of `text`; returns the number of pairs. Works on any text whose
// units are UTF-16 code units.
template <class Char, class Hook, class Sink>
size_t ParseDictionaryLines(std::basic_string_view<Char> text, const Hook& beforeSearch, Sink&& sink)
{
    const size_t n = text.size();
    auto isLineEnd = [](Char c) { return c == Char('\r') || c == Char('\n'); };
    // The text and, where it lacks one, a last LF.
    const bool endAdded = n != 0 && !isLineEnd(text[n - 1]);
    const size_t total = n + (endAdded ? 1 : 0);
    auto at = [&](size_t k) { return k < n ? text[k] : Char('\n'); };
    auto isLineStart = [&](size_t p) {
        if (p == 0)
            return true;
        const Char prev = at(p - 1);
        if (prev == Char('\r'))
            return at(p) != Char('\n');
        return prev == Char('\n') || prev == Char('\f') || prev == Char(0x85) || prev == Char(0x2028)
            || prev == Char(0x2029);
    };

    size_t count = 0;
    size_t from = 0;
    size_t tab = 0; // the first TAB at or behind the last place looked at, n for none
    bool tabKnown = false;
    for (;;) {
        if (beforeSearch)
            beforeSearch(count);
        bool found = false;
        for (size_t p = from; p < total; ++p) {
            if (!isLineStart(p))
                continue;
            if (!tabKnown || tab < p) {
                tab = p;
                while (tab < n && text[tab] != Char('\t'))
                    ++tab;
                tabKnown = true;
            }
            if (tab >= n)
                break; // no TAB left: no pair left
            if (tab == p)
                continue;
            size_t afterEnd = tab + 1;
            while (afterEnd < total && at(afterEnd) != Char('\t') && !isLineEnd(at(afterEnd)))
                ++afterEnd;
            if (afterEnd == tab + 1)
                continue;
            size_t lineEnd = afterEnd;
            while (lineEnd < total && !isLineEnd(at(lineEnd)))
                ++lineEnd;
            if (lineEnd == total)
                continue;
            while (lineEnd < total && isLineEnd(at(lineEnd)))
                ++lineEnd;
            sink(text.substr(p, tab - p), text.substr(tab + 1, afterEnd - tab - 1));
            ++count;
            from = lineEnd;
            found = true;
            break;
        }
        if (!found)
            return count;
    }
}
