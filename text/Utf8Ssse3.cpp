#include "Utf8Ssse3.h"

#ifdef VELMORA_UTF8_SSSE3

#include <array>
#include <cstring>

#include <tmmintrin.h>

namespace {

// Encoding: four units, each laid out as the four bytes {lead, second,
// third, 0}, are packed by a shuffle chosen by which of them are ASCII
// (bit k for unit k), keeping one byte of those and three of the others.
struct Packing {
    alignas(16) uint8_t shuffle[16];
    uint8_t size;
};

constexpr std::array<Packing, 16> MakePackings()
{
    std::array<Packing, 16> packings{};
    for (unsigned ascii = 0; ascii < 16; ++ascii) {
        Packing& p = packings[ascii];
        unsigned n = 0;
        for (unsigned k = 0; k < 4; ++k)
            for (unsigned b = 0; b < ((ascii >> k) & 1 ? 1u : 3u); ++b)
                p.shuffle[n++] = uint8_t(4 * k + b);
        p.size = uint8_t(n);
        for (; n < 16; ++n)
            p.shuffle[n] = 0x80;
    }
    return packings;
}

constexpr std::array<Packing, 16> kPackings = MakePackings();

} // namespace

bool Utf8HasSsse3()
{
    static const bool has = __builtin_cpu_supports("ssse3");
    return has;
}

[[gnu::target("ssse3")]] const char16_t* EncodeShortUnitsSsse3(const char16_t* p, const char16_t* end, uint8_t*& dst)
{
    uint8_t* out = dst;
    const __m128i zero = _mm_setzero_si128();
    while (end - p >= 8) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i ascii = _mm_cmpeq_epi16(_mm_and_si128(units, _mm_set1_epi16(short(0xFF80))), zero);
        const __m128i top = _mm_and_si128(units, _mm_set1_epi16(short(0xF800)));
        // Two bytes (U+0080 to U+07FF) or a surrogate: left to the plain loop.
        const __m128i other = _mm_andnot_si128(
            ascii, _mm_or_si128(_mm_cmpeq_epi16(top, zero), _mm_cmpeq_epi16(top, _mm_set1_epi16(short(0xD800)))));
        if (_mm_movemask_epi8(other) != 0)
            break;
        const unsigned asciiBits = unsigned(_mm_movemask_epi8(_mm_packs_epi16(ascii, ascii))) & 0xFF;
        if (asciiBits == 0xFF) {
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(units, units));
            p += 8;
            out += 8;
            // Within ASCII, sixteen at a time.
            for (; end - p >= 16; p += 16, out += 16) {
                const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
                const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8));
                if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(_mm_or_si128(a, b), _mm_set1_epi16(short(0xFF80))),
                                                      zero))
                    != 0xFFFF)
                    break;
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(a, b));
            }
            continue;
        }
        const __m128i lead = _mm_or_si128(_mm_and_si128(ascii, units),
                                          _mm_andnot_si128(ascii, _mm_or_si128(_mm_srli_epi16(units, 12),
                                                                               _mm_set1_epi16(0xE0))));
        const __m128i low6 = _mm_set1_epi16(0x3F), mark = _mm_set1_epi16(0x80);
        const __m128i second = _mm_or_si128(_mm_and_si128(_mm_srli_epi16(units, 6), low6), mark);
        const __m128i third = _mm_or_si128(_mm_and_si128(units, low6), mark);
        const __m128i leadSecond = _mm_unpacklo_epi8(_mm_packus_epi16(lead, lead), _mm_packus_epi16(second, second));
        const __m128i thirdZero = _mm_unpacklo_epi8(_mm_packus_epi16(third, third), zero);
        const Packing& first = kPackings[asciiBits & 15];
        const Packing& last = kPackings[asciiBits >> 4];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                         _mm_shuffle_epi8(_mm_unpacklo_epi16(leadSecond, thirdZero),
                                          _mm_load_si128(reinterpret_cast<const __m128i*>(first.shuffle))));
        out += first.size;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                         _mm_shuffle_epi8(_mm_unpackhi_epi16(leadSecond, thirdZero),
                                          _mm_load_si128(reinterpret_cast<const __m128i*>(last.shuffle))));
        out += last.size;
        p += 8;
    }
    dst = out;
    return p;
}

#endif
