#include "TextCoding.h"

#include "RunParts.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

bool TextDecoder::Decode(std::string_view bytes, char16_t* out, size_t& written)
{
    written = 0;
    if (m_known)
        return DecodeBody(bytes, out, written);
    m_head.append(bytes);
    if (m_head.size() < 3)
        return true;
    std::string body;
    return Detect(body) && DecodeBody(body, out, written);
}

bool TextDecoder::Decode(std::string_view bytes, char16_t* out, size_t& written, unsigned threads)
{
    constexpr size_t kParallelCoding = size_t(1) << 17; // bytes
    if (!m_known && bytes.size() > 3) {
        // The first bytes tell the encoding; the rest may then be split.
        size_t head = 0, rest = 0;
        const bool ok = Decode(bytes.substr(0, 3), out, head) && Decode(bytes.substr(3), out + head, rest, threads);
        written = head + rest;
        return ok;
    }
    const bool utf8 = m_encoding == TextEncoding::Utf8 || m_encoding == TextEncoding::Utf8WithMark;
    const size_t parts = std::min<size_t>(threads, bytes.size() / kParallelCoding);
    if (!m_known || !utf8 || parts <= 1)
        return Decode(bytes, out, written);
    if (NulRefused(bytes))
        return false;
    m_bodyOffset += bytes.size();

    std::vector<size_t> edges{0};
    for (size_t p = 1; p < parts; ++p) {
        size_t cut = std::max(edges.back(), bytes.size() * p / parts);
        for (int k = 0; k < 3 && cut < bytes.size() && (uint8_t(bytes[cut]) & 0xC0) == 0x80; ++k)
            ++cut;
        edges.push_back(cut);
    }
    edges.push_back(bytes.size());
    // A stretch that starts a sequence yields at most one unit a byte, so each
    // decodes into `out` at its own byte offset (behind the room the first
    // stretch may need for a sequence the last block cut) and is then moved
    // down behind the one before it.
    constexpr size_t kLead = 4;
    std::vector<Utf8Decoder> decoders;
    for (size_t p = 1; p < parts; ++p)
        decoders.push_back(m_utf8.Behind(edges[p]));
    std::vector<size_t> count(parts, 0);
    std::vector<char> ok(parts, 0);
    auto decode = [&](size_t p) {
        Utf8Decoder& d = p == 0 ? m_utf8 : decoders[p - 1];
        const std::string_view stretch = bytes.substr(edges[p], edges[p + 1] - edges[p]);
        ok[p] = d.Decode(stretch, p == 0 ? out : out + edges[p] + kLead, count[p]);
        // Only the last stretch may end inside a sequence: elsewhere the next
        // stretch begins with a new one, so the cut sequence is bad.
        if (ok[p] && p + 1 < parts && d.Waiting())
            ok[p] = d.Finish();
    };
    RunParts(parts, decode);

    written = 0;
    for (size_t p = 0; p < parts; ++p) {
        const Utf8Decoder& d = p == 0 ? m_utf8 : decoders[p - 1];
        if (!ok[p]) {
            m_error = "invalid UTF-8 at byte " + std::to_string(m_markSize + d.ErrorOffset());
            return false;
        }
        if (p > 0)
            std::memmove(out + written, out + edges[p] + kLead, count[p] * sizeof(char16_t));
        written += count[p];
    }
    m_utf8 = decoders.back(); // holds the state at the end of `bytes`
    return true;
}

bool TextDecoder::Finish(char16_t* out, size_t& written)
{
    written = 0;
    std::string body;
    if (!m_known && !(Detect(body) && DecodeBody(body, out, written)))
        return false;
    if (m_encoding == TextEncoding::Utf8 || m_encoding == TextEncoding::Utf8WithMark) {
        if (m_utf8.Finish())
            return true;
        m_error = "invalid UTF-8 at byte " + std::to_string(m_markSize + m_utf8.ErrorOffset()) + " (cut at the end)";
        return false;
    }
    if (!m_hasOddByte || !m_policy.halfUnitFails)
        return true;
    m_error = "the UTF-16 text ends in the middle of a unit (byte " + std::to_string(m_markSize + m_bodyOffset - 1) + ")";
    return false;
}

bool TextDecoder::Detect(std::string& body)
{
    m_known = true;
    const std::string_view head = m_head;
    if (head.starts_with("\xEF\xBB\xBF")) {
        m_encoding = TextEncoding::Utf8WithMark;
        m_markSize = 3;
    } else if (head.starts_with("\xFF\xFE")) {
        m_encoding = TextEncoding::Utf16LE;
        m_markSize = 2;
    } else if (head.starts_with("\xFE\xFF")) {
        m_encoding = TextEncoding::Utf16BE;
        m_markSize = 2;
        if (!m_policy.bigEndian) {
            m_error = "UTF-16BE is not supported (byte 0); save it as UTF-16LE or UTF-8";
            return false;
        }
    }
    body.assign(head.substr(m_markSize));
    m_head.clear();
    return true;
}

bool TextDecoder::DecodeBody(std::string_view bytes, char16_t* out, size_t& written)
{
    if (!IsUtf16()) {
        if (NulRefused(bytes))
            return false;
        m_bodyOffset += bytes.size();
        return m_utf8.Decode(bytes, out, written) || Utf8Failed();
    }
    const bool big = m_encoding == TextEncoding::Utf16BE;
    auto unit = [big](uint8_t first, uint8_t second) {
        return big ? char16_t((first << 8) | second) : char16_t(first | (second << 8));
    };
    m_bodyOffset += bytes.size();
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    size_t size = bytes.size();
    char16_t* dst = out;
    if (m_hasOddByte && size > 0) {
        *dst++ = unit(m_oddByte, *p++);
        --size;
        m_hasOddByte = false;
    }
    const size_t count = size / 2;
    if (big == (std::endian::native == std::endian::big)) {
        std::memcpy(dst, p, count * 2);
    } else {
        for (size_t k = 0; k < count; ++k)
            dst[k] = unit(p[2 * k], p[2 * k + 1]);
    }
    dst += count;
    if (size % 2 != 0) {
        m_oddByte = p[size - 1];
        m_hasOddByte = true;
    }
    written = size_t(dst - out);
    return true;
}

bool TextDecoder::Utf8Failed()
{
    m_error = "invalid UTF-8 at byte " + std::to_string(m_markSize + m_utf8.ErrorOffset());
    return false;
}

bool TextDecoder::NulRefused(std::string_view bytes)
{
    if (!m_policy.refuseNul)
        return false;
    const void* nul = std::memchr(bytes.data(), 0, bytes.size());
    if (!nul)
        return false;
    const uint64_t at = m_markSize + m_bodyOffset + uint64_t(static_cast<const char*>(nul) - bytes.data());
    m_error = "NUL byte at byte " + std::to_string(at) + ", not UTF-8 text (UTF-16 needs the mark FF FE)";
    return true;
}

bool TextEncoder::Encode(std::u16string_view units, char* out, size_t& written)
{
    written = 0;
    if (!m_markWritten) {
        m_markWritten = true;
        const char* mark = m_encoding == TextEncoding::Utf8WithMark ? "\xEF\xBB\xBF"
            : m_encoding == TextEncoding::Utf16LE                    ? "\xFF\xFE"
            : m_encoding == TextEncoding::Utf16BE                    ? "\xFE\xFF"
                                                                     : "";
        written = std::strlen(mark);
        std::memcpy(out, mark, written);
        out += written;
    }
    if (m_encoding == TextEncoding::Utf8 || m_encoding == TextEncoding::Utf8WithMark) {
        size_t encoded = 0;
        if (!m_utf8.Encode(units, out, encoded)) {
            m_error = "the output holds a lone surrogate at unit " + std::to_string(m_utf8.ErrorUnit())
                + ", which UTF-8 cannot carry";
            return false;
        }
        written += encoded;
        return true;
    }
    const bool big = m_encoding == TextEncoding::Utf16BE;
    if (big == (std::endian::native == std::endian::big)) {
        std::memcpy(out, units.data(), units.size() * 2);
    } else {
        for (size_t k = 0; k < units.size(); ++k) {
            const char16_t u = units[k];
            out[2 * k] = char(big ? u >> 8 : u & 0xFF);
            out[2 * k + 1] = char(big ? u & 0xFF : u >> 8);
        }
    }
    written += units.size() * 2;
    return true;
}

bool TextEncoder::Finish()
{
    if (m_encoding != TextEncoding::Utf8 && m_encoding != TextEncoding::Utf8WithMark)
        return true;
    if (m_utf8.Finish())
        return true;
    m_error = "the output ends in a lone surrogate at unit " + std::to_string(m_utf8.ErrorUnit())
        + ", which UTF-8 cannot carry";
    return false;
}
