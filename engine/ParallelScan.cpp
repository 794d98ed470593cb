// A long text scanned by several threads at once. Each thread scans its part
// from the part's first unit as if a match could start there; the sequential
// scan may instead enter the part later, inside one of those matches. From
// that entry the part is scanned again until the two scans visit the same
// position: from there on they agree (RangeScan.h), so the rest of the part's
// matches stand, and only the short stretch before it is redone.
#include "TextScan.h"

#include "CompiledMatcher.h"
#include "MatchList.h"
#include "RangeScan.h"
#include "RunParts.h"
#include "detail/MatcherCore.h"

#include <algorithm>
#include <vector>

namespace {

// Below this many units per thread a text is scanned by one thread.
constexpr size_t kMinPart = size_t(1) << 18;
// Units scanned again at a time while looking for the meeting point.
constexpr size_t kRedoWindow = 256;

struct Part {
    size_t begin = 0;
    size_t end = 0; // first position the part's scan did not visit
    MatchList matches;
};

// The sequential scan enters `part` at `entry`. Pushes the matches it finds
// there to `out` and returns where it leaves the part, or where it stops at
// or past `stop` when it never meets the part's own scan.
size_t Join(const CompiledMatcher& matcher, std::u16string_view text, size_t entry, size_t stop, Part& part,
            MatchList& out)
{
    const Details::MatcherCore& core = matcher.Core();
    MatchList& guess = part.matches;
    // Whether the part's own scan visited `at`: it visits everything but the
    // inside of its matches, up to its end.
    auto meets = [&](size_t at) {
        if (at >= part.end)
            return true;
        while (guess.Size() != 0 && guess.Front().start < at) {
            const FoundMatch& f = guess.Front();
            if (f.start + core.BeforeLength(f.pair) > at)
                return false;
            guess.PopFront();
        }
        return true;
    };
    size_t at = entry;
    while (!meets(at)) {
        if (at >= stop)
            return at;
        MatchList redo;
        const size_t next = ScanRange(matcher, text, at, std::min(at + kRedoWindow, stop), redo);
        // Walk the redone positions in order until one is shared.
        bool met = false;
        redo.ForEach([&](const FoundMatch& m) {
            if (met)
                return;
            for (; at < m.start; ++at)
                if (meets(at)) {
                    met = true;
                    return;
                }
            if (meets(at)) {
                met = true;
                return;
            }
            out.Push(m);
            at = m.start + core.BeforeLength(m.pair);
        });
        if (met)
            break;
        for (; at < next && !meets(at); ++at) {
        }
    }
    if (at >= part.end)
        return at; // the part's own matches all lay before the meeting point
    out.Splice(std::move(guess));
    return part.end;
}

} // namespace

std::vector<size_t> TextScan::PartCuts(size_t length, unsigned threads)
{
    const size_t parts = std::min<size_t>(threads, length / kMinPart);
    std::vector<size_t> cuts;
    for (size_t p = 1; p < parts; ++p)
        cuts.push_back(length * p / parts);
    return cuts;
}

void TextScan::ScanParallel(std::u16string_view text, unsigned threads)
{
    const std::vector<size_t> cuts = PartCuts(text.size(), threads);
    if (cuts.empty())
        Scan(text);
    else
        ScanSplit(text, cuts);
}

void TextScan::ScanSplit(std::u16string_view text, const std::vector<size_t>& cuts)
{
    m_scannedLength = text.size();
    ScanParts(text, cuts, text.size());
}

size_t TextScan::ScanParts(std::u16string_view text, const std::vector<size_t>& cuts, size_t stop)
{
    std::vector<MatchList> lists;
    std::vector<size_t> shares;
    ScanShares(text, cuts, stop, lists, shares);
    for (MatchList& list : lists)
        m_matches->Splice(std::move(list));
    return shares.back();
}

void TextScan::ScanShares(std::u16string_view text, const std::vector<size_t>& cuts, size_t stop,
                          std::vector<MatchList>& lists, std::vector<size_t>& shares)
{
    m_matches->Clear();
    m_threads = unsigned(cuts.size() + 1);

    std::vector<Part> scanned(cuts.size() + 1);
    auto scan = [&](size_t p) {
        Part& part = scanned[p];
        part.begin = p == 0 ? 0 : std::min(cuts[p - 1], stop);
        const size_t partStop = p < cuts.size() ? std::min(cuts[p], stop) : stop;
        part.end = ScanRange(*m_matcher, text, part.begin, partStop, part.matches);
    };
    RunParts(scanned.size(), scan);

    lists.clear();
    lists.resize(scanned.size());
    shares.assign({0, scanned[0].end});
    lists[0].Splice(std::move(scanned[0].matches));
    for (size_t p = 1; p < scanned.size(); ++p) {
        const size_t at = shares.back();
        if (at == scanned[p].begin) {
            lists[p].Splice(std::move(scanned[p].matches));
            shares.push_back(scanned[p].end);
        } else {
            shares.push_back(Join(*m_matcher, text, at, stop, scanned[p], lists[p]));
        }
    }
}

size_t TextScan::ScanAndBuild(std::u16string_view text, unsigned threads, bool whole, bool gloss,
                              std::vector<OutputPart>& parts)
{
    const size_t stop = whole ? text.size() : SettledStop(text.size());
    return ScanAndBuild(text, PartCuts(stop, threads), whole, gloss, parts);
}

size_t TextScan::ScanAndBuild(std::u16string_view text, const std::vector<size_t>& cuts, bool whole, bool gloss,
                              std::vector<OutputPart>& parts)
{
    const size_t stop = whole ? text.size() : SettledStop(text.size());
    std::vector<MatchList> lists;
    std::vector<size_t> shares;
    ScanShares(text, cuts, stop, lists, shares);
    parts.resize(lists.size());
    RunParts(lists.size(), [&](size_t p) { BuildShare(text, shares[p], shares[p + 1], lists[p], gloss, parts[p]); });
    for (MatchList& list : lists)
        m_matches->Splice(std::move(list));
    m_scannedLength = shares.back();
    return m_scannedLength;
}
