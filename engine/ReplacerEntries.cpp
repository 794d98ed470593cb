#include "Replacer.h"

#include <algorithm>
#include <utility>

// Visit order, produced with an explicit stack so that neither long level
// lists nor long before-strings deepen the call stack: a level's entries come
// in creation order, then the subtrees below its nodes in reverse creation
// order, each in the same manner.
void Replacer::RebuildEntries()
{
    m_entries.clear();
    m_path.clear();

    auto emit = [this](const MatchNode& node) {
        if (node.after.empty())
            return;
        auto entry = std::make_unique<ReplaceEntry>();
        entry->before.reserve(m_path.size() + 1);
        entry->before = m_path;
        entry->before += node.unit; // U+0000 for the empty before-string's entry
        entry->after = node.after;
        m_entries.push_back(std::move(entry));
    };

    // (node whose level below is to be visited, depth of that node)
    std::vector<std::pair<uint32_t, uint32_t>> pending;
    emit(m_nodes[m_root]);
    for (uint32_t head = m_root, depth = 0;;) {
        for (uint32_t n = m_nodes[head].next; n != 0; n = m_nodes[n].next) {
            emit(m_nodes[n]);
            if (m_nodes[n].child != 0)
                pending.emplace_back(n, depth + 1);
        }
        if (pending.empty())
            break;
        const auto [node, nodeDepth] = pending.back();
        pending.pop_back();
        // Everything below depth - 1 is still this node's prefix.
        m_path.resize(nodeDepth - 1);
        m_path.push_back(m_nodes[node].unit);
        head = m_nodes[node].child;
        depth = nodeDepth;
    }
    m_path.clear();
}

int Replacer::GetEntryCount() const
{
    return int(m_entries.size());
}

bool LessByBefore(const std::unique_ptr<ReplaceEntry>& a, const std::unique_ptr<ReplaceEntry>& b)
{
    return a->before < b->before;
}

bool LessByAfter(const std::unique_ptr<ReplaceEntry>& a, const std::unique_ptr<ReplaceEntry>& b)
{
    return a->after < b->after;
}

void Replacer::SortByBefore()
{
    std::sort(m_entries.begin(), m_entries.end(), LessByBefore);
}

void Replacer::SortByAfter()
{
    std::sort(m_entries.begin(), m_entries.end(), LessByAfter);
}
