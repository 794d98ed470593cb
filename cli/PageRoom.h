// A buffer that may grow as long as a line does, of pages of its own.
#pragma once

#include "LargePages.h"

#include <cstddef>
#include <new>
#include <type_traits>

#include <sys/mman.h>

// Room of its own pages, which grows without filling what it adds and
// without copying (the system moves the pages): only what is written takes
// memory, however much a long line may need.
template <typename T>
class PageRoom {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    PageRoom() = default;
    PageRoom(const PageRoom&) = delete;
    PageRoom& operator=(const PageRoom&) = delete;
    ~PageRoom()
    {
        if (m_data)
            ::munmap(m_data, m_bytes);
    }

    T* data() { return m_data; }
    const T* data() const { return m_data; }
    size_t size() const { return m_bytes / sizeof(T); }
    // At least `size` elements, those there kept.
    void Grow(size_t size)
    {
        if (size <= this->size())
            return;
        const size_t bytes = (size * sizeof(T) + kStep - 1) / kStep * kStep;
        void* const pages = m_data ? ::mremap(m_data, m_bytes, bytes, MREMAP_MAYMOVE)
                                   : MapFromLargePage(bytes);
        if (pages == MAP_FAILED)
            throw std::bad_alloc();
        m_data = static_cast<T*>(pages);
        m_bytes = bytes;
        // Over the whole room, never a part: a part would become a mapping
        // of its own, and mremap moves one mapping only.
        if (m_bytes >= kLargePageBytes)
            (void)::madvise(m_data, m_bytes, MADV_HUGEPAGE);
    }

    // Gives back the memory of the first `count` elements, as far as it
    // fills whole steps; they read as zeros from then on.
    void Release(size_t count)
    {
        const size_t bytes = count * sizeof(T) / kStep * kStep;
        if (bytes > 0)
            ::madvise(m_data, bytes, MADV_DONTNEED);
    }

private:
    // A multiple of any page size.
    static constexpr size_t kStep = size_t(1) << 16;

    T* m_data = nullptr;
    size_t m_bytes = 0;
};
