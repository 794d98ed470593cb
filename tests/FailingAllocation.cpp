// Replaces the ordinary forms of operator new and delete for the whole test
// program, all on malloc and free, so that they stay a matching set also under
// AddressSanitizer. The aligned forms are left to the runtime: they pair among
// themselves.
#include "FailingAllocation.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace {
std::atomic<std::size_t> g_limit{SIZE_MAX};
std::atomic<int> g_failures{0};

void* Allocate(std::size_t size)
{
    if (size >= g_limit.load(std::memory_order_relaxed)) {
        g_failures.fetch_add(1, std::memory_order_relaxed);
        throw std::bad_alloc();
    }
    for (;;) {
        if (void* p = std::malloc(size ? size : 1))
            return p;
        const std::new_handler handler = std::get_new_handler();
        if (!handler)
            throw std::bad_alloc();
        handler();
    }
}

void* AllocateOrNull(std::size_t size) noexcept
{
    try {
        return Allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
} // namespace

FailLargeAllocations::FailLargeAllocations(std::size_t bytes)
{
    g_failures = 0;
    g_limit = bytes;
}

FailLargeAllocations::~FailLargeAllocations()
{
    g_limit = SIZE_MAX;
}

int FailLargeAllocations::Failures() const
{
    return g_failures;
}

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return AllocateOrNull(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return AllocateOrNull(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
