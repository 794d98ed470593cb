#include "LargePages.h"

#if defined(__linux__) && defined(__GLIBC__)
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#endif

#if defined(__linux__) && defined(__GLIBC__)
namespace {

constexpr uintptr_t kLargePage = kLargePageBytes;

uintptr_t LargePageAbove(uintptr_t at)
{
    return (at + kLargePage - 1) & ~(kLargePage - 1);
}

// Holds the heap's free top, which begins at `top`, up to `boundary`, so
// that the next large allocation begins there. The block is never touched
// but for its header, so it costs address space only. glibc's blocks carry
// 8 bytes of size ahead of them and follow one another 16 bytes apart, so
// this block ends where the next begins; if it came from anywhere else, it
// is of no use.
void HoldHeapUpTo(uintptr_t top, uintptr_t boundary)
{
    void* const pad = std::malloc(boundary - top - sizeof(size_t));
    if (reinterpret_cast<uintptr_t>(pad) != top)
        std::free(pad);
}

} // namespace
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
    constexpr size_t kProbe = size_t(1) << 20;
    ::mallopt(M_TOP_PAD, int(bytes));
    void* const probe = std::malloc(kProbe);
    ::mallopt(M_TOP_PAD, int(kDefaultTopPad));
    if (!probe)
        return;
    *static_cast<volatile char*>(probe) = 0; // kept, not optimised away with the free
    // The block came from the heap's free top, which it rejoins.
    const uintptr_t top = reinterpret_cast<uintptr_t>(probe);
    std::free(probe);
    const uintptr_t after = reinterpret_cast<uintptr_t>(::sbrk(0));
    if (before == uintptr_t(-1) || after == uintptr_t(-1) || after <= before || top >= before)
        return; // the heap did not grow, or the block came from elsewhere
    // A large page can back only memory that no small page backs yet: not
    // what the heap held before it grew, nor the header that the block's
    // allocation wrote behind it. The heap is held up to the first large page
    // above those, which otherwise the first large buffer allocated would
    // share with them, faulting in up to 2 MiB of it 4 KiB at a time.
    const uintptr_t first = LargePageAbove(std::max(before, top + kProbe + 2 * sizeof(size_t)));
    if (first >= after)
        return;
    HoldHeapUpTo(top, first);
    AdviseLargePages(reinterpret_cast<const void*>(first), after - first);
#else
    (void)bytes;
#endif
}

#ifdef __linux__
void* MapFromLargePage(size_t bytes)
{
    const size_t slack = bytes >= kLargePageBytes ? kLargePageBytes : 0;
    void* const pages = ::mmap(nullptr, bytes + slack, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages == MAP_FAILED || slack == 0)
        return pages;
    char* const begin = static_cast<char*>(pages);
    const size_t ahead = (kLargePageBytes - reinterpret_cast<uintptr_t>(begin) % kLargePageBytes) % kLargePageBytes;
    if (ahead > 0)
        ::munmap(begin, ahead);
    ::munmap(begin + ahead + bytes, slack - ahead);
    return begin + ahead;
}
#endif
