// The matches of one scan, in text order, stored in blocks so that growing
// never copies and never reserves more than one block ahead. Lists
// scanned separately (parts of one text) are joined by moving their blocks.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "LargePages.h"

struct FoundMatch {
    uint32_t start;
    uint32_t pair; // index into the matcher the scan used
};

class MatchList {
    // Full blocks are one large page each, aligned to it: a scan of many
    // megabytes then takes a page fault per 2 MiB of matches, not per 4 KiB.
    struct BlockMemory {
        bool large = false;
        void operator()(FoundMatch* p) const
        {
            if (large)
                ::operator delete[](p, std::align_val_t(kLargePage));
            else
                delete[] p;
        }
    };

public:
    struct Block {
        std::unique_ptr<FoundMatch[], BlockMemory> data;
        uint32_t begin = 0; // the block's matches are data[begin, end)
        uint32_t end = 0;
        uint32_t capacity = 0;
    };

    void Clear()
    {
        m_blocks.clear();
        m_size = 0;
    }

    void Push(FoundMatch m)
    {
        if (m_blocks.empty() || m_blocks.back().end == m_blocks.back().capacity) [[unlikely]]
            AddBlock();
        Block& b = m_blocks.back();
        b.data[b.end++] = m;
        ++m_size;
    }

    size_t Size() const { return m_size; }

    // The first match, which must exist.
    const FoundMatch& Front() const { return m_blocks.front().data[m_blocks.front().begin]; }

    void PopFront()
    {
        Block& b = m_blocks.front();
        if (++b.begin == b.end)
            m_blocks.erase(m_blocks.begin());
        --m_size;
    }

    // Moves all of `other` behind this list's matches.
    void Splice(MatchList&& other)
    {
        for (Block& b : other.m_blocks)
            m_blocks.push_back(std::move(b));
        m_size += other.m_size;
        other.Clear();
    }

    const std::vector<Block>& Blocks() const { return m_blocks; }

    template <typename F>
    void ForEach(F&& f) const
    {
        for (const Block& b : m_blocks)
            for (uint32_t k = b.begin; k < b.end; ++k)
                f(b.data[k]);
    }

private:
    static constexpr size_t kLargePage = kLargePageBytes;
    static constexpr uint32_t kFirstBlock = 64;
    static constexpr uint32_t kBlock = uint32_t(kLargePage / sizeof(FoundMatch));

    // Out of line, so that Push stays small enough to inline into a scan.
    [[gnu::noinline]] void AddBlock()
    {
        // Small scans stay small: blocks grow to kBlock by doubling.
        const uint32_t capacity = m_blocks.empty() ? kFirstBlock : std::min(kBlock, m_blocks.back().capacity * 2);
        m_blocks.push_back({NewBlock(capacity), 0, 0, capacity});
    }

    static std::unique_ptr<FoundMatch[], BlockMemory> NewBlock(uint32_t capacity)
    {
        if (capacity < kBlock)
            return {new FoundMatch[capacity], BlockMemory{false}};
        auto* const data = static_cast<FoundMatch*>(::operator new[](kLargePage, std::align_val_t(kLargePage)));
        AdviseLargePages(data, kLargePage);
        return {data, BlockMemory{true}};
    }

    std::vector<Block> m_blocks;
    size_t m_size = 0;
};
