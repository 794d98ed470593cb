#include "CompiledMatcher.h"

#include "Replacer.h"

#include <algorithm>
#include <utility>

namespace {
constexpr uint32_t kHasPair = 0x80000000u;
}

CompiledMatcher::CompiledMatcher(const std::vector<MatchNode>& nodes)
    : m_first(65536, 0)
{
    m_code.reserve(nodes.size() * 3);

    struct Task {
        uint32_t record; // 0: the root
        uint32_t depth;
        size_t slot; // where the parent keeps this node's offset
        char16_t first; // the first unit of the path
    };
    std::vector<std::pair<char16_t, uint32_t>> children;
    std::u16string path;

    // Writes one node and returns the tasks for its children, first child last.
    auto emit = [&](const Task& task, std::vector<Task>& out) {
        const uint32_t offset = uint32_t(m_code.size());
        const bool root = task.depth == 0;
        const MatchNode& node = nodes[task.record];
        if (!root) {
            // Everything before depth - 1 is still this node's prefix, except
            // when the first level was written breadth-first just before.
            if (task.depth == 2)
                path.assign(1, task.first);
            path.resize(task.depth - 1);
            path.push_back(node.unit);
            m_code[task.slot] = offset;
            if (task.depth == 1)
                m_first[node.unit] = offset;
        }

        children.clear();
        const uint32_t head = root ? 0 : node.child;
        if (root || head != 0)
            for (uint32_t c = nodes[head].next; c != 0; c = nodes[c].next)
                children.emplace_back(nodes[c].unit, c);
        std::sort(children.begin(), children.end());

        // The empty before-string sits in the root and never matches.
        const bool hasPair = !root && !node.after.empty();
        const uint32_t count = uint32_t(children.size());
        m_code.push_back(count | (hasPair ? kHasPair : 0));
        if (hasPair) {
            m_code.push_back(uint32_t(m_pairs.size()));
            m_pairs.push_back({m_text.size(), uint32_t(path.size()), uint32_t(node.after.size())});
            m_text += path;
            m_text += node.after;
        }
        for (uint32_t k = 0; k < count; k += 2) {
            const uint32_t low = children[k].first;
            const uint32_t high = k + 1 < count ? children[k + 1].first : 0;
            m_code.push_back(low | (high << 16));
        }
        const size_t slots = m_code.size();
        m_code.resize(slots + count);
        const char16_t first = root ? 0 : path[0];
        for (uint32_t k = count; k-- > 0;)
            out.push_back({children[k].second, task.depth + 1, slots + k, first});
    };

    // The root and the first level together at the front, where every scan
    // position starts; below that, depth-first, so that a word's path stays
    // within a few cache lines.
    std::vector<Task> firstLevel;
    emit({0, 0, 0, 0}, firstLevel);
    std::vector<std::vector<Task>> below(firstLevel.size());
    for (size_t k = firstLevel.size(); k-- > 0;)
        emit(firstLevel[k], below[k]);
    std::vector<Task> tasks;
    for (const std::vector<Task>& block : below) // the first child's subtree on top
        tasks.insert(tasks.end(), block.begin(), block.end());
    while (!tasks.empty()) {
        const Task task = tasks.back();
        tasks.pop_back();
        emit(task, tasks);
    }
    m_code.shrink_to_fit();
}
