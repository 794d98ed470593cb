#include "JsonString.h"

#include "Surrogates.h"
#include "Utf8Codec.h"

#include <bit>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

bool NeedsCare(uint8_t c)
{
    return c == '"' || c == '\\' || c < 0x20;
}

// The first byte at or after `p` that ends a run of plain string bytes.
const char* RunEnd(const char* p, const char* end)
{
#ifdef __SSE2__
    const __m128i quote = _mm_set1_epi8('"'), backslash = _mm_set1_epi8('\\'), control = _mm_set1_epi8(0x1F);
    for (; end - p >= 16; p += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, quote), _mm_cmpeq_epi8(x, backslash)),
                                         _mm_cmpeq_epi8(_mm_min_epu8(x, control), x));
        if (const int mask = _mm_movemask_epi8(hit))
            return p + std::countr_zero(unsigned(mask));
    }
#endif
    while (p < end && !NeedsCare(uint8_t(*p)))
        ++p;
    return p;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The first unit at or after `k` that is not written as it is, but for a
// surrogate, which may be half of a pair.
size_t PlainEnd(std::u16string_view units, size_t k, bool asciiOnly)
{
#ifdef __SSE2__
    const __m128i quote = _mm_set1_epi16('"'), backslash = _mm_set1_epi16('\\');
    const __m128i control = _mm_set1_epi16(0x1F), wide = _mm_set1_epi16(short(asciiOnly ? 0xFF80 : 0xF800));
    const __m128i widest = _mm_set1_epi16(short(asciiOnly ? 0 : 0xD800));
    for (; units.size() - k >= 8; k += 8) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units.data() + k));
        const __m128i special = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi16(x, quote), _mm_cmpeq_epi16(x, backslash)),
            _mm_or_si128(_mm_cmpeq_epi16(_mm_subs_epu16(x, control), _mm_setzero_si128()),
                         // asciiOnly: from U+0080 on; else a surrogate
                         asciiOnly ? _mm_xor_si128(_mm_cmpeq_epi16(_mm_and_si128(x, wide), widest), _mm_set1_epi16(-1))
                                   : _mm_cmpeq_epi16(_mm_and_si128(x, wide), widest)));
        if (const int mask = _mm_movemask_epi8(special))
            return k + size_t(std::countr_zero(unsigned(mask))) / 2;
    }
#endif
    for (; k < units.size(); ++k) {
        const char16_t c = units[k];
        if (c < 0x20 || c == u'"' || c == u'\\' || (asciiOnly ? c >= 0x80 : (c & 0xF800) == 0xD800))
            break;
    }
    return k;
}


} // namespace

bool DecodeJsonString(std::string_view bytes, char16_t* out, JsonStringToken& token, std::string& error)
{
    token = {};
    if (bytes.empty() || bytes[0] != '"') {
        error = "not a string";
        return false;
    }
    const char* p = bytes.data() + 1;
    const char* const end = bytes.data() + bytes.size();
    char16_t* dst = out;
    Utf8Decoder utf8;
    for (;;) {
        const char* const run = RunEnd(p, end);
        size_t decoded = 0;
        // A run always ends before an ASCII byte, so no sequence may be left cut.
        if (!utf8.Decode({p, size_t(run - p)}, dst, decoded) || utf8.Waiting()) {
            error = "invalid UTF-8 in the string";
            return false;
        }
        dst += decoded;
        p = run;
        if (p == end) {
            error = "the string is not closed";
            return false;
        }
        const char c = *p++;
        if (c == '"')
            break;
        if (c != '\\') {
            error = "a control character in the string is not escaped";
            return false;
        }
        if (p == end) {
            error = "the string is not closed";
            return false;
        }
        switch (*p++) {
        case '"': *dst++ = u'"'; break;
        case '\\': *dst++ = u'\\'; break;
        case '/': *dst++ = u'/'; break;
        case 'b': *dst++ = u'\b'; break;
        case 'f': *dst++ = u'\f'; break;
        case 'n': *dst++ = u'\n'; break;
        case 'r': *dst++ = u'\r'; break;
        case 't': *dst++ = u'\t'; break;
        case 'u': {
            int unit = 0;
            for (int k = 0; k < 4; ++k) {
                const int digit = p < end ? HexDigit(*p++) : -1;
                if (digit < 0) {
                    error = "a \\u escape without four hexadecimal digits";
                    return false;
                }
                unit = unit << 4 | digit;
            }
            token.escapedWide |= unit >= 0x80;
            *dst++ = char16_t(unit);
            break;
        }
        default:
            error = "an unknown escape in the string";
            return false;
        }
    }
    token.size = size_t(p - bytes.data());
    token.units = size_t(dst - out);
    return true;
}

size_t EncodeJsonString(std::u16string_view units, bool asciiOnly, char* out)
{
    static const char kHex[] = "0123456789abcdef";
    char* dst = out;
    *dst++ = '"';
    const size_t n = units.size();
    size_t k = 0;
    while (k < n) {
        // A run of characters written as they are, surrogate pairs included.
        const size_t run = k;
        for (;;) {
            k = PlainEnd(units, k, asciiOnly);
            if (!asciiOnly && k + 1 < n && IsHighSurrogate(units[k]) && IsLowSurrogate(units[k + 1]))
                k += 2;
            else
                break;
        }
        if (k > run) {
            Utf8Encoder utf8;
            size_t written = 0;
            utf8.Encode(units.substr(run, k - run), dst, written); // holds no lone surrogate
            dst += written;
        }
        if (k == n)
            break;
        const char16_t c = units[k++];
        *dst++ = '\\';
        switch (c) {
        case u'"': *dst++ = '"'; break;
        case u'\\': *dst++ = '\\'; break;
        case u'\b': *dst++ = 'b'; break;
        case u'\f': *dst++ = 'f'; break;
        case u'\n': *dst++ = 'n'; break;
        case u'\r': *dst++ = 'r'; break;
        case u'\t': *dst++ = 't'; break;
        default:
            *dst++ = 'u';
            for (int shift = 12; shift >= 0; shift -= 4)
                *dst++ = kHex[(c >> shift) & 0xF];
        }
    }
    *dst++ = '"';
    return size_t(dst - out);
}
