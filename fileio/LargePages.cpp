#include "LargePages.h"

#if defined(__linux__) && defined(__GLIBC__)
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#endif

void ReserveLargePageHeap(size_t bytes)
{
#if defined(__linux__) && defined(__GLIBC__)
    rlimit limit{};
    if (::getrlimit(RLIMIT_AS, &limit) != 0
        || (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur / 4 < rlim_t(bytes)))
        return;
    constexpr size_t kDefaultTopPad = size_t(128) << 10;
    const uintptr_t before = reinterpret_cast<uintptr_t>(::sbrk(0));
    // The next growth of the heap takes `bytes` more than it needs, and a
    // block larger than what is left at the top of a new heap, but below
    // the mmap threshold, makes it grow now.
    ::mallopt(M_TOP_PAD, int(bytes));
    void* const probe = std::malloc(size_t(1) << 20);
    ::mallopt(M_TOP_PAD, int(kDefaultTopPad));
    if (probe)
        *static_cast<volatile char*>(probe) = 0; // kept, not optimised away with the free
    std::free(probe);
    const uintptr_t after = reinterpret_cast<uintptr_t>(::sbrk(0));
    if (before != uintptr_t(-1) && after != uintptr_t(-1) && after > before)
        AdviseLargePages(reinterpret_cast<const void*>(before), after - before);
#else
    (void)bytes;
#endif
}
