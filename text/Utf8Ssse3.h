// The common stretches of a Japanese text, ASCII mixed with characters of
// three UTF-8 bytes, encoded and decoded a block at a time with SSSE3, whose
// byte shuffle packs and unpacks sequences of either length without a
// branch: the plain loops guess wrong at every change between the two,
// every few characters.
// Only for processors that have SSSE3 (Utf8HasSsse3()); Utf8Codec.cpp
// takes everything else: other lengths, surrogates, errors.
#pragma once

#ifdef __x86_64__ // which always has the SSE2 that the code around the shuffles uses
#define VELMORA_UTF8_SSSE3 1

#include <cstdint>

bool Utf8HasSsse3();

// Encodes units from `p` eight at a time while at least eight are left and
// each is below U+0080 or at least U+0800 and not a surrogate; returns where
// it stopped, with `dst` past the bytes written. Stores reach up to 4 bytes
// past three for each unit taken.
const char16_t* EncodeShortUnitsSsse3(const char16_t* p, const char16_t* end, uint8_t*& dst);

// Decodes from `p` (the first byte of a sequence) sixteen bytes at a time
// while at least sixteen are left and each sixteen hold only ASCII and
// three-byte sequences led by E1 to EC, EE or EF (the leads that need no
// range check); returns where it stopped, the first byte of a sequence,
// with `dst` past the units written. Stores reach no further than a unit
// for each byte read.
const uint8_t* DecodeShortSequencesSsse3(const uint8_t* p, const uint8_t* end, char16_t*& dst);
#endif
