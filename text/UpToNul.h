// Strings as the engine keeps them.
#pragma once

#include <string_view>

// The units before the first U+0000: the engine takes and keeps its pairs as
// zero-terminated strings, so that is what a pair is made of.
inline std::u16string_view UpToNul(std::u16string_view units)
{
    return units.substr(0, units.find(u'\0'));
}

// The same of a zero-terminated string; none for a null pointer.
inline std::u16string_view UpToNul(const char16_t* units)
{
    return units ? std::u16string_view(units) : std::u16string_view();
}
