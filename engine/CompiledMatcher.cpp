#include "CompiledMatcher.h"

#include "Replacer.h"

#include <algorithm>
#include <utility>

CompiledMatcher::CompiledMatcher(const std::vector<MatchNode>& nodes)
    : m_first(65536, 0)
{
    // Breadth-first over the record trie; order[k] is the record node that
    // becomes compiled node k. The compiled root stands for the empty prefix
    // and never matches.
    std::vector<uint32_t> order;
    order.reserve(nodes.size());
    m_nodes.reserve(nodes.size());
    m_units.reserve(nodes.size());
    order.push_back(0);
    m_nodes.emplace_back();
    m_units.push_back(0);
    m_parents.reserve(nodes.size());
    m_parents.push_back(0);

    size_t valueUnits = 0;
    for (const MatchNode& n : nodes)
        valueUnits += n.after.size();
    m_values.reserve(valueUnits);

    std::vector<std::pair<char16_t, uint32_t>> children;
    for (size_t k = 0; k < order.size(); ++k) {
        const uint32_t record = order[k];
        const uint32_t head = k == 0 ? 0 : nodes[record].child;
        children.clear();
        if (k == 0 || head != 0)
            for (uint32_t c = nodes[head].next; c != 0; c = nodes[c].next)
                children.emplace_back(nodes[c].unit, c);
        std::sort(children.begin(), children.end());

        Node& node = m_nodes[k];
        node.firstChild = uint32_t(order.size());
        node.childCount = uint32_t(children.size());
        if (k != 0 && !nodes[record].after.empty()) {
            node.valueOffset = uint32_t(m_values.size());
            node.valueLength = uint32_t(nodes[record].after.size());
            m_values += nodes[record].after;
        }
        for (const auto& [unit, id] : children) {
            if (k == 0)
                m_first[unit] = uint32_t(order.size());
            order.push_back(id);
            m_units.push_back(unit);
            m_parents.push_back(uint32_t(k));
            m_nodes.emplace_back(); // may reallocate: `node` is not used after this
        }
    }
}

size_t CompiledMatcher::MemoryBytes() const
{
    return m_first.capacity() * sizeof(uint32_t) + m_nodes.capacity() * sizeof(Node)
        + m_units.capacity() * sizeof(char16_t) + m_parents.capacity() * sizeof(uint32_t) + m_values.capacity() * sizeof(char16_t);
}
