// A JSON string token to UTF-16 code units and back. Escapes decode to the
// units they name, so "\uD83D\uDE00" and the raw UTF-8 of U+1F600 give the
// same two units, and a lone surrogate escape gives its lone unit.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

struct JsonStringToken {
    size_t size = 0;          // bytes from the opening quote to the closing one, both included
    size_t units = 0;         // units decoded
    bool escapedWide = false; // a \u escape names a unit from U+0080 on
};

// Room DecodeJsonString needs for a token within `byteCount` bytes.
inline size_t MaxJsonStringUnits(size_t byteCount)
{
    return byteCount + 4;
}

// Decodes the string token at the start of `bytes` (its opening quote first)
// into `out`. False with `error` set when the token is not a well-formed
// JSON string.
bool DecodeJsonString(std::string_view bytes, char16_t* out, JsonStringToken& token, std::string& error);

// Room EncodeJsonString needs for `unitCount` units.
inline size_t MaxJsonStringBytes(size_t unitCount)
{
    return 6 * unitCount + 8;
}

// Writes `units` to `out` as a JSON string token and returns its size:
// quotes, backslashes and control characters escaped, a lone surrogate as
// \uXXXX, every other character as UTF-8, or as \u escapes from U+0080 on
// with `asciiOnly`.
size_t EncodeJsonString(std::u16string_view units, bool asciiOnly, char* out);
