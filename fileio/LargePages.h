// Large arrays written once, in order, over many megabytes: in 2 MiB pages
// filling them costs a few page faults instead of one for every 4 KiB.
#pragma once

#include <cstddef>
#include <cstdint>

#ifdef __linux__
#include <sys/mman.h>
#endif

// The size of a large page.
inline constexpr size_t kLargePageBytes = size_t(2) << 20;

// Asks for large pages over the whole 2 MiB pages inside [data, data +
// bytes). Untouched ones still cost no memory; a hint only.
inline void AdviseLargePages(const void* data, size_t bytes)
{
#ifdef __linux__
    constexpr uintptr_t kLarge = kLargePageBytes;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kLarge - 1) & ~(kLarge - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(kLarge - 1);
    if (begin < end)
        (void)::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

// Grows the heap by `bytes` at once and asks for large pages over it, so that
// what a program allocates there afterwards faults in 2 MiB at a time rather
// than 4 KiB: where the system gives large pages only on request, a run over
// a large dictionary otherwise spends a fifth of its time in page faults.
// Nothing when the address space is limited (ulimit -v) to less than a few
// times `bytes`, so that room taken ahead of need never makes a later
// allocation fail; nothing where the C library is not glibc. For a program's
// start, never a library's.
void ReserveLargePageHeap(size_t bytes);

#ifdef __linux__
// `bytes` of new anonymous pages, as mmap gives them (MAP_FAILED when it
// fails), beginning on a large page when they fill one, so that large
// pages can back them.
void* MapFromLargePage(size_t bytes);
#endif
