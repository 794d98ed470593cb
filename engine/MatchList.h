// The matches of one scan, in text order, stored in fixed-size blocks so that
// growing never copies and never reserves more than one block ahead.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

struct FoundMatch {
    uint32_t start;
    uint32_t pair; // index into the matcher the scan used
};

class MatchList {
public:
    void Clear()
    {
        m_blocks.clear();
        m_size = 0;
    }

    void Push(FoundMatch m)
    {
        if ((m_size & kMask) == 0)
            m_blocks.push_back(std::make_unique<FoundMatch[]>(kBlock));
        m_blocks.back()[m_size & kMask] = m;
        ++m_size;
    }

    size_t Size() const { return m_size; }

    template <typename F>
    void ForEach(F&& f) const
    {
        for (size_t b = 0; b < m_blocks.size(); ++b) {
            const size_t n = b + 1 < m_blocks.size() ? kBlock : m_size - b * kBlock;
            const FoundMatch* block = m_blocks[b].get();
            for (size_t k = 0; k < n; ++k)
                f(block[k]);
        }
    }

private:
    static constexpr size_t kBlock = size_t(1) << 16;
    static constexpr size_t kMask = kBlock - 1;
    std::vector<std::unique_ptr<FoundMatch[]>> m_blocks;
    size_t m_size = 0;
};
