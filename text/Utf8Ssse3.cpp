#include "Utf8Ssse3.h"

#include "AsciiRuns.h"

#ifdef VELMORA_UTF8_SSSE3

#include <array>

#include <tmmintrin.h>

namespace {

// A byte shuffle for each set of `Groups` bits: of each group of `Width`
// bytes it keeps the first kept(bit of the group) bytes, packed in order.
struct Shuffle {
    alignas(16) uint8_t bytes[16];
    uint8_t size; // bytes kept
};

template <unsigned Groups, unsigned Width, typename Kept>
constexpr std::array<Shuffle, (1u << Groups)> MakeShuffles(Kept kept)
{
    std::array<Shuffle, (1u << Groups)> shuffles{};
    for (unsigned bits = 0; bits < shuffles.size(); ++bits) {
        Shuffle& s = shuffles[bits];
        unsigned n = 0;
        for (unsigned group = 0; group < Groups; ++group)
            for (unsigned b = 0; b < kept((bits >> group) & 1); ++b)
                s.bytes[n++] = uint8_t(Width * group + b);
        s.size = uint8_t(n);
        for (; n < 16; ++n)
            s.bytes[n] = 0x80;
    }
    return shuffles;
}

// Encoding: four units, each laid out as the four bytes {lead, second,
// third, 0}, are packed by the shuffle for which of them are ASCII, which
// keeps one byte of those and three of the others.
constexpr auto kPackings = MakeShuffles<4, 4>([](bool ascii) { return ascii ? 1u : 3u; });

// Decoding: each byte that ends a sequence (an ASCII byte, or the third of
// three) gives a unit, worked out for every byte of a block at once; the
// shuffle for which of eight end there keeps those units, in order.
constexpr auto kKeepings = MakeShuffles<8, 2>([](bool end) { return end ? 2u : 0u; });

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
            out += 8;
            p = NarrowAscii(p + 8, end, out);
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
        const Shuffle& first = kPackings[asciiBits & 15];
        const Shuffle& last = kPackings[asciiBits >> 4];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                         _mm_shuffle_epi8(_mm_unpacklo_epi16(leadSecond, thirdZero),
                                          _mm_load_si128(reinterpret_cast<const __m128i*>(first.bytes))));
        out += first.size;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                         _mm_shuffle_epi8(_mm_unpackhi_epi16(leadSecond, thirdZero),
                                          _mm_load_si128(reinterpret_cast<const __m128i*>(last.bytes))));
        out += last.size;
        p += 8;
    }
    dst = out;
    return p;
}

[[gnu::target("ssse3")]] const uint8_t* DecodeShortSequencesSsse3(const uint8_t* p, const uint8_t* end, char16_t*& dst)
{
    char16_t* out = dst;
    const __m128i zero = _mm_setzero_si128();
    __m128i before = zero;   // the block before, for the sequences that end in this one
    unsigned leadsBefore = 0; // its leads in bytes 14 and 15, as bits 0 and 1
    while (end - p >= 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const unsigned high = unsigned(_mm_movemask_epi8(bytes));
        if ((high | leadsBefore) == 0) {
            p = WidenAscii(p, end, out); // this block and any ASCII ones behind it
            before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p - 16));
            continue;
        }
        const unsigned continuations = unsigned(_mm_movemask_epi8(
            _mm_cmpeq_epi8(_mm_and_si128(bytes, _mm_set1_epi8(char(0xC0))), _mm_set1_epi8(char(0x80)))));
        const __m128i rangeChecked = _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(char(0xE0))),
                                                  _mm_cmpeq_epi8(bytes, _mm_set1_epi8(char(0xED))));
        const unsigned leads = unsigned(_mm_movemask_epi8(_mm_andnot_si128(
            rangeChecked,
            _mm_cmpeq_epi8(_mm_and_si128(bytes, _mm_set1_epi8(char(0xF0))), _mm_set1_epi8(char(0xE0))))));
        // Bit i + 2 of `reach` is a lead at byte i; the two bytes after each
        // lead, and only those, are continuations.
        const unsigned reach = (leads << 2) | leadsBefore;
        const unsigned ascii = ~high & 0xFFFF;
        if ((ascii | leads | continuations) != 0xFFFF || continuations != ((reach | (reach >> 1)) & 0xFFFF))
            break;
        const unsigned ends = ascii | (reach & 0xFFFF);
        // Byte i with the two before it, as 16-bit lanes.
        const __m128i back1 = _mm_alignr_epi8(bytes, before, 15);
        const __m128i back2 = _mm_alignr_epi8(bytes, before, 14);
        const __m128i low6 = _mm_set1_epi16(0x3F), asciiTop = _mm_set1_epi16(0x80);
        auto units = [&](__m128i last, __m128i middle, __m128i first) {
            const __m128i three = _mm_or_si128(_mm_slli_epi16(first, 12),
                                               _mm_or_si128(_mm_slli_epi16(_mm_and_si128(middle, low6), 6),
                                                            _mm_and_si128(last, low6)));
            const __m128i isAscii = _mm_cmplt_epi16(last, asciiTop);
            return _mm_or_si128(_mm_and_si128(isAscii, last), _mm_andnot_si128(isAscii, three));
        };
        const __m128i low = units(_mm_unpacklo_epi8(bytes, zero), _mm_unpacklo_epi8(back1, zero),
                                  _mm_unpacklo_epi8(back2, zero));
        const __m128i upper = units(_mm_unpackhi_epi8(bytes, zero), _mm_unpackhi_epi8(back1, zero),
                                    _mm_unpackhi_epi8(back2, zero));
        const Shuffle& first = kKeepings[ends & 0xFF];
        const Shuffle& last = kKeepings[ends >> 8];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                         _mm_shuffle_epi8(low, _mm_load_si128(reinterpret_cast<const __m128i*>(first.bytes))));
        out += first.size / 2;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                         _mm_shuffle_epi8(upper, _mm_load_si128(reinterpret_cast<const __m128i*>(last.bytes))));
        out += last.size / 2;
        before = bytes;
        leadsBefore = leads >> 14;
        p += 16;
    }
    dst = out;
    // A sequence begun in the last block taken ends in the next: it is left
    // for the next call, or for the plain loop.
    return p - (leadsBefore & 1 ? 2 : leadsBefore & 2 ? 1 : 0);
}

#endif
