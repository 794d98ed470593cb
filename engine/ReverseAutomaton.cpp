#include "ReverseAutomaton.h"

#include "detail/UnitClasses.h"
#include "detail/UnitValues.h"

#include <algorithm>
#include <utility>

namespace {

// A trie node while building: children in ascending unit order.
struct BuildNode {
    uint32_t firstChild = 0;
    uint32_t lastChild = 0;
    uint32_t nextSibling = 0;
    uint32_t childCount = 0;
    uint32_t longest = 0; // 1 + pair ending here
    char16_t unit = 0;
};

} // namespace

ReverseAutomaton::ReverseAutomaton(const std::vector<std::u16string_view>& befores)
    : m_rootNext(Details::kUnitValues, 0)
    , m_class(Details::kUnitValues, 0)
{
    BuildAutomaton(befores);
}

size_t ReverseAutomaton::MemoryBytes() const
{
    return sizeof(*this) + m_rootNext.capacity() * sizeof(uint32_t) + m_class.capacity()
        + (m_rows.capacity() + m_denseRecord.capacity() + m_denseLongest.capacity()) * sizeof(uint32_t)
        + m_code.capacity() * sizeof(uint32_t);
}

void ReverseAutomaton::BuildAutomaton(const std::vector<std::u16string_view>& befores)
{
    // The reversed before-strings in ascending order, so the trie over them
    // is built by appending: each key shares its longest common prefix with
    // the one before it. The first four units, packed, settle most
    // comparisons without touching the strings.
    struct Key {
        uint64_t head;
        uint32_t pair;
    };
    auto reversedAt = [&befores](uint32_t pair, size_t k) { return befores[pair][befores[pair].size() - 1 - k]; };
    std::vector<Key> keys(befores.size());
    for (uint32_t pair = 0; pair < keys.size(); ++pair) {
        uint64_t head = 0;
        for (size_t k = 0; k < 4; ++k)
            head = (head << 16) | (k < befores[pair].size() ? reversedAt(pair, k) : 0);
        keys[pair] = {head, pair};
    }
    std::sort(keys.begin(), keys.end(), [&](const Key& a, const Key& b) {
        if (a.head != b.head)
            return a.head < b.head;
        const size_t la = befores[a.pair].size(), lb = befores[b.pair].size();
        for (size_t k = 4; k < la && k < lb; ++k) {
            const char16_t ua = reversedAt(a.pair, k), ub = reversedAt(b.pair, k);
            if (ua != ub)
                return ua < ub;
        }
        return la < lb;
    });

    std::vector<BuildNode> trie(1);
    std::vector<uint32_t> path(1, 0); // path[d]: node at depth d of the previous key
    uint32_t previous = 0;
    for (size_t i = 0; i < keys.size(); ++i) {
        const uint32_t pair = keys[i].pair;
        const size_t length = befores[pair].size();
        size_t common = 0;
        if (i > 0) {
            const size_t limit = std::min<size_t>(length, befores[previous].size());
            while (common < limit && reversedAt(pair, common) == reversedAt(previous, common))
                ++common;
        }
        path.resize(common + 1);
        for (size_t d = common; d < length; ++d) {
            const uint32_t parent = path[d];
            const uint32_t id = uint32_t(trie.size());
            trie.emplace_back();
            trie.back().unit = reversedAt(pair, d);
            BuildNode& p = trie[parent];
            if (p.childCount++ == 0)
                p.firstChild = id;
            else
                trie[p.lastChild].nextSibling = id;
            p.lastChild = id;
            path.push_back(id);
        }
        trie[path[length]].longest = pair + 1;
        previous = pair;
    }

    // Breadth-first order and each state's offset.
    std::vector<uint32_t> order;
    order.reserve(trie.size());
    order.push_back(0);
    std::vector<uint32_t> offset(trie.size(), 0);
    size_t size = 3; // the root's record: no children, failure and longest 0
    for (size_t k = 0; k < order.size(); ++k) {
        for (uint32_t c = trie[order[k]].firstChild; c != 0; c = trie[c].nextSibling) {
            order.push_back(c);
            offset[c] = uint32_t(size);
            const uint32_t count = trie[c].childCount;
            size += 3 + (count + 1) / 2 + count;
        }
    }
    m_code.assign(size, 0);
    for (uint32_t c = trie[0].firstChild; c != 0; c = trie[c].nextSibling)
        m_rootNext[trie[c].unit] = offset[c];
    for (size_t k = 1; k < order.size(); ++k) {
        const BuildNode& node = trie[order[k]];
        uint32_t* record = &m_code[offset[order[k]]];
        record[0] = node.childCount;
        uint32_t* units = record + 3;
        uint32_t* targets = units + (node.childCount + 1) / 2;
        uint32_t j = 0;
        for (uint32_t c = node.firstChild; c != 0; c = trie[c].nextSibling, ++j) {
            units[j >> 1] |= uint32_t(trie[c].unit) << ((j & 1) * 16);
            targets[j] = offset[c];
        }
    }

    // Failure links and the longest match, shallow states first: both only
    // look at shallower states, which are complete by then.
    for (size_t k = 0; k < order.size(); ++k) {
        const uint32_t id = order[k];
        const uint32_t state = offset[id];
        if (id != 0) {
            const uint32_t own = trie[id].longest;
            m_code[state + 2] = own != 0 ? own : m_code[m_code[state + 1] + 2];
        }
        for (uint32_t c = trie[id].firstChild; c != 0; c = trie[c].nextSibling)
            m_code[offset[c] + 1] = id == 0 ? 0 : PlainStep(m_code[state + 1], trie[c].unit);
    }

    std::vector<uint32_t> states(order.size());
    for (size_t k = 0; k < order.size(); ++k)
        states[k] = offset[order[k]];
    BuildRows(befores, states);
}

void ReverseAutomaton::BuildRows(const std::vector<std::u16string_view>& befores, const std::vector<uint32_t>& statesInOrder)
{
    // The units most used in before-strings get classes.
    std::vector<uint32_t> uses(Details::kUnitValues, 0);
    for (const std::u16string_view before : befores)
        for (const char16_t unit : before)
            ++uses[unit];
    size_t used = 0;
    const std::vector<char16_t> units = Details::ChooseUnitClasses(uses, kClasses - 1, m_class, used);
    const size_t classes = units.size();

    // A row costs 1 KB: the shallowest states, as many as the dictionary's
    // size warrants; the root always.
    const size_t rows = std::min({statesInOrder.size(), befores.size() / 32 + 1, size_t(4096)});
    m_denseRecord.assign(statesInOrder.begin(), statesInOrder.begin() + rows);
    m_denseLongest.resize(rows);
    for (size_t r = 0; r < rows; ++r)
        m_denseLongest[r] = m_code[statesInOrder[r] + 2];
    // Offsets grow in breadth-first order, so the rows' states are exactly
    // those below the first state without one.
    const uint32_t firstSparse = rows < statesInOrder.size() ? statesInOrder[rows] : uint32_t(m_code.size());
    auto name = [&](uint32_t offset) {
        if (offset >= firstSparse)
            return offset;
        const auto at = std::lower_bound(m_denseRecord.begin(), m_denseRecord.end(), offset);
        return kDense | uint32_t(at - m_denseRecord.begin());
    };
    m_rows.assign(rows * kClasses, kRoot);
    for (size_t r = 0; r < rows; ++r)
        for (size_t k = 0; k < classes; ++k)
            m_rows[r * kClasses + k + 1] = name(PlainStep(statesInOrder[r], units[k]));
    // From here on every stored state is named as the scan names it.
    for (uint32_t& next : m_rootNext)
        next = name(next);
    for (size_t k = 1; k < statesInOrder.size(); ++k) {
        const uint32_t o = statesInOrder[k];
        const uint32_t count = m_code[o];
        m_code[o + 1] = name(m_code[o + 1]);
        uint32_t* targets = &m_code[o + 3 + (count + 1) / 2];
        for (uint32_t j = 0; j < count; ++j)
            targets[j] = name(targets[j]);
    }
}

// Step() while every state is still named by its offset.
uint32_t ReverseAutomaton::PlainStep(uint32_t state, char16_t unit) const
{
    return Follow(state, unit, 0, [](uint32_t offset) { return offset; });
}
