/* XXH3-64 of a compiled dictionary, its checksum field counted as 0. It is
   read on every open, so on x86-64 this file is also built for AVX2 under
   another name (CMakeLists.txt), which CompiledDictionary.cpp calls on
   processors that have AVX2: half the time of the SSE2 build that every
   x86-64 runs. It is C, so that no inline C++ function built for AVX2 can be
   the one the linker keeps for the rest of the program. */
#include <stddef.h>
#include <stdint.h>

#define XXH_INLINE_ALL
#include <xxhash.h>

#ifndef VELMORA_CHECKSUM
#define VELMORA_CHECKSUM VelmoraChecksum
#endif

uint64_t VELMORA_CHECKSUM(const char* data, size_t size, size_t zeroAt);

/* The 8 bytes at `zeroAt` (inside `size`) count as 0. */
uint64_t VELMORA_CHECKSUM(const char* data, size_t size, size_t zeroAt)
{
    static const uint64_t zero = 0;
    XXH3_state_t state;
    XXH3_64bits_reset(&state);
    XXH3_64bits_update(&state, data, zeroAt);
    XXH3_64bits_update(&state, &zero, sizeof zero);
    XXH3_64bits_update(&state, data + zeroAt + sizeof zero, size - zeroAt - sizeof zero);
    return XXH3_64bits_digest(&state);
}
