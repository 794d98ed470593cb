// A read-only, cache-friendly form of the trie for scanning.
//
// Nodes are numbered breadth-first, so the children of a node are the
// contiguous range [firstChild, firstChild + childCount), sorted by unit;
// m_units holds each node's unit and m_parents its parent. m_first maps a first code unit straight to
// its node (0 = none; node 0 is an unused root). After-values are copied into
// one buffer so that a matcher stays valid while the trie changes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct MatchNode;

class CompiledMatcher {
public:
    struct Node {
        uint32_t firstChild = 0;
        uint32_t childCount = 0;
        uint32_t valueOffset = 0;
        uint32_t valueLength = 0; // 0: no pair ends here
    };

    // `nodes` is the record trie, node 0 the head of the first level.
    explicit CompiledMatcher(const std::vector<MatchNode>& nodes);

    uint32_t First(char16_t unit) const { return m_first[unit]; }

    uint32_t Child(uint32_t node, char16_t unit) const
    {
        const Node& n = m_nodes[node];
        const char16_t* begin = m_units.data() + n.firstChild;
        const char16_t* end = begin + n.childCount;
        if (n.childCount <= 8) {
            for (const char16_t* p = begin; p != end; ++p)
                if (*p == unit)
                    return n.firstChild + uint32_t(p - begin);
            return 0;
        }
        while (begin < end) {
            const char16_t* mid = begin + (end - begin) / 2;
            if (*mid < unit)
                begin = mid + 1;
            else
                end = mid;
        }
        if (begin != m_units.data() + n.firstChild + n.childCount && *begin == unit)
            return uint32_t(begin - m_units.data());
        return 0;
    }

    const Node& At(uint32_t node) const { return m_nodes[node]; }

    std::u16string_view Value(uint32_t node) const
    {
        const Node& n = m_nodes[node];
        return {m_values.data() + n.valueOffset, n.valueLength};
    }

    // Writes the `length` units spelling the path to `node` (its before-string).
    void CopyBefore(uint32_t node, size_t length, char16_t* dst) const
    {
        for (size_t i = length; i-- > 0; node = m_parents[node])
            dst[i] = m_units[node];
    }

    size_t MemoryBytes() const;

private:
    std::vector<uint32_t> m_first;
    std::vector<Node> m_nodes;
    std::vector<char16_t> m_units;
    std::vector<uint32_t> m_parents;
    std::u16string m_values;
};
