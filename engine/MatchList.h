// The matches of one scan, in text order, stored in blocks so that growing
// never copies and never reserves more than one block ahead. Lists
// scanned separately (parts of one text) are joined by moving their blocks.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

struct FoundMatch {
    uint32_t start;
    uint32_t pair; // index into the matcher the scan used
};

class MatchList {
public:
    struct Block {
        std::unique_ptr<FoundMatch[]> data;
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
        if (m_blocks.empty() || m_blocks.back().end == m_blocks.back().capacity) {
            // Small scans stay small: blocks grow to kBlock by doubling.
            const uint32_t capacity = m_blocks.empty() ? kFirstBlock : std::min(kBlock, m_blocks.back().capacity * 2);
            m_blocks.push_back({std::make_unique_for_overwrite<FoundMatch[]>(capacity), 0, 0, capacity});
        }
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
    static constexpr uint32_t kFirstBlock = 64;
    static constexpr uint32_t kBlock = uint32_t(1) << 16;
    std::vector<Block> m_blocks;
    size_t m_size = 0;
};
