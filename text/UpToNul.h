// Strings as the engine keeps them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

// The units before the first U+0000: the engine takes and keeps its pairs as
// zero-terminated strings, so that is what a pair is made of. Four units at
// a time, as a whole dictionary's pairs pass through here: a word holding a
// zero unit has that unit's top bit set in (word - 1 in every unit) & ~word.
inline std::u16string_view UpToNul(std::u16string_view units)
{
    constexpr uint64_t kOnes = 0x0001000100010001u;
    size_t k = 0;
    for (uint64_t word; k + 4 <= units.size(); k += 4) {
        std::memcpy(&word, units.data() + k, sizeof word);
        if (((word - kOnes) & ~word & (kOnes << 15)) != 0)
            break;
    }
    while (k < units.size() && units[k] != u'\0')
        ++k;
    return units.substr(0, k);
}

// The same of a zero-terminated string; none for a null pointer.
inline std::u16string_view UpToNul(const char16_t* units)
{
    return units ? std::u16string_view(units) : std::u16string_view();
}
