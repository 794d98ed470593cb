// The common stretches of a Japanese text, ASCII mixed with characters of
// three UTF-8 bytes, encoded eight units at a time with SSSE3, whose byte
// shuffle packs units of either length without a branch: the plain loop
// guesses wrong at every change between the two, every few characters.
// Only for processors that have SSSE3 (Utf8HasSsse3()); Utf8Codec.cpp
// takes everything else: other lengths, surrogates, errors.
#pragma once

#if defined(__x86_64__) || defined(__i386__)
#define VELMORA_UTF8_SSSE3 1

#include <cstdint>

bool Utf8HasSsse3();

// Encodes units from `p` eight at a time while at least eight are left and
// each is below U+0080 or at least U+0800 and not a surrogate; returns where
// it stopped, with `dst` past the bytes written. Stores reach up to 4 bytes
// past three for each unit taken.
const char16_t* EncodeShortUnitsSsse3(const char16_t* p, const char16_t* end, uint8_t*& dst);

#endif
