// Large arrays written once, in order, over many megabytes: in 2 MiB pages
// filling them costs a few page faults instead of one for every 4 KiB.
#pragma once

#include <cstddef>
#include <cstdint>

#ifdef __linux__
#include <sys/mman.h>
#endif

// Asks for large pages over the whole 2 MiB pages inside [data, data +
// bytes). Untouched ones still cost no memory; a hint only.
inline void AdviseLargePages(const void* data, size_t bytes)
{
#ifdef __linux__
    constexpr uintptr_t kLarge = uintptr_t(2) << 20;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kLarge - 1) & ~(kLarge - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(kLarge - 1);
    if (begin < end)
        (void)::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}
