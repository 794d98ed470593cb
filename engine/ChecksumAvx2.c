/* XXH3-64 built for AVX2: a compiled dictionary's checksum takes half the
   time it takes with the SSE2 build that every x86-64 runs, and it is read
   on every open. CompiledDictionary.cpp calls it only on processors that
   have AVX2. It is C, so that no inline C++ function built here for AVX2
   can be the one the linker keeps for the rest of the program. */
#include <stddef.h>
#include <stdint.h>

#define XXH_INLINE_ALL
#include <xxhash.h>

uint64_t VelmoraChecksumAvx2(const char* data, size_t size, size_t zeroAt);

/* The same sum as CompiledDictionaryImage::Checksum: the 8 bytes at
   `zeroAt` (inside `size`) count as 0. */
uint64_t VelmoraChecksumAvx2(const char* data, size_t size, size_t zeroAt)
{
    static const uint64_t zero = 0;
    XXH3_state_t state;
    XXH3_64bits_reset(&state);
    XXH3_64bits_update(&state, data, zeroAt);
    XXH3_64bits_update(&state, &zero, sizeof zero);
    XXH3_64bits_update(&state, data + zeroAt + sizeof zero, size - zeroAt - sizeof zero);
    return XXH3_64bits_digest(&state);
}
