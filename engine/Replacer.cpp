#include "Replacer.h"

#include "CompiledMatcher.h"
#include "LargePages.h"
#include "NodeIndex.h"
#include "RunParts.h"
#include "UpToNul.h"

#include <algorithm>
#include <deque>
#include <new>
#include <unordered_set>

Replacer::Replacer()
    : m_nodes(1)
    , m_links(1, m_root)
    , m_firstLevel(65536, kNoNode)
    , m_index(std::make_unique<NodeIndex>())
{
}

Replacer::~Replacer() = default;

uint32_t Replacer::NewNode(char16_t unit)
{
    const uint32_t id = uint32_t(m_nodes.size());
    m_nodes.emplace_back();
    m_nodes.back().unit = unit;
    try {
        m_links.push_back(id); // a new level ends at its head
    } catch (...) {
        m_nodes.pop_back(); // both vectors stay indexed by node
        throw;
    }
    return id;
}

void Replacer::ReserveNodes(size_t count)
{
    // Never less than doubling, so that many small hints cost no more than
    // the array's own growth.
    const size_t wanted = std::max(m_nodes.size() + count, 2 * m_nodes.capacity());
    if (m_nodes.size() + count <= m_nodes.capacity())
        return;
    try {
        m_nodes.reserve(wanted);
        m_links.reserve(wanted);
        AdviseLargePages(m_nodes.data(), m_nodes.capacity() * sizeof(MatchNode));
        AdviseLargePages(m_links.data(), m_links.capacity() * sizeof(m_links[0]));
    } catch (const std::bad_alloc&) {
    }
}

// Enters the real nodes of deeper levels created since the last lookup.
void Replacer::IndexNewNodes() const
{
    if (m_indexed == m_nodes.size())
        return;
    size_t pending = 0;
    for (size_t id = m_indexed; id < m_nodes.size(); ++id)
        pending += m_nodes[id].unit != 0 && m_links[id] != m_root;
    m_index->Reserve(m_index->Size() + pending);
    for (; m_indexed < m_nodes.size(); ++m_indexed) {
        const MatchNode& node = m_nodes[m_indexed];
        if (node.unit != 0 && m_links[m_indexed] != m_root)
            m_index->Insert(m_links[m_indexed], node.unit, uint32_t(m_indexed));
    }
}

uint32_t Replacer::FindChild(uint32_t level, char16_t unit) const
{
    if (level == m_root)
        return m_firstLevel[unit];
    IndexNewNodes();
    return m_index->Find(level, unit);
}

void Replacer::AddPair(const char16_t* before, const char16_t* after)
{
    Add(UpToNul(before), UpToNul(after));
}

namespace {

struct SortedPair {
    uint64_t key; // PrefixKey(before)
    std::u16string_view before;
    std::u16string_view after;
};

// The pairs cut at U+0000, in ordinal order of the before-string; one
// before-string's pairs keep their order.
std::vector<SortedPair> SortedByBefore(const std::vector<std::pair<std::u16string_view, std::u16string_view>>& pairs)
{
    std::vector<SortedPair> order;
    order.reserve(pairs.size());
    for (const auto& [before, after] : pairs) {
        const std::u16string_view cut = UpToNul(before);
        order.push_back({PrefixKey(cut), cut, UpToNul(after)});
    }
    const auto less = [](const SortedPair& a, const SortedPair& b) {
        return a.key != b.key ? a.key < b.key : a.before < b.before;
    };
    // A long list is sorted in two halves at once and merged; the merge takes
    // the first half's pair of two equal ones first, so the order stays stable.
    constexpr size_t kParallelSort = size_t(1) << 15;
    const size_t parts = order.size() >= kParallelSort && UsableCores() > 1 ? 2 : 1;
    const auto middle = order.begin() + ptrdiff_t(order.size() / parts);
    RunParts(parts, [&](size_t p) {
        if (p == 0)
            std::stable_sort(order.begin(), middle, less);
        else
            std::stable_sort(middle, order.end(), less);
    });
    if (parts > 1)
        std::inplace_merge(order.begin(), middle, order.end(), less);
    return order;
}

} // namespace

void Replacer::AddPairs(const std::vector<std::pair<std::u16string_view, std::u16string_view>>& pairs)
{
    for (const SortedPair& pair : SortedByBefore(pairs))
        Add(pair.before, pair.after);
}

std::shared_ptr<const CompiledMatcher>
Replacer::CompilePairs(const std::vector<std::pair<std::u16string_view, std::u16string_view>>& pairs,
                       MatcherLayout layout, ScanMethod method)
{
    const auto sorted = SortedByBefore(pairs);
    // One pair per before-string, its value as AddPair would join it; only
    // joined values need storage of their own.
    std::vector<std::pair<std::u16string_view, std::u16string_view>> distinct;
    std::deque<std::u16string> joined;
    std::unordered_set<std::u16string> pieces;
    for (size_t k = 0; k < sorted.size();) {
        const std::u16string_view before = sorted[k].before;
        std::u16string_view value;
        std::u16string* own = nullptr;
        bool collected = false;
        for (; k < sorted.size() && sorted[k].before == before; ++k) {
            const std::u16string_view after = sorted[k].after;
            if (after.empty() || after == value)
                continue;
            if (value.empty()) {
                value = after;
                continue;
            }
            if (!own) {
                own = &joined.emplace_back(value);
                pieces.clear();
            }
            JoinPieces(*own, pieces, !collected, after);
            collected = true;
            value = *own;
        }
        if (!before.empty() && !value.empty())
            distinct.emplace_back(before, value);
    }
    return std::make_shared<const CompiledMatcher>(distinct, layout, method);
}

void Replacer::Add(std::u16string_view before, std::u16string_view after)
{
    // The prefix shared with the last before-string has its nodes at hand.
    size_t depth = 0;
    const size_t known = std::min(before.size(), m_lastBefore.size());
    while (depth < known && before[depth] == m_lastBefore[depth])
        ++depth;
    const bool extends = depth < before.size();
    const bool ascending = !extends || depth == m_lastBefore.size() || before[depth] > m_lastBefore[depth];
    // Every path in the trie so far spells a prefix of a before-string not
    // above the last one, so none continues the shared prefix with a larger unit.
    bool fresh = m_ascending && ascending && extends;

    uint32_t last = depth == 0 ? m_root : m_lastPath[depth - 1];
    uint32_t level = depth == 0 ? m_root : m_nodes[last].child;
    try {
        m_ascending = m_ascending && ascending;
        if (extends) {
            m_lastPath.resize(depth);
            m_lastBefore.resize(depth);
        }
        for (size_t k = depth; k < before.size(); ++k) {
            const char16_t unit = before[k];
            if (level == kNoNode && last != m_root) {
                level = NewNode(0);
                m_nodes[last].child = level;
                fresh = true; // a new level has no nodes to look up
            }
            uint32_t node = fresh ? kNoNode : FindChild(level, unit);
            if (node == kNoNode) {
                node = NewNode(unit);
                m_nodes[m_links[level]].next = node;
                m_links[level] = node;
                m_links[node] = level;
                if (level == m_root)
                    m_firstLevel[unit] = node;
                m_matcher.reset();
                fresh = true; // and a new node no level below it
            }
            last = node;
            level = m_nodes[last].child;
            m_lastPath.push_back(last);
            m_lastBefore.push_back(unit);
        }
    } catch (...) {
        // Nodes created so far stay; what was known about the order does not.
        m_ascending = false;
        m_lastPath.clear();
        m_lastBefore.clear();
        throw;
    }

    std::u16string& stored = m_nodes[last].after;
    if (after.empty())
        return; // an empty after-string never changes a value
    if (stored.empty()) {
        stored = after;
        ++m_pairCount;
    } else if (!JoinAfter(last, after)) {
        return;
    }
    m_matcher.reset();
    Touch(before);
}

uint32_t Replacer::FindPath(std::u16string_view before) const
{
    uint32_t last = m_root;
    uint32_t level = m_root;
    for (const char16_t unit : before) {
        if (level == kNoNode && last != m_root)
            return kNoNode;
        last = FindChild(level, unit);
        if (last == kNoNode)
            return kNoNode;
        level = m_nodes[last].child;
    }
    return last; // m_root for the empty before-string
}

bool Replacer::RemovePair(const char16_t* beforeZ, const char16_t* afterZ)
{
    const std::u16string_view before = UpToNul(beforeZ);
    const uint32_t last = FindPath(before);
    if (last == kNoNode && !before.empty())
        return false;
    std::u16string& stored = m_nodes[last].after;
    if (stored != UpToNul(afterZ))
        return false;
    if (!stored.empty()) {
        std::u16string().swap(stored);
        m_afterPieces.erase(last);
        m_matcher.reset();
        --m_pairCount;
        Touch(before);
    }
    return true;
}
