#include "StreamReplacer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

StreamReplacer::StreamReplacer(std::shared_ptr<const CompiledMatcher> matcher, bool gloss, size_t blockBytes,
                               unsigned threads)
    : m_scan(std::move(matcher))
    , m_gloss(gloss)
    , m_blockBytes(std::max<size_t>(blockBytes, 1))
    , m_threads(std::max(threads, 1u))
{
}

void StreamReplacer::Account(StreamResult& result, PairUses* uses) const
{
    const size_t matches = m_scan.GetMatchCount();
    result.replacements += matches;
    if (matches == 0)
        return;
    if (m_gloss)
        result.changed = true;
    if (result.changed && !uses)
        return;
    m_scan.ForEachMatch([&](size_t, std::u16string_view before, std::u16string_view after) {
        if (before != after)
            result.changed = true;
        if (uses) {
            PairUse& use = (*uses)[before.data()];
            use.before = before;
            use.after = after;
            ++use.count;
        }
    });
}

StreamResult StreamReplacer::Run(ByteSource& in, ByteSink& out, PairUses* uses, std::atomic<uint64_t>* progress)
{
    StreamResult result;
    TextDecoder decoder;
    std::optional<TextEncoder> encoder;
    m_read.resize(m_blockBytes);
    size_t used = 0; // units in m_units
    for (;;) {
        const ssize_t n = in.Read(m_read.data(), m_blockBytes);
        if (n < 0) {
            result.failure = StreamResult::Failure::Read;
            result.error = errno;
            return result;
        }
        const bool last = n == 0;
        result.bytes += uint64_t(n);
        if (progress)
            progress->fetch_add(uint64_t(n), std::memory_order_relaxed);

        if (m_units.size() < used + TextDecoder::MaxUnits(size_t(n)))
            m_units.resize(used + TextDecoder::MaxUnits(size_t(n)));
        size_t decoded = 0;
        const bool ok = last ? decoder.Finish(m_units.data() + used, decoded)
                             : decoder.Decode({m_read.data(), size_t(n)}, m_units.data() + used, decoded);
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
        m_output.clear();
        m_scan.AppendOutput(text.substr(0, settled), m_gloss, m_output);

        if (!encoder)
            encoder.emplace(decoder.Encoding()); // units exist, so the encoding is known
        if (m_encoded.size() < TextEncoder::MaxBytes(m_output.size()))
            m_encoded.resize(TextEncoder::MaxBytes(m_output.size()));
        size_t encoded = 0;
        if (!encoder->Encode(m_output, m_encoded.data(), encoded) || (last && !encoder->Finish())) {
            result.failure = StreamResult::Failure::Encode;
            result.message = encoder->Error();
            return result;
        }
        if (encoded > 0 && !out.Write({m_encoded.data(), encoded})) {
            result.failure = StreamResult::Failure::Write;
            result.error = out.Error();
            return result;
        }
        std::memmove(m_units.data(), m_units.data() + settled, (used - settled) * sizeof(char16_t));
        used -= settled;
        if (last)
            break;
    }
    result.encoding = decoder.Encoding();
    return result;
}

StreamResult CheckText(ByteSource& in, size_t blockBytes)
{
    StreamResult result;
    TextDecoder decoder;
    std::string bytes(std::max<size_t>(blockBytes, 1), '\0');
    std::u16string units(TextDecoder::MaxUnits(bytes.size()), u'\0');
    for (;;) {
        const ssize_t n = in.Read(bytes.data(), bytes.size());
        if (n < 0) {
            result.failure = StreamResult::Failure::Read;
            result.error = errno;
            return result;
        }
        size_t decoded = 0;
        if (n == 0 ? !decoder.Finish(units.data(), decoded)
                   : !decoder.Decode({bytes.data(), size_t(n)}, units.data(), decoded)) {
            result.failure = StreamResult::Failure::Decode;
            result.message = decoder.Error();
            return result;
        }
        result.bytes += uint64_t(n);
        result.units += decoded;
        if (n == 0)
            break;
    }
    result.encoding = decoder.Encoding();
    return result;
}
