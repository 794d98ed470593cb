#include "Replacer.h"

#include "NodeIndex.h"

#include <algorithm>

namespace {
std::u16string_view UpToNul(const char16_t* s)
{
    return s ? std::u16string_view(s) : std::u16string_view();
}
} // namespace

Replacer::Replacer()
    : m_nodes(1)
    , m_tails(1, m_root)
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
        m_tails.push_back(id); // meaningful for heads only: a new level ends at its head
    } catch (...) {
        m_nodes.pop_back(); // both vectors stay indexed by node
        throw;
    }
    return id;
}

uint32_t Replacer::FindChild(uint32_t level, char16_t unit) const
{
    return level == m_root ? m_firstLevel[unit] : m_index->Find(level, unit);
}

void Replacer::AddPair(const char16_t* beforeZ, const char16_t* afterZ)
{
    const std::u16string_view before = UpToNul(beforeZ);
    const std::u16string_view after = UpToNul(afterZ);

    uint32_t last = m_root;
    uint32_t level = m_root;
    for (const char16_t unit : before) {
        if (level == kNoNode && last != m_root) {
            level = NewNode(0);
            m_nodes[last].child = level;
        }
        uint32_t node = FindChild(level, unit);
        if (node == kNoNode) {
            node = NewNode(unit);
            m_nodes[m_tails[level]].next = node;
            m_tails[level] = node;
            if (level == m_root)
                m_firstLevel[unit] = node;
            else
                m_index->Insert(level, unit, node);
            m_matcher.reset();
        }
        last = node;
        level = m_nodes[last].child;
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
