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
    ReserveLargePageHeap(size_t(256) << 20);
    return RunReplaceProgram(argc, argv);
}
