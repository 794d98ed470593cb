#include "Replacer.h"

#include "detail/MatchNode.h"

#include <algorithm>
#include <utility>

using Details::kNoNode;
using Details::MatchNode;

// Visit order, produced with an explicit stack so that neither long level
// lists nor long before-strings deepen the call stack: a level's entries come
// in creation order, then the subtrees below its nodes in reverse creation
// order, each in the same manner.
void Replacer::RebuildEntries()
{
    m_entries.clear();
    m_path.clear();
    m_touched.clear();
    m_touchedOverflow = false;

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
        for (uint32_t n = m_nodes[head].next; n != kNoNode; n = m_nodes[n].next) {
            emit(m_nodes[n]);
            if (m_nodes[n].child != kNoNode)
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

std::unique_ptr<ReplaceEntry> Replacer::MakeEntry(std::u16string_view before, const std::u16string& after) const
{
    auto entry = std::make_unique<ReplaceEntry>();
    entry->before = before;
    entry->after = after;
    return entry;
}

void Replacer::Touch(std::u16string_view before)
{
    if (m_touchedOverflow)
        return;
    // Once more than a fraction of the pairs changed, a full rebuild is
    // cheaper than merging, so stop recording.
    if (m_touched.size() >= m_pairCount / 16 + 64) {
        m_touchedOverflow = true;
        std::vector<std::u16string>().swap(m_touched);
        return;
    }
    m_touched.emplace_back(before.empty() ? std::u16string(1, u'\0') : std::u16string(before));
}

// Depth-first with every level's nodes in ascending unit order: a node comes
// before its extensions, so the entries come out in ordinal order of the
// before-string, as RebuildEntries() and SortByBefore() would leave them.
void Replacer::RebuildSortedEntries()
{
    m_entries.clear();
    m_entries.reserve(m_pairCount);
    std::u16string path;
    if (!m_nodes[m_root].after.empty())
        m_entries.push_back(MakeEntry(std::u16string_view(u"\0", 1), m_nodes[m_root].after));

    struct Item {
        uint32_t node;
        uint32_t depth;
    };
    std::vector<Item> stack;
    std::vector<std::pair<char16_t, uint32_t>> level;
    auto pushLevel = [&](uint32_t head, uint32_t depth) {
        level.clear();
        for (uint32_t n = m_nodes[head].next; n != kNoNode; n = m_nodes[n].next)
            level.emplace_back(m_nodes[n].unit, n);
        std::sort(level.begin(), level.end());
        for (size_t k = level.size(); k-- > 0;)
            stack.push_back({level[k].second, depth});
    };
    pushLevel(m_root, 1);
    while (!stack.empty()) {
        const Item item = stack.back();
        stack.pop_back();
        const MatchNode& node = m_nodes[item.node];
        path.resize(item.depth - 1);
        path.push_back(node.unit);
        if (!node.after.empty())
            m_entries.push_back(MakeEntry(path, node.after));
        if (node.child != kNoNode)
            pushLevel(node.child, item.depth + 1);
    }
}

void Replacer::RefreshEntries()
{
    if (m_touchedOverflow) {
        RebuildSortedEntries();
    } else {
        std::sort(m_touched.begin(), m_touched.end());
        m_touched.erase(std::unique(m_touched.begin(), m_touched.end()), m_touched.end());
        auto touched = [this](const std::unique_ptr<ReplaceEntry>& e) {
            return std::binary_search(m_touched.begin(), m_touched.end(), e->before);
        };
        m_entries.erase(std::remove_if(m_entries.begin(), m_entries.end(), touched), m_entries.end());
        const bool sorted = std::is_sorted(m_entries.begin(), m_entries.end(), LessByBefore);
        const size_t kept = m_entries.size();
        for (const std::u16string& before : m_touched) {
            std::u16string_view path = before;
            if (path == std::u16string_view(u"\0", 1))
                path = {}; // the empty before-string's entry
            const uint32_t node = FindPath(path);
            if ((node != kNoNode || path.empty()) && !m_nodes[node].after.empty())
                m_entries.push_back(MakeEntry(before, m_nodes[node].after));
        }
        if (sorted)
            std::inplace_merge(m_entries.begin(), m_entries.begin() + std::ptrdiff_t(kept), m_entries.end(),
                               LessByBefore);
        else
            SortByBefore();
        // Entries erased by hand, not through RemovePair, come back only
        // through the trie.
        if (m_entries.size() != m_pairCount)
            RebuildSortedEntries();
    }
    m_touched.clear();
    m_touchedOverflow = false;
}

int Replacer::GetEntryCount() const
{
    return int(m_entries.size());
}

uint64_t PrefixKey(std::u16string_view s)
{
    uint64_t key = 0;
    for (size_t i = 0; i < 4; ++i)
        key = (key << 16) | (i < s.size() ? s[i] : 0);
    return key;
}

bool LessByBefore(const std::unique_ptr<ReplaceEntry>& a, const std::unique_ptr<ReplaceEntry>& b)
{
    return a->before < b->before;
}

bool LessByAfter(const std::unique_ptr<ReplaceEntry>& a, const std::unique_ptr<ReplaceEntry>& b)
{
    return a->after < b->after;
}

namespace {

// Sorting by PrefixKey first keeps most comparisons out of the scattered strings.
template <typename Field>
void SortEntries(std::vector<std::unique_ptr<ReplaceEntry>>& entries, Field field)
{
    struct Item {
        uint64_t key;
        ReplaceEntry* entry;
    };
    std::vector<Item> items;
    items.reserve(entries.size());
    for (auto& e : entries)
        items.push_back({PrefixKey(field(*e)), e.release()});
    std::sort(items.begin(), items.end(), [&field](const Item& a, const Item& b) {
        if (a.key != b.key)
            return a.key < b.key;
        return field(*a.entry) < field(*b.entry);
    });
    for (size_t i = 0; i < items.size(); ++i)
        entries[i].reset(items[i].entry);
}

} // namespace

void Replacer::SortByBefore()
{
    SortEntries(m_entries, [](const ReplaceEntry& e) -> const std::u16string& { return e.before; });
}

void Replacer::SortByAfter()
{
    SortEntries(m_entries, [](const ReplaceEntry& e) -> const std::u16string& { return e.after; });
}
