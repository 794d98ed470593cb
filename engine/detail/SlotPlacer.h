// Finds where the children of each state go in a double array that grows as
// needed: a base such that base + label is a free slot for every child's
// label. First fit from the lowest slots; slots are looked at in blocks of
// 64, and a block's 64 bases for a state's smallest label are tried at once,
// each other label or-ing in the 64 slots it would take. A block stops being
// tried after a few states found no room in it, which keeps the search short
// once the low slots are nearly full, at the cost of a few slots left empty.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace Details {

class SlotPlacer {
public:
    // Room for about `states` states without growing. Slot 0 is taken.
    explicit SlotPlacer(size_t states)
    {
        Grow(states + states / 4);
        Take(0);
    }

    // One past the highest slot taken.
    uint32_t End() const { return m_end; }

    // Whether `slot`, below End(), is taken.
    bool Taken(uint32_t slot) const { return (m_taken[slot / 64] >> (slot % 64) & 1) != 0; }

    // Slots the placer has room for; at least End().
    size_t Room() const { return m_taken.size() * 64; }

    // The lowest free slot from `from` on, taken.
    uint32_t TakeFree(uint32_t from = 0)
    {
        while (m_taken[m_firstFreeBlock] == ~uint64_t(0))
            ++m_firstFreeBlock;
        uint32_t block = std::max(m_firstFreeBlock, from / 64);
        Grow(size_t(block) * 64 + 64);
        uint64_t taken = m_taken[block];
        if (block * 64 < from)
            taken |= (uint64_t(1) << (from - block * 64)) - 1;
        while (taken == ~uint64_t(0)) {
            Grow(size_t(++block) * 64 + 64);
            taken = m_taken[block];
        }
        const uint32_t slot = block * 64 + uint32_t(__builtin_ctzll(~taken));
        Take(slot);
        return slot;
    }

    // Emptied, for the labels of the next state to place.
    std::vector<uint16_t>& NewLabels()
    {
        m_labels.clear();
        return m_labels;
    }

    // A base at which the slots of all labels given to NewLabels() (distinct,
    // not 0, at least one) are free; takes them.
    uint32_t Place()
    {
        std::vector<uint16_t>& labels = m_labels;
        if (labels.size() == 1)
            return TakeFree(labels[0]) - labels[0];
        std::sort(labels.begin(), labels.end());
        const uint32_t low = labels.front(), spread = labels.back() - low;
        m_firstOpen = FindOpen(m_firstOpen);
        for (uint32_t block = FindOpen(std::max(m_firstOpen, low / 64));; block = FindOpen(block + 1)) {
            // Bit j: the base that puts the smallest label at slot 64 * block + j
            // is taken; bases below 0 count as taken.
            const uint32_t first = block * 64;
            Grow(size_t(first) + 64 + spread);
            uint64_t taken = m_taken[block];
            if (first < low)
                taken |= (uint64_t(1) << (low - first)) - 1;
            for (size_t k = 1; k < labels.size() && taken != ~uint64_t(0); ++k)
                taken |= Bits(first + labels[k] - low);
            if (taken != ~uint64_t(0)) {
                const uint32_t base = first + uint32_t(__builtin_ctzll(~taken)) - low;
                for (const uint16_t label : labels)
                    Take(base + label);
                return base;
            }
            if (++m_failures[block] == kBlockTries || m_taken[block] == ~uint64_t(0))
                m_nextOpen[block] = block + 1;
        }
    }

private:
    static constexpr uint8_t kBlockTries = 16;

    // Keeps the bits of slots [0, size) and two blocks more, so that the 64
    // bits from any of those slots can be read.
    void Grow(size_t size)
    {
        const size_t blocks = size / 64 + 3;
        if (blocks <= m_taken.size())
            return;
        const size_t old = m_taken.size();
        const size_t grown = std::max(blocks, old * 2);
        m_taken.resize(grown, 0);
        m_failures.resize(grown, 0);
        m_nextOpen.resize(grown);
        for (size_t b = old; b < grown; ++b)
            m_nextOpen[b] = uint32_t(b);
    }

    void Take(uint32_t slot)
    {
        Grow(size_t(slot) + 1);
        m_taken[slot / 64] |= uint64_t(1) << (slot % 64);
        m_end = std::max(m_end, slot + 1);
    }

    // The bits of the 64 slots from `slot` on.
    uint64_t Bits(uint32_t slot) const
    {
        const uint32_t word = slot / 64, shift = slot % 64;
        const uint64_t low = m_taken[word] >> shift;
        return shift == 0 ? low : low | m_taken[word + 1] << (64 - shift);
    }

    // The first block from `block` on that is still tried, with the path
    // shortened behind it.
    uint32_t FindOpen(uint32_t block)
    {
        Grow(size_t(block) * 64 + 64);
        uint32_t root = block;
        while (m_nextOpen[root] != root)
            root = m_nextOpen[root];
        while (m_nextOpen[block] != root) {
            const uint32_t up = m_nextOpen[block];
            m_nextOpen[block] = root;
            block = up;
        }
        return root;
    }

    std::vector<uint16_t> m_labels;
    std::vector<uint64_t> m_taken;   // a bit for each slot
    std::vector<uint8_t> m_failures; // of each block
    std::vector<uint32_t> m_nextOpen; // next[b] == b: block b is still tried
    uint32_t m_firstFreeBlock = 0;
    uint32_t m_firstOpen = 0;
    uint32_t m_end = 0;
};

} // namespace Details
