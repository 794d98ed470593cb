// A failing allocation seam for the tests that provoke a lack of memory
// without exhausting it: while a FailLargeAllocations lives, every operator
// new of at least the given size throws std::bad_alloc. Qt's own containers
// allocate with malloc and are not affected.
#pragma once

#include <cstddef>

class FailLargeAllocations {
public:
    explicit FailLargeAllocations(std::size_t bytes);
    ~FailLargeAllocations();
    FailLargeAllocations(const FailLargeAllocations&) = delete;
    FailLargeAllocations& operator=(const FailLargeAllocations&) = delete;

    // How many allocations were refused so far.
    int Failures() const;
};
