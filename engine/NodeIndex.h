// Open-addressing hash from (level head, code unit) to a trie node, so that
// finding a node on a deep level costs one probe instead of a list walk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class NodeIndex {
public:
    // 0 when absent.
    uint32_t Find(uint32_t level, char16_t unit) const
    {
        if (m_keys.empty())
            return 0;
        const uint64_t key = Key(level, unit);
        for (size_t i = Slot(key);; i = (i + 1) & m_mask) {
            if (m_keys[i] == key)
                return m_values[i];
            if (m_keys[i] == kEmpty)
                return 0;
        }
    }

    void Insert(uint32_t level, char16_t unit, uint32_t node)
    {
        Reserve(m_count + 1);
        Place(Key(level, unit), node);
        ++m_count;
    }

    size_t Size() const { return m_count; }

    // Room for `count` entries without growing again. The index is unchanged
    // when memory runs out.
    void Reserve(size_t count)
    {
        if (count * 2 <= m_keys.size())
            return;
        size_t capacity = m_keys.empty() ? 1024 : m_keys.size() * 2;
        while (count * 2 > capacity)
            capacity *= 2;
        std::vector<uint64_t> keys(capacity, kEmpty);
        std::vector<uint32_t> values(capacity, 0);
        keys.swap(m_keys);
        values.swap(m_values);
        m_mask = capacity - 1;
        m_shift = 64 - __builtin_ctzll(capacity);
        for (size_t i = 0; i < keys.size(); ++i)
            if (keys[i] != kEmpty)
                Place(keys[i], values[i]);
    }

private:
    static constexpr uint64_t kEmpty = ~uint64_t(0);

    static uint64_t Key(uint32_t level, char16_t unit) { return (uint64_t(level) << 16) | unit; }
    size_t Slot(uint64_t key) const { return size_t((key * 0x9E3779B97F4A7C15ull) >> m_shift); }

    void Place(uint64_t key, uint32_t node)
    {
        size_t i = Slot(key);
        while (m_keys[i] != kEmpty)
            i = (i + 1) & m_mask;
        m_keys[i] = key;
        m_values[i] = node;
    }

    std::vector<uint64_t> m_keys;
    std::vector<uint32_t> m_values;
    size_t m_count = 0;
    size_t m_mask = 0;
    int m_shift = 64;
};
