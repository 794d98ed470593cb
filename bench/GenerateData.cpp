// velmora_gen DIR [PAIRS] [UNITS]: writes the benchmark data in the forms the
// peers read: dict.u16 / text.u16 (UTF-16LE; the dictionary with FF FE, one
// "before TAB after LF" line a pair) and dict.tsv / text.txt (UTF-8).
#include "BenchData.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

std::string Utf8(const std::u16string& s)
{
    std::string out;
    out.reserve(s.size() * 3);
    for (size_t i = 0; i < s.size(); ++i) {
        uint32_t c = s[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string Utf16le(const std::u16string& s)
{
    std::string out(s.size() * 2, '\0');
    for (size_t i = 0; i < s.size(); ++i) {
        out[2 * i] = char(s[i] & 0xFF);
        out[2 * i + 1] = char(s[i] >> 8);
    }
    return out;
}

bool Write(const std::string& path, const std::string& bytes)
{
    std::ofstream f(path, std::ios::binary);
    f.write(bytes.data(), std::streamsize(bytes.size()));
    return bool(f);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: velmora_gen DIR [PAIRS] [UNITS]\n");
        return 2;
    }
    const std::string dir = argv[1];
    const size_t pairs = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 200000;
    const size_t units = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 10000000;

    const std::vector<BenchPair> dictionary = MakeDictionary(pairs);
    std::u16string tsv;
    for (const BenchPair& p : dictionary)
        tsv += p.before + u'\t' + p.after + u'\n';
    const std::u16string text = MakeText(dictionary, units);

    const bool ok = Write(dir + "/dict.u16", "\xFF\xFE" + Utf16le(tsv)) && Write(dir + "/dict.tsv", Utf8(tsv))
        && Write(dir + "/text.u16", Utf16le(text)) && Write(dir + "/text.txt", Utf8(text));
    if (!ok) {
        std::fprintf(stderr, "velmora_gen: cannot write to %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
