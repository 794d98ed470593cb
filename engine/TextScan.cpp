#include "TextScan.h"

#include "CompiledMatcher.h"
#include "MatchList.h"
#include "RangeScan.h"
#include "RunParts.h"
#include "detail/MatcherCore.h"

#include <algorithm>
#include <cstring>
#include <vector>

TextScan::TextScan(std::shared_ptr<const CompiledMatcher> matcher)
    : m_matcher(std::move(matcher))
    , m_matches(std::make_unique<MatchList>())
{
}

TextScan::~TextScan() = default;
TextScan::TextScan(TextScan&&) noexcept = default;
TextScan& TextScan::operator=(TextScan&&) noexcept = default;

void TextScan::Scan(std::u16string_view text)
{
    m_matches->Clear();
    m_threads = 1;
    m_scannedLength = text.size();
    ScanRange(*m_matcher, text, 0, text.size(), *m_matches);
}

size_t TextScan::ScanFront(std::u16string_view text, unsigned threads)
{
    return ScanFront(text, PartCuts(SettledStop(text.size()), threads));
}

size_t TextScan::ScanFront(std::u16string_view text, const std::vector<size_t>& cuts)
{
    if (m_matcher->MaxBeforeLength() == 0) {
        m_matches->Clear();
        m_threads = 1;
        m_scannedLength = text.size();
        return text.size();
    }
    m_scannedLength = ScanParts(text, cuts, SettledStop(text.size()));
    return m_scannedLength;
}

// A match at a position at least the longest before-string away from the
// end is final (RangeScan.h): nothing that follows can lengthen it. The
// first visited position closer to the end than that is where the settled
// prefix ends.
size_t TextScan::SettledStop(size_t length) const
{
    const size_t reach = m_matcher->MaxBeforeLength();
    return reach == 0 ? length : length - std::min(length, reach - 1);
}

size_t TextScan::GetMatchCount() const
{
    return m_matches->Size();
}

void TextScan::ForEachMatch(const std::function<void(size_t, std::u16string_view, std::u16string_view)>& f) const
{
    m_matches->ForEach([&](const FoundMatch& m) { f(m.start, m_matcher->Before(m.pair), m_matcher->After(m.pair)); });
}

namespace {
// Below this many units a builder does not split its work.
constexpr size_t kParallelOutput = size_t(1) << 18;
constexpr size_t kShortCopy = Details::MatcherCore::kTextPadding;

// Writes `length` units of `s` to `d` and returns the end of them. Most
// strings are short: with `padded` (readable past their end, as the
// matcher's text is) they are copied as one fixed block of kShortCopy units
// where the output has room for it before `end`, behind which another
// thread may be writing.
inline char16_t* PutUnits(char16_t* d, const char16_t* s, size_t length, bool padded, const char16_t* end)
{
    if (padded && length <= kShortCopy && d + kShortCopy <= end)
        std::memcpy(d, s, kShortCopy * sizeof(char16_t));
    else
        std::memcpy(d, s, length * sizeof(char16_t));
    return d + length;
}

// Writes to `d` the text from `k` up to match `m`, then the match's output;
// returns where the writing ended.
inline char16_t* PutMatch(const Details::MatcherCore& matcher, std::u16string_view text, size_t k, const FoundMatch& m,
                          bool gloss, char16_t* d, const char16_t* end)
{
    const std::u16string_view before = matcher.Before(m.pair);
    const std::u16string_view after = matcher.After(m.pair);
    d = PutUnits(d, text.data() + k, m.start - k, k + kShortCopy <= text.size(), end);
    if (gloss) {
        d = PutUnits(d, before.data(), before.size(), true, end);
        *d++ = u'[';
    }
    d = PutUnits(d, after.data(), after.size(), true, end);
    if (gloss)
        *d++ = u']';
    return d;
}

// Calls f(m) for each match m of `block` in order. A match's pair may lie
// anywhere in the matcher: its record is asked for sixteen matches ahead
// and, with `strings`, its strings eight ahead, so that f does not wait for
// them.
template <typename F>
inline void ForEachMatchAhead(const Details::MatcherCore& core, const MatchList::Block& block, bool strings, F&& f)
{
    constexpr uint32_t kRecordAhead = 16, kStringsAhead = 8;
    for (uint32_t i = block.begin; i < block.end; ++i) {
        if (i + kRecordAhead < block.end) {
            core.PrefetchPair(block.data[i + kRecordAhead].pair);
            if (strings)
                core.PrefetchStrings(block.data[i + kStringsAhead].pair);
        }
        f(block.data[i]);
    }
}

// Runs f(b) for every b below `count`, spread over up to `threads` threads.
template <typename F>
void ForEachBlock(size_t count, unsigned threads, const F& f)
{
    const size_t parts = std::max<size_t>(1, std::min<size_t>(threads, count));
    RunParts(parts, [&](size_t t) {
        for (size_t b = t; b < count; b += parts)
            f(b);
    });
}
} // namespace

// Each block of matches writes the text from the end of the previous block's
// last match to the end of its own. A block's share of the output is its
// stretch of text plus what its matches add, so every block measures its own
// and only the running sum over blocks is sequential; the blocks are then
// written in parallel.
bool TextScan::AppendOutput(std::u16string_view text, bool gloss, std::u16string& out) const
{
    if (text.size() != m_scannedLength)
        return false;
    const size_t start = out.size();
    out.resize(start + PutOutput(text, gloss, out, start));
    return true;
}

size_t TextScan::PutOutput(std::u16string_view text, bool gloss, std::u16string& out, size_t start) const
{
    // No matcher before the first scan, and then no matches either.
    const Details::MatcherCore* const core = m_matcher ? &m_matcher->Core() : nullptr;
    const std::vector<MatchList::Block>& blocks = m_matches->Blocks();
    const unsigned threads = text.size() >= kParallelOutput ? m_threads : 1;
    struct Share {
        size_t to;        // text: the end of the block's last match
        ptrdiff_t growth; // output units its matches add to their text
        size_t from;      // text, and
        size_t at;        // output, where the block starts
    };
    constexpr size_t kNone = ~size_t(0); // an empty block's end
    std::vector<Share> shares(blocks.size());
    ForEachBlock(blocks.size(), threads, [&](size_t b) {
        ptrdiff_t growth = 0;
        ForEachMatchAhead(*core, blocks[b], false, [&](const FoundMatch& m) {
            const ptrdiff_t before = ptrdiff_t(core->BeforeLength(m.pair));
            const ptrdiff_t after = ptrdiff_t(core->After(m.pair).size());
            growth += gloss ? after + 2 : after - before;
        });
        shares[b].growth = growth;
        shares[b].to = kNone;
        if (blocks[b].end != blocks[b].begin) {
            const FoundMatch& last = blocks[b].data[blocks[b].end - 1];
            shares[b].to = size_t(last.start) + core->BeforeLength(last.pair);
        }
    });
    size_t from = 0, at = 0;
    for (Share& share : shares) {
        if (share.to == kNone)
            share.to = from;
        share.from = from;
        share.at = at;
        at += share.to - from + size_t(share.growth);
        from = share.to;
    }
    const size_t length = at + (text.size() - from);
    if (out.size() < start + length)
        out.resize(start + length);
    char16_t* const dst = out.data() + start;
    const char16_t* const dstEnd = dst + length;

    ForEachBlock(blocks.size(), threads, [&](size_t b) {
        char16_t* d = dst + shares[b].at;
        const char16_t* const end = b + 1 < shares.size() ? dst + shares[b + 1].at : dstEnd;
        size_t k = shares[b].from;
        ForEachMatchAhead(*core, blocks[b], true, [&](const FoundMatch& m) {
            d = PutMatch(*core, text, k, m, gloss, d, end);
            k = size_t(m.start) + core->BeforeLength(m.pair);
        });
    });
    std::memcpy(dst + at, text.data() + from, (text.size() - from) * sizeof(char16_t));
    return length;
}

void TextScan::BuildShare(std::u16string_view text, size_t from, size_t to, const MatchList& matches, bool gloss,
                          OutputPart& out) const
{
    const Details::MatcherCore& core = m_matcher->Core();
    // Room for the text and a quarter more; the matches ask for more when
    // they need it.
    const size_t length = to - from;
    if (out.units.size() < length + length / 4 + 2 * kShortCopy)
        out.units.resize(length + length / 4 + 2 * kShortCopy);
    char16_t* base = out.units.data();
    char16_t* d = base;
    size_t k = from;
    auto put = [&](const FoundMatch& m) {
        const size_t before = core.BeforeLength(m.pair);
        const size_t after = core.After(m.pair).size();
        // Room behind the write for PutMatch's blocks of kShortCopy units.
        const size_t need = (m.start - k) + after + (gloss ? before + 2 : 0) + kShortCopy;
        if (size_t(d - base) + need > out.units.size()) {
            const size_t at = size_t(d - base);
            out.units.resize(std::max(out.units.size() * 2, at + need));
            base = out.units.data();
            d = base + at;
        }
        d = PutMatch(core, text, k, m, gloss, d, base + out.units.size());
        k = size_t(m.start) + before;
    };
    for (const MatchList::Block& b : matches.Blocks())
        ForEachMatchAhead(core, b, true, put);
    const size_t at = size_t(d - base);
    if (at + (to - k) > out.units.size())
        out.units.resize(at + (to - k));
    base = out.units.data();
    std::memcpy(base + at, text.data() + k, (to - k) * sizeof(char16_t));
    out.size = at + (to - k);
    out.changed = out.size != length || std::memcmp(base, text.data() + from, length * sizeof(char16_t)) != 0;
}

std::u16string TextScan::BuildReplaced(std::u16string_view text) const
{
    std::u16string out;
    AppendOutput(text, false, out);
    return out;
}

std::u16string TextScan::BuildGlossed(std::u16string_view text) const
{
    std::u16string out;
    AppendOutput(text, true, out);
    return out;
}
