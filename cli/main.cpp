#include "LargePages.h"
#include "ReplaceProgram.h"

#include <malloc.h>

int main(int argc, char** argv)
{
    // The run allocates and frees large buffers again and again (dictionary
    // text, pair lists, blocks); keeping freed memory in the heap lets the
    // next buffer reuse pages already mapped instead of faulting in new ones.
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    // The threads that scan and build parts of a block allocate from the
    // same heap as the rest: in arenas of their own, their buffers would
    // fault in 4 KiB at a time, outside the large pages reserved below.
    mallopt(M_ARENA_MAX, 1);
    ReserveLargePageHeap(size_t(256) << 20);
    return RunReplaceProgram(argc, argv);
}
