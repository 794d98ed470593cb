// velmora_replace DICT TEXT OUT [gloss]: the whole replacement as one process,
// for comparison with peer programs. DICT is UTF-16LE with FF FE, one
// "before TAB after" line a pair; TEXT and OUT are UTF-16LE without a mark.
// Timings and peak memory go to stderr.
#include "Replacer.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point from)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

double PeakMb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

// Resident memory now, in MB.
double RssMb()
{
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return double(resident) * 4096.0 / (1024.0 * 1024.0);
}

bool ReadUnits(const char* path, std::u16string& out, size_t skipBytes)
{
    FILE* f = std::fopen(path, "rb");
    if (!f)
        return false;
    bool ok = std::fseek(f, 0, SEEK_END) == 0;
    const long size = ok ? std::ftell(f) : -1;
    ok = size >= long(skipBytes) && std::fseek(f, long(skipBytes), SEEK_SET) == 0;
    if (ok) {
        out.resize((size_t(size) - skipBytes) / 2); // little-endian host
        ok = std::fread(out.data(), 2, out.size(), f) == out.size();
    }
    std::fclose(f);
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: velmora_replace DICT TEXT OUT [gloss]\n");
        return 2;
    }
    const bool gloss = argc > 4 && std::strcmp(argv[4], "gloss") == 0;
    const auto start = Clock::now();

    Replacer replacer;
    {
        std::u16string dict;
        if (!ReadUnits(argv[1], dict, 2)) {
            std::fprintf(stderr, "cannot read %s\n", argv[1]);
            return 1;
        }
        // Lines split by hand: before TAB after LF.
        if (dict.empty() || dict.back() != u'\n')
            dict += u'\n';
        // Added together, as the dictionary reader adds them.
        replacer.ReserveNodes(dict.size() / 4);
        std::vector<std::pair<std::u16string_view, std::u16string_view>> pairs;
        const std::u16string_view units = dict;
        size_t line = 0;
        while (line < dict.size()) {
            const size_t end = dict.find(u'\n', line);
            const size_t tab = dict.find(u'\t', line);
            if (tab < end)
                pairs.emplace_back(units.substr(line, tab - line), units.substr(tab + 1, end - tab - 1));
            line = end + 1;
        }
        replacer.AddPairs(pairs);
        replacer.Scan(u""); // compile the matcher
    }
    const double loadMs = Ms(start);

    auto step = Clock::now();
    std::u16string text;
    if (!ReadUnits(argv[2], text, 0)) {
        std::fprintf(stderr, "cannot read %s\n", argv[2]);
        return 1;
    }
    const double readMs = Ms(step);
    const double rssBeforeScan = RssMb();

    step = Clock::now();
    replacer.Scan(text);
    const double scanMs = Ms(step);
    const double rssAfterScan = RssMb();
    step = Clock::now();
    const std::u16string out = gloss ? replacer.BuildGlossed(text) : replacer.BuildReplaced(text);
    const double buildMs = Ms(step);

    step = Clock::now();
    std::ofstream f(argv[3], std::ios::binary);
    f.write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size() * 2));
    f.close();
    if (!f) {
        std::fprintf(stderr, "cannot write %s\n", argv[3]);
        return 1;
    }
    const double writeMs = Ms(step);

    std::fprintf(stderr,
                 "velmora: load %.1f ms, read %.1f ms, scan %.1f ms, build %.1f ms, write %.1f ms, total %.1f ms; "
                 "matches %zu; peak RSS %.1f MB (resident %.1f MB before the scan, %.1f MB after it)\n",
                 loadMs, readMs, scanMs, buildMs, writeMs, Ms(start), replacer.GetMatchCount(), PeakMb(),
                 rssBeforeScan, rssAfterScan);
    return 0;
}
