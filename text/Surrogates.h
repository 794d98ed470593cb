// The two halves of a UTF-16 surrogate pair.
#pragma once

#include <cstdint>

constexpr bool IsHighSurrogate(uint32_t unit)
{
    return unit >= 0xD800 && unit < 0xDC00;
}

constexpr bool IsLowSurrogate(uint32_t unit)
{
    return unit >= 0xDC00 && unit < 0xE000;
}
