// Children's units packed two to a 32-bit word (the even one in the low
// half), sorted ascending, as both automata store them.
#pragma once

#include <algorithm>
#include <cstdint>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace Details {

// Unit k of the packed units at `words`.
inline uint32_t UnitAt(const uint32_t* words, uint32_t k)
{
    return (words[k >> 1] >> ((k & 1) * 16)) & 0xFFFF;
}

// The index of `unit` among `count` packed units; -1 when absent.
inline int FindUnit(const uint32_t* units, uint32_t count, char16_t unit)
{
    if (count <= 8) {
        for (uint32_t k = 0; k < count; ++k)
            if (UnitAt(units, k) == unit)
                return int(k);
        return -1;
    }
    // Branch-free lower bound: mispredicted branches cost more than the
    // few extra comparisons.
    const uint32_t total = count;
    uint32_t lo = 0;
    while (count > 1) {
        const uint32_t half = count / 2;
        lo = UnitAt(units, lo + half) < unit ? lo + half : lo;
        count -= half;
    }
    lo += UnitAt(units, lo) < unit;
    return lo < total && UnitAt(units, lo) == unit ? int(lo) : -1;
}

// The same, where at least 8 words past the units are readable.
inline int FindUnitPadded(const uint32_t* units, uint32_t count, char16_t unit)
{
#ifdef __SSE2__
    // Read as plain units (SSE2 machines are little-endian).
    using Unit [[gnu::may_alias]] = uint16_t;
    const Unit* const plain = reinterpret_cast<const Unit*>(units);
    const __m128i key = _mm_set1_epi16(short(unit));
    // Whether each of the 16 units from `from` is `unit`, a bit each.
    auto sixteen = [&](uint32_t from) {
        const __m128i* at = reinterpret_cast<const __m128i*>(plain + from);
        const __m128i low = _mm_cmpeq_epi16(_mm_loadu_si128(at), key);
        const __m128i high = _mm_cmpeq_epi16(_mm_loadu_si128(at + 1), key);
        return uint32_t(_mm_movemask_epi8(_mm_packs_epi16(low, high)));
    };
    // Up to 64 units are all compared: the blocks of 16 do not wait for one
    // another, where each step of a search waits for the load before it.
    constexpr uint32_t kCompareAll = 64;
    if (count <= kCompareAll) {
        uint64_t found = 0;
        for (uint32_t k = 0; k < count; k += 16)
            found |= uint64_t(sixteen(k)) << k;
        found &= count == kCompareAll ? ~uint64_t(0) : (uint64_t(1) << count) - 1;
        return found != 0 ? __builtin_ctzll(found) : -1;
    }
    // More are halved without branches until the unit, if present, lies
    // among 16 units from `first`, which are then compared.
    uint32_t first = 0;
    for (uint32_t n = count; n > 15;) {
        const uint32_t half = n / 2;
        first = plain[first + half] < unit ? first + half : first;
        n -= half;
    }
    const uint32_t candidates = std::min<uint32_t>(16, count - first);
    const uint32_t found = sixteen(first) & ((uint32_t(1) << candidates) - 1);
    return found != 0 ? int(first + uint32_t(__builtin_ctz(found))) : -1;
#else
    return FindUnit(units, count, unit);
#endif
}

} // namespace Details
