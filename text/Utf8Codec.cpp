#include "Utf8Codec.h"

#include "AsciiRuns.h"
#include "Surrogates.h"
#include "Utf8Ssse3.h"

#include <bit>
#include <cstring>

namespace {

// The sequence at `p` (`n` bytes available): its length 1 to 4 with its code
// point in `cp`, 0 when the n bytes are a valid start that was cut, -1 when
// they are not UTF-8.
int SequenceAt(const uint8_t* p, size_t n, uint32_t& cp)
{
    const uint8_t lead = p[0];
    if (lead < 0x80) {
        cp = lead;
        return 1;
    }
    int length = 0;
    uint8_t low = 0x80, high = 0xBF; // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        cp = lead & 0x0F;
        if (lead == 0xE0)
            low = 0xA0; // overlong
        else if (lead == 0xED)
            high = 0x9F; // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        cp = lead & 0x07;
        if (lead == 0xF0)
            low = 0x90; // overlong
        else if (lead == 0xF4)
            high = 0x8F; // past U+10FFFF
    } else {
        return -1;
    }
    for (int k = 1; k < length; ++k) {
        if (size_t(k) >= n)
            return 0;
        const uint8_t b = p[k];
        if (b < (k == 1 ? low : 0x80) || b > (k == 1 ? high : 0xBF))
            return -1;
        cp = (cp << 6) | (b & 0x3F);
    }
    return length;
}

inline char16_t* PutCodePoint(uint32_t cp, char16_t* out)
{
    if (cp < 0x10000) {
        *out++ = char16_t(cp);
    } else {
        cp -= 0x10000;
        *out++ = char16_t(0xD800 + (cp >> 10));
        *out++ = char16_t(0xDC00 + (cp & 0x3FF));
    }
    return out;
}

inline uint8_t* PutPair(uint32_t high, uint32_t low, uint8_t* out)
{
    const uint32_t cp = 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
    *out++ = uint8_t(0xF0 | (cp >> 18));
    *out++ = uint8_t(0x80 | ((cp >> 12) & 0x3F));
    *out++ = uint8_t(0x80 | ((cp >> 6) & 0x3F));
    *out++ = uint8_t(0x80 | (cp & 0x3F));
    return out;
}

} // namespace

bool Utf8Decoder::Decode(std::string_view bytes, char16_t* out, size_t& written)
{
    const auto* const start = reinterpret_cast<const uint8_t*>(bytes.data());
    const uint8_t* p = start;
    const uint8_t* const end = start + bytes.size();
    const uint64_t base = m_offset; // stream offset of bytes[0]
    char16_t* dst = out;
    written = 0;

    // Finish the sequence the last block cut, one byte at a time.
    const size_t cutSize = m_pendingSize;
    while (m_pendingSize > 0 && p < end) {
        m_pending[m_pendingSize++] = *p++;
        uint32_t cp = 0;
        const int length = SequenceAt(m_pending, m_pendingSize, cp);
        if (length < 0) {
            m_errorOffset = base - cutSize;
            return false;
        }
        if (length > 0) {
            dst = PutCodePoint(cp, dst);
            m_pendingSize = 0;
        }
    }

#ifdef VELMORA_UTF8_SSSE3
    const bool blocks = Utf8HasSsse3();
    const uint8_t* blocksAgain = p; // after a block that stopped, a stretch goes the plain way
#endif
    while (p < end) {
#ifdef VELMORA_UTF8_SSSE3
        if (blocks && p >= blocksAgain && end - p >= 16) {
            p = DecodeShortSequencesSsse3(p, end, dst);
            blocksAgain = end - p > 16 ? p + 16 : end;
            if (p == end)
                break;
        }
#endif
        const uint8_t lead = *p;
        if (lead < 0x80) {
            *dst++ = lead;
            ++p;
            // Within ASCII, sixteen or eight bytes at a time.
#ifdef __SSE2__
            p = WidenAscii(p, end, dst);
#endif
            for (uint64_t word; end - p >= 8 && (std::memcpy(&word, p, 8), (word & 0x8080808080808080ull) == 0);) {
                for (int k = 0; k < 8; ++k)
                    dst[k] = p[k];
                p += 8;
                dst += 8;
            }
            continue;
        }
        // Most of a Japanese text: three bytes, lead E1 to EC, no range checks;
        // a run of them is read four bytes at a time, one check for each.
        if (std::endian::native == std::endian::little && lead >= 0xE1 && lead <= 0xEC) {
            const uint8_t* const run = p;
            for (uint32_t w; end - p >= 4 && (std::memcpy(&w, p, 4), (w & 0xC0C0F0u) == 0x8080E0u)
                 && (w & 0x0Fu) - 1 < 0x0Cu;
                 p += 3)
                *dst++ = char16_t(((w & 0x0Fu) << 12) | ((w & 0x3F00u) >> 2) | ((w >> 16) & 0x3Fu));
            if (p != run)
                continue;
        }
        if (lead >= 0xE1 && lead <= 0xEC && end - p >= 3 && (p[1] & 0xC0) == 0x80 && (p[2] & 0xC0) == 0x80) {
            *dst++ = char16_t(((lead & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F));
            p += 3;
            continue;
        }
        uint32_t cp = 0;
        const int length = SequenceAt(p, size_t(end - p), cp);
        if (length < 0) {
            m_errorOffset = base + uint64_t(p - start);
            return false;
        }
        if (length == 0) {
            m_pendingSize = size_t(end - p);
            std::memcpy(m_pending, p, m_pendingSize);
            break;
        }
        dst = PutCodePoint(cp, dst);
        p += length;
    }
    m_offset = base + bytes.size();
    written = size_t(dst - out);
    return true;
}

bool Utf8Decoder::Finish()
{
    if (m_pendingSize == 0)
        return true;
    m_errorOffset = m_offset - m_pendingSize;
    return false;
}

bool Utf8Encoder::Encode(std::u16string_view units, char* out, size_t& written)
{
    const char16_t* const start = units.data();
    const char16_t* p = start;
    const char16_t* const end = start + units.size();
    const uint64_t base = m_offset;
    auto* dst = reinterpret_cast<uint8_t*>(out);
    written = 0;

    if (m_pendingHigh != 0 && p < end) {
        if (!IsLowSurrogate(*p)) {
            m_errorUnit = base - 1;
            return false;
        }
        dst = PutPair(m_pendingHigh, *p++, dst);
        m_pendingHigh = 0;
    }

#ifdef VELMORA_UTF8_SSSE3
    const bool blocks = Utf8HasSsse3();
    const char16_t* blocksAgain = p; // after a block that stopped, a stretch goes the plain way
#endif
    while (p < end) {
#ifdef VELMORA_UTF8_SSSE3
        if (blocks && p >= blocksAgain && end - p >= 8) {
            p = EncodeShortUnitsSsse3(p, end, dst);
            blocksAgain = end - p > 8 ? p + 8 : end;
            if (p == end)
                break;
        }
#endif
#ifdef __SSE2__
        // Within ASCII, sixteen units at a time.
        if (*p < 0x80) {
            p = NarrowAscii(p, end, dst);
            if (p == end)
                break;
        }
#endif
        const uint32_t c = *p;
        // Most of a Japanese text: three bytes for each unit, a run of them
        // in a loop of its own.
        if (std::endian::native == std::endian::little && c >= 0x800 && (c & 0xF800) != 0xD800) {
            for (uint32_t u; p < end && (u = *p) >= 0x800 && (u & 0xF800) != 0xD800; ++p) {
                const uint32_t three = (0xE0 | (u >> 12)) | ((0x80 | ((u >> 6) & 0x3F)) << 8) | ((0x80 | (u & 0x3F)) << 16);
                std::memcpy(dst, &three, 4);
                dst += 3;
            }
            continue;
        }
        if ((c & 0xF800) != 0xD800) {
            // One to three bytes chosen without branches, as mixed text
            // defeats branch prediction; four are stored, the out buffer
            // has the room.
            const uint32_t one = c;
            const uint32_t two = (0xC0 | (c >> 6)) | ((0x80 | (c & 0x3F)) << 8);
            const uint32_t three = (0xE0 | (c >> 12)) | ((0x80 | ((c >> 6) & 0x3F)) << 8) | ((0x80 | (c & 0x3F)) << 16);
            const uint32_t bytes = c < 0x80 ? one : c < 0x800 ? two : three;
            const uint32_t ordered = std::endian::native == std::endian::little ? bytes : __builtin_bswap32(bytes);
            std::memcpy(dst, &ordered, 4);
            dst += 1 + (c >= 0x80) + (c >= 0x800);
        } else if (IsHighSurrogate(c) && p + 1 == end) {
            m_pendingHigh = char16_t(c);
        } else if (IsHighSurrogate(c) && IsLowSurrogate(p[1])) {
            dst = PutPair(c, p[1], dst);
            ++p;
        } else {
            m_errorUnit = base + uint64_t(p - start);
            return false;
        }
        ++p;
    }
    m_offset = base + units.size();
    written = size_t(dst - reinterpret_cast<uint8_t*>(out));
    return true;
}

bool Utf8Encoder::Finish()
{
    if (m_pendingHigh == 0)
        return true;
    m_errorUnit = m_offset - 1;
    return false;
}
