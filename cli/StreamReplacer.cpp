#include "StreamReplacer.h"

#include "RunParts.h"
#include "Surrogates.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

StreamReplacer::StreamReplacer(std::shared_ptr<const CompiledMatcher> matcher, bool gloss, size_t blockBytes,
                               unsigned threads)
    : m_scan(std::move(matcher))
    , m_gloss(gloss)
    , m_blockBytes(std::max<size_t>(blockBytes, 1))
    , m_threads(std::max(threads, 1u))
{
}

ssize_t ReadBlock(ByteSource& in, char* buffer, size_t size, StreamResult& result,
                  std::atomic<uint64_t>* progress)
{
    const ssize_t n = in.Read(buffer, size);
    if (n < 0) {
        result.failure = StreamResult::Failure::Read;
        result.error = errno;
        return n;
    }
    result.bytes += uint64_t(n);
    if (progress)
        progress->fetch_add(uint64_t(n), std::memory_order_relaxed);
    return n;
}

void CountPairUses(const TextScan& scan, PairUses& uses)
{
    if (scan.GetMatchCount() == 0)
        return;
    scan.ForEachMatch([&](size_t, std::u16string_view before, std::u16string_view after) {
        PairUse& use = uses[before.data()];
        use.before = before;
        use.after = after;
        ++use.count;
    });
}

void StreamReplacer::Account(StreamResult& result, PairUses* uses) const
{
    result.replacements += m_scan.GetMatchCount();
    if (uses)
        CountPairUses(m_scan, *uses);
}

StreamResult StreamReplacer::Check(ByteSource& in)
{
    return CheckText(in, m_read, m_blockBytes);
}

StreamResult StreamReplacer::Run(ByteSource& in, ByteSink& out, PairUses* uses, std::atomic<uint64_t>* progress)
{
    StreamResult result;
    TextDecoder decoder;
    std::optional<TextEncoder> encoder;
    m_read.Grow(m_blockBytes);
    size_t used = 0; // units in m_units
    for (;;) {
        const ssize_t n = ReadBlock(in, m_read.data(), m_blockBytes, result, progress);
        if (n < 0)
            return result;
        const bool last = n == 0;

        if (m_units.size() < used + TextDecoder::MaxUnits(size_t(n)))
            m_units.resize(used + TextDecoder::MaxUnits(size_t(n)));
        size_t decoded = 0;
        const bool ok = last ? decoder.Finish(m_units.data() + used, decoded)
                             : decoder.Decode({m_read.data(), size_t(n)}, m_units.data() + used, decoded, m_threads);
        if (!ok) {
            result.failure = StreamResult::Failure::Decode;
            result.message = decoder.Error();
            return result;
        }
        used += decoded;
        result.units += decoded;
        if (!last && decoded == 0)
            continue;

        const std::u16string_view text(m_units.data(), used);
        if (!encoder)
            encoder.emplace(decoder.Encoding()); // units exist, so the encoding is known
        // Each thread builds the output of its own part, which it then
        // encodes: a part's output stays in the cache of the core that made
        // it, and is never measured up front.
        const size_t settled = m_scan.ScanAndBuild(text, m_threads, last, m_gloss, m_parts);
        if (settled == 0 && !last)
            continue;
        Account(result, uses);
        std::vector<std::u16string_view> pieces;
        for (const TextScan::OutputPart& part : m_parts) {
            pieces.emplace_back(part.units.data(), part.size);
            result.changed = result.changed || part.changed;
        }
        if (!EncodeAndWrite(pieces, *encoder, last, out, result))
            return result;
        std::memmove(m_units.data(), m_units.data() + settled, (used - settled) * sizeof(char16_t));
        used -= settled;
        if (last)
            break;
    }
    result.encoding = decoder.Encoding();
    return result;
}

// The pieces are encoded at once, each by an encoder of its own into its own
// stretch of the buffer, and written in order; or, when one but the last
// ends inside a surrogate pair (or is empty, and might), one after the other
// by `encoder`, which carries a cut pair over.
bool StreamReplacer::EncodeAndWrite(const std::vector<std::u16string_view>& pieces, TextEncoder& encoder, bool last,
                                    ByteSink& out, StreamResult& result)
{
    const size_t parts = pieces.size();
    bool apart = true;
    for (size_t p = 0; p + 1 < parts; ++p)
        apart = apart && !pieces[p].empty() && !IsHighSurrogate(pieces[p].back());

    std::vector<TextEncoder> encoders;
    std::vector<size_t> at{0}; // where each piece goes in m_encoded
    uint64_t units = 0;
    for (size_t p = 0; p < parts; ++p) {
        if (p > 0 && apart)
            encoders.push_back(encoder.Behind(units));
        units += pieces[p].size();
        at.push_back(at.back() + TextEncoder::MaxBytes(pieces[p].size()));
    }
    // Room for the worst case, mostly never written: left unfilled, so that
    // only the pages the output reaches are touched.
    if (m_encodedSize < at.back()) {
        m_encoded = std::make_unique_for_overwrite<char[]>(at.back());
        m_encodedSize = at.back();
    }
    std::vector<size_t> written(parts, 0);
    std::vector<char> ok(parts, 0);
    auto encoderOf = [&](size_t p) -> TextEncoder& { return p == 0 || !apart ? encoder : encoders[p - 1]; };
    auto encode = [&](size_t p) { ok[p] = encoderOf(p).Encode(pieces[p], m_encoded.get() + at[p], written[p]); };
    if (apart) {
        RunParts(parts, encode);
    } else {
        for (size_t p = 0; p < parts && (p == 0 || ok[p - 1]); ++p)
            encode(p);
    }

    for (size_t p = 0; p < parts; ++p) {
        if (!ok[p]) {
            result.failure = StreamResult::Failure::Encode;
            result.message = encoderOf(p).Error();
            return false;
        }
    }
    if (apart && parts > 1)
        encoder = std::move(encoders.back()); // holds the state at the output's end
    if (last && !encoder.Finish()) {
        result.failure = StreamResult::Failure::Encode;
        result.message = encoder.Error();
        return false;
    }
    for (size_t p = 0; p < parts; ++p) {
        if (written[p] > 0 && !out.Write({m_encoded.get() + at[p], written[p]})) {
            result.failure = StreamResult::Failure::Write;
            result.error = out.Error();
            return false;
        }
    }
    return true;
}

StreamResult CheckText(ByteSource& in, PageRoom<char>& buffer, size_t blockBytes)
{
    StreamResult result;
    TextDecoder decoder;
    blockBytes = std::max<size_t>(blockBytes, 1);
    buffer.Grow(blockBytes);
    for (;;) {
        const ssize_t n = ReadBlock(in, buffer.data(), blockBytes, result, nullptr);
        if (n < 0)
            return result;
        char16_t held[8]; // what Finish may still decode of the first two bytes
        size_t written = 0;
        if (n == 0 ? !decoder.Finish(held, written) : !decoder.Check({buffer.data(), size_t(n)})) {
            result.failure = StreamResult::Failure::Decode;
            result.message = decoder.Error();
            return result;
        }
        if (n == 0)
            break;
    }
    result.encoding = decoder.Encoding();
    return result;
}
