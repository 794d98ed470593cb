// Runs of ASCII, sixteen at a time with SSE2: the bulk of most texts, for
// the plain UTF-8 codec and its SSSE3 blocks alike.
#pragma once

#ifdef __SSE2__
#include <emmintrin.h>

#include <cstdint>

// Widens bytes from `p` to units while at least sixteen are left and all
// sixteen are ASCII; returns where it stopped, with `out` past the units.
inline const uint8_t* WidenAscii(const uint8_t* p, const uint8_t* end, char16_t*& out)
{
    const __m128i zero = _mm_setzero_si128();
    char16_t* d = out; // a local: stores through `out` would make it reread each time
    for (; end - p >= 16; p += 16, d += 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        if (_mm_movemask_epi8(chunk) != 0)
            break;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_unpacklo_epi8(chunk, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 8), _mm_unpackhi_epi8(chunk, zero));
    }
    out = d;
    return p;
}

// Narrows units from `p` to bytes while at least sixteen are left and all
// sixteen are ASCII; returns where it stopped, with `out` past the bytes.
inline const char16_t* NarrowAscii(const char16_t* p, const char16_t* end, uint8_t*& out)
{
    const __m128i high = _mm_set1_epi16(short(0xFF80));
    uint8_t* d = out; // as above
    for (; end - p >= 16; p += 16, d += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8));
        const __m128i outside = _mm_and_si128(_mm_or_si128(a, b), high);
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(outside, _mm_setzero_si128())) != 0xFFFF)
            break;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_packus_epi16(a, b));
    }
    out = d;
    return p;
}
#endif
