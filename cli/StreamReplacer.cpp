#include "StreamReplacer.h"

#include "RunParts.h"

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
    m_read.resize(m_blockBytes);
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
        size_t settled = used;
        if (last)
            m_scan.ScanParallel(text, m_threads);
        else
            settled = m_scan.ScanFront(text, m_threads);
        if (settled == 0 && !last)
            continue;
        Account(result, uses);
        const std::u16string_view output(m_output.data(), m_scan.WriteOutput(text.substr(0, settled), m_gloss, m_output));
        // Comparing stops at the first difference, which in a changed text
        // comes early.
        if (!result.changed && output != text.substr(0, settled))
            result.changed = true;

        if (!encoder)
            encoder.emplace(decoder.Encoding()); // units exist, so the encoding is known
        if (!EncodeAndWrite(output, *encoder, last, out, result))
            return result;
        std::memmove(m_units.data(), m_units.data() + settled, (used - settled) * sizeof(char16_t));
        used -= settled;
        if (last)
            break;
    }
    result.encoding = decoder.Encoding();
    return result;
}

// A long output is encoded by all threads, each on its own stretch into its
// own part of the buffer, and the parts are written in order. Stretches end
// where no surrogate pair is cut, so each starts a fresh encoder.
bool StreamReplacer::EncodeAndWrite(std::u16string_view output, TextEncoder& encoder, bool last, ByteSink& out,
                                    StreamResult& result)
{
    constexpr size_t kParallelCoding = size_t(1) << 18; // units
    const size_t parts = output.size() >= kParallelCoding ? m_threads : 1;
    std::vector<size_t> edges{0};
    for (size_t p = 1; p < parts; ++p) {
        size_t cut = std::max(edges.back(), output.size() * p / parts);
        while (cut < output.size() && cut > 0 && output[cut - 1] >= 0xD800 && output[cut - 1] < 0xDC00)
            ++cut;
        edges.push_back(cut);
    }
    edges.push_back(output.size());

    std::vector<TextEncoder> encoders;
    std::vector<size_t> at{0}; // where each part goes in m_encoded
    for (size_t p = 0; p < parts; ++p) {
        if (p > 0)
            encoders.push_back(encoder.Behind(edges[p]));
        at.push_back(at.back() + TextEncoder::MaxBytes(edges[p + 1] - edges[p]));
    }
    // Room for the worst case, mostly never written: left unfilled, so that
    // only the pages the output reaches are touched.
    if (m_encodedSize < at.back()) {
        m_encoded = std::make_unique_for_overwrite<char[]>(at.back());
        m_encodedSize = at.back();
    }
    std::vector<size_t> written(parts, 0);
    std::vector<char> ok(parts, 0);
    auto encode = [&](size_t p) {
        TextEncoder& e = p == 0 ? encoder : encoders[p - 1];
        ok[p] = e.Encode(output.substr(edges[p], edges[p + 1] - edges[p]), m_encoded.get() + at[p], written[p]);
    };
    RunParts(parts, encode);

    for (size_t p = 0; p < parts; ++p) {
        const TextEncoder& e = p == 0 ? encoder : encoders[p - 1];
        if (!ok[p]) {
            result.failure = StreamResult::Failure::Encode;
            result.message = e.Error();
            return false;
        }
    }
    if (parts > 1)
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

StreamResult CheckText(ByteSource& in, std::string& buffer, size_t blockBytes)
{
    StreamResult result;
    TextDecoder decoder;
    buffer.resize(std::max<size_t>(blockBytes, 1));
    for (;;) {
        const ssize_t n = ReadBlock(in, buffer.data(), buffer.size(), result, nullptr);
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
