// Helpers shared by the engine tests.
#pragma once

#include "Replacer.h"
#include "TextScan.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using Pairs = std::vector<std::pair<std::u16string, std::u16string>>;

inline void AddAll(Replacer& r, const Pairs& pairs)
{
    for (const auto& [before, after] : pairs)
        r.AddPair(before.c_str(), after.c_str());
}

inline std::u16string Replaced(Replacer& r, const std::u16string& text)
{
    r.Scan(text);
    return r.BuildReplaced(text);
}

inline std::u16string Glossed(Replacer& r, const std::u16string& text)
{
    r.Scan(text);
    return r.BuildGlossed(text);
}

inline std::vector<std::pair<std::u16string, std::u16string>> Entries(const Replacer& r)
{
    std::vector<std::pair<std::u16string, std::u16string>> out;
    for (const auto& e : r.m_entries)
        out.emplace_back(e->before, e->after);
    return out;
}

// Each way a dictionary can be compiled and scanned: every layout, and the
// reverse automaton throughout. The case tables run under each, since all
// must find the same matches.
struct Engine {
    const char* name;
    MatcherLayout layout;
    ScanMethod method;
};

inline const Engine kEngines[] = {
    {"Automatic", MatcherLayout::Automatic, ScanMethod::Automatic},
    {"Records", MatcherLayout::Records, ScanMethod::Automatic},
    {"Rows", MatcherLayout::Rows, ScanMethod::Automatic},
    {"DoubleArray", MatcherLayout::DoubleArray, ScanMethod::Automatic},
    {"Reverse", MatcherLayout::Automatic, ScanMethod::Reverse},
};

inline void PrintTo(const Engine& engine, std::ostream* out)
{
    *out << engine.name;
}

inline std::string EngineName(const testing::TestParamInfo<Engine>& info)
{
    return info.param.name;
}

// The output for `text` with what `r` holds, compiled and scanned as `engine`.
inline std::u16string Output(const Replacer& r, const Engine& engine, const std::u16string& text, bool gloss)
{
    TextScan scan(r.Compile(engine.layout, engine.method));
    scan.Scan(text);
    return gloss ? scan.BuildGlossed(text) : scan.BuildReplaced(text);
}

// Readable failure messages for UTF-16 strings.
inline std::string Narrow(const std::u16string& s)
{
    std::string out;
    for (char16_t c : s) {
        if (c >= 0x20 && c < 0x7f)
            out += char(c);
        else {
            char buf[16];
            snprintf(buf, sizeof buf, "\\u%04X", unsigned(c));
            out += buf;
        }
    }
    return out;
}
