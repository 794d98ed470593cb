#include "Replacer.h"

#include "CompiledMatcher.h"
#include "LargePages.h"
#include "NodeIndex.h"
#include "RunParts.h"
#include "UpToNul.h"
#include "detail/MatchNode.h"
#include "detail/MatcherCore.h"
#include "detail/PairWork.h"
#include "detail/UnitValues.h"

#include <algorithm>
#include <deque>
#include <new>
#include <utility>
#include <unordered_set>

using Details::kNoNode;
using Details::kUnitValues;
using Details::MatchNode;

Replacer::Replacer()
    : m_nodes(1)
    , m_links(1, m_root)
    , m_firstLevel(kUnitValues, kNoNode)
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
    DropCompileAhead();
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

// 48 bytes, so that sorting moves little.
struct SortedPair {
    uint64_t key;  // PrefixKey(before)
    uint64_t next; // PrefixKey of what follows its first four units
    const char16_t* before;
    const char16_t* after;
    uint32_t beforeLength;
    uint32_t afterLength;
    uint32_t index; // in the given list: one before-string's pairs keep their order

    std::u16string_view Before() const { return {before, beforeLength}; }
    std::u16string_view After() const { return {after, afterLength}; }
};

bool SortedLess(const SortedPair& a, const SortedPair& b)
{
    if (a.key != b.key)
        return a.key < b.key;
    if (a.next != b.next)
        return a.next < b.next;
    // Equal keys: the strings share their first eight units (or end within them alike).
    const int order = a.Before().compare(b.Before());
    return order != 0 ? order < 0 : a.index < b.index;
}

// The pairs cut at U+0000, in ordinal order of the before-string; one
// before-string's pairs keep their order. They are put into buckets by
// their first unit (none for an empty one, like U+0000) as they are read, and
// each bucket is sorted on its own: fewer rounds of comparisons, and on two
// cores each takes half of the buckets, with nothing to merge.
std::vector<SortedPair> SortedByBefore(const std::vector<std::pair<std::u16string_view, std::u16string_view>>& pairs,
                                       size_t parts = 0)
{
    const size_t count = pairs.size();
    parts = Details::PairParts(parts, count);
    const auto bucketOf = [](std::u16string_view before) { return before.empty() ? 0 : size_t(before[0]); };
    // counts[p][u]: part p's pairs in bucket u; then where part p puts its next one.
    std::vector<std::vector<uint32_t>> counts(parts, std::vector<uint32_t>(kUnitValues, 0));
    const auto range = [&](size_t p) { return std::pair(count * p / parts, count * (p + 1) / parts); };
    RunParts(parts, [&](size_t p) {
        for (size_t k = range(p).first; k < range(p).second; ++k)
            ++counts[p][bucketOf(pairs[k].first)];
    });
    std::vector<uint32_t> starts(65537, 0);
    for (size_t u = 0, at = 0; u < kUnitValues; ++u) {
        starts[u] = uint32_t(at);
        for (size_t p = 0; p < parts; ++p)
            at += std::exchange(counts[p][u], uint32_t(at));
    }
    starts[kUnitValues] = uint32_t(count);

    std::vector<SortedPair> order(count);
    AdviseLargePages(order.data(), order.size() * sizeof(SortedPair));
    RunParts(parts, [&](size_t p) {
        std::vector<uint32_t>& next = counts[p];
        for (size_t k = range(p).first; k < range(p).second; ++k) {
            const std::u16string_view before = UpToNul(pairs[k].first);
            const std::u16string_view after = UpToNul(pairs[k].second);
            order[next[bucketOf(pairs[k].first)]++] = {PrefixKey(before),
                                                       PrefixKey(before.substr(std::min<size_t>(4, before.size()))),
                                                       before.data(), after.data(),
                                                       uint32_t(before.size()), uint32_t(after.size()),
                                                       uint32_t(k)};
        }
    });
    // Part p sorts the buckets that start in the p-th share of the list.
    RunParts(parts, [&](size_t p) {
        for (size_t u = 0; u < kUnitValues; ++u)
            if (starts[u + 1] - starts[u] > 1 && starts[u] >= range(p).first && starts[u] < range(p).second)
                std::sort(order.begin() + starts[u], order.begin() + starts[u + 1], SortedLess);
    });
    return order;
}

} // namespace

void Replacer::AddPairs(const std::vector<std::pair<std::u16string_view, std::u16string_view>>& pairs)
{
    for (const SortedPair& pair : SortedByBefore(pairs))
        Add(pair.Before(), pair.After());
}

std::shared_ptr<const CompiledMatcher>
Replacer::CompilePairs(const std::vector<std::pair<std::u16string_view, std::u16string_view>>& pairs,
                       MatcherLayout layout, ScanMethod method, size_t parts)
{
    const auto sorted = SortedByBefore(pairs, parts);
    // One pair per before-string, its value as AddPair would join it; only
    // joined values need storage of their own. Each part takes the
    // before-strings that start in its share of the list.
    parts = std::min<size_t>(Details::PairParts(parts, sorted.size()), std::max<size_t>(sorted.size(), 1));
    std::vector<size_t> bounds(parts + 1, sorted.size());
    for (size_t p = 0; p < parts; ++p) {
        size_t k = sorted.size() * p / parts;
        while (k > 0 && k < sorted.size() && sorted[k].Before() == sorted[k - 1].Before())
            ++k;
        bounds[p] = k;
    }
    std::vector<std::vector<std::pair<std::u16string_view, std::u16string_view>>> runs(parts);
    std::vector<std::deque<std::u16string>> joined(parts);
    RunParts(parts, [&](size_t p) {
        std::vector<std::pair<std::u16string_view, std::u16string_view>>& distinct = runs[p];
        distinct.reserve(bounds[p + 1] - bounds[p] + (p == 0 ? sorted.size() - bounds[1] : 0));
        AdviseLargePages(distinct.data(), distinct.capacity() * sizeof(distinct[0]));
        std::unordered_set<std::u16string> pieces;
        const size_t end = bounds[p + 1];
        for (size_t k = bounds[p]; k < end;) {
            const uint64_t key = sorted[k].key;
            const std::u16string_view before = sorted[k].Before();
            std::u16string_view value;
            std::u16string* own = nullptr;
            bool collected = false;
            for (; k < end && sorted[k].key == key && sorted[k].Before() == before; ++k) {
                // The before-strings lie scattered over their texts: ask for them early.
                if (k + Details::kPairLookAhead < end)
                    __builtin_prefetch(sorted[k + Details::kPairLookAhead].before);
                const std::u16string_view after = sorted[k].After();
                if (after.empty() || after == value)
                    continue;
                if (value.empty()) {
                    value = after;
                    continue;
                }
                if (!own) {
                    own = &joined[p].emplace_back(value);
                    pieces.clear();
                }
                JoinPieces(*own, pieces, !collected, after);
                collected = true;
                value = *own;
            }
            if (!before.empty() && !value.empty())
                distinct.emplace_back(before, value);
        }
    });
    // The first part has room for the others' pairs behind its own.
    std::vector<std::pair<std::u16string_view, std::u16string_view>>& distinct = runs[0];
    for (size_t p = 1; p < parts; ++p)
        distinct.insert(distinct.end(), runs[p].begin(), runs[p].end());
    return std::make_shared<const CompiledMatcher>(
        std::make_unique<const Details::MatcherCore>(distinct, layout, method, parts));
}

void Replacer::Add(std::u16string_view before, std::u16string_view after)
{
    DropCompileAhead();
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
    DropCompileAhead();
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
