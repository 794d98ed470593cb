#include "MatcherBuilder.h"

#include "MatchNode.h"
#include "UnitClasses.h"

#include <algorithm>

namespace Details {

// Every level's real nodes as (unit, node), in creation order, one level
// after another: the children of head h are entries start[h] to start[h + 1].
// Found in passes over the node array in order, not by walking the level
// lists, whose nodes lie scattered over it.
MatcherBuilder::Levels MatcherBuilder::GroupLevels(const std::vector<MatchNode>& nodes)
{
    const size_t n = nodes.size();
    // A node is linked behind an older one, so a level's head is known
    // before any of its nodes is reached.
    std::vector<uint32_t> levelOf(n);
    Levels levels;
    levels.start.assign(n + 1, 0);
    for (size_t id = 0; id < n; ++id) {
        const MatchNode& node = nodes[id];
        if (node.unit == 0)
            levelOf[id] = uint32_t(id); // a head, or the root
        else
            ++levels.start[levelOf[id] + 1];
        if (node.next != kNoNode)
            levelOf[node.next] = levelOf[id];
    }
    for (size_t h = 0; h < n; ++h)
        levels.start[h + 1] += levels.start[h];
    levels.children.resize(levels.start[n]);
    std::vector<uint32_t> fill(levels.start.begin(), levels.start.end() - 1);
    for (size_t id = 0; id < n; ++id)
        if (nodes[id].unit != 0)
            levels.children[fill[levelOf[id]]++] = {nodes[id].unit, uint32_t(id)};
    return levels;
}

// The units most used below the first level get classes. A row holds a slot
// for every class, so only states with children for a fair share of them
// get one.
bool MatcherBuilder::ChooseClasses(const std::vector<uint32_t>& uses)
{
    size_t used = 0;
    m_out.m_classCount = uint32_t(ChooseUnitClasses(uses, CompiledMatcher::kMaxClasses, m_out.m_class, used).size());
    return used == m_out.m_classCount;
}

namespace {
// FindUnitPadded compares 16 units at once, so a row pays only past 16
// children.
constexpr uint32_t kFewestRowChildren = 17;
// A state with one child: count, pair, one word of units, one offset.
constexpr size_t kWordsPerState = 4;
} // namespace

std::optional<SlotPlacer> MatcherBuilder::StartLayout(MatcherLayout layout, const std::vector<uint32_t>& uses,
                                                       size_t states)
{
    const bool allClassed = ChooseClasses(uses);
    m_out.m_doubleArray = allClassed && (layout == MatcherLayout::Automatic || layout == MatcherLayout::DoubleArray);
    m_rowFrom = layout == MatcherLayout::Records ? ~0u
        : layout == MatcherLayout::Rows          ? 2
                                                 : std::max<uint32_t>(kFewestRowChildren, m_out.m_classCount / 4);
    std::optional<SlotPlacer> placer;
    if (m_out.m_doubleArray) {
        placer.emplace(states);
        m_out.m_code.assign(3, 0); // state 0 is no state
    } else {
        m_out.m_code.reserve(states * kWordsPerState + 2);
        m_out.m_code.assign(2, 0); // offset 0 is no state
    }
    return placer;
}

void MatcherBuilder::Put(SlotPlacer* placer, uint32_t slot, char16_t unit,
                          std::vector<std::pair<char16_t, uint32_t>>& children, std::vector<uint32_t>& slots,
                          std::u16string_view before, std::u16string_view after)
{
    if (placer)
        PutSlot(*placer, slot, unit, children, slots, before, after);
    else
        PutState(slot, unit, children, slots, before, after);
}

// Writes the state reached through `slot` (0: the first level's state for
// `unit`) with `children` as (unit, anything), and the pair (before, after)
// when `after` is not empty. Leaves `children` in the order the state stores
// them and `slots` with where each child's offset goes.
void MatcherBuilder::PutState(uint32_t slot, char16_t unit, std::vector<std::pair<char16_t, uint32_t>>& children,
                               std::vector<uint32_t>& slots, std::u16string_view before, std::u16string_view after)
{
    std::vector<uint32_t>& code = m_out.m_code;
    const std::vector<uint8_t>& classOf = m_out.m_class;
    if (children.size() > 1 && !std::is_sorted(children.begin(), children.end()))
        std::sort(children.begin(), children.end());
    const uint32_t state = uint32_t(code.size());
    const bool row = children.size() >= m_rowFrom;
    // Children looked up by unit (the classless ones where there is a row)
    // go to the front, still in ascending order.
    const uint32_t count = row ? uint32_t(std::stable_partition(children.begin(), children.end(),
                                                                [&](const auto& c) { return classOf[c.first] == 0; })
                                          - children.begin())
                               : uint32_t(children.size());
    const uint32_t rowWords = row ? m_out.m_classCount + 1 : 0;
    code.resize(state + 2 + rowWords + (count + 1) / 2 + count, 0);
    if (slot == 0)
        m_out.m_rootNext[unit] = state;
    else
        code[slot] = state;
    code[state] = row ? CompiledMatcher::kRow | count : count;
    PutPair(state, before, after);
    const uint32_t units = state + 2 + rowWords;
    const uint32_t targets = units + (count + 1) / 2;
    slots.resize(children.size());
    for (uint32_t k = 0; k < children.size(); ++k) {
        if (k < count) {
            code[units + (k >> 1)] |= uint32_t(children[k].first) << ((k & 1) * 16);
            slots[k] = targets + k;
        } else {
            slots[k] = state + 2 + classOf[children[k].first];
        }
    }
}

// The double array's PutState: writes `state` (0: a state of the first level,
// for `unit`, which gets a free slot) with the pair (before, after) when
// `after` is not empty, and places its `children` (unit, anything). Leaves in
// `states` the state of each child.
void MatcherBuilder::PutSlot(SlotPlacer& placer, uint32_t state, char16_t unit,
                              const std::vector<std::pair<char16_t, uint32_t>>& children, std::vector<uint32_t>& states,
                              std::u16string_view before, std::u16string_view after)
{
    if (state == 0) {
        state = 3 * placer.TakeFree();
        m_out.m_rootNext[unit] = state;
    }
    uint32_t base = 0;
    if (!children.empty()) {
        std::vector<uint16_t>& labels = placer.NewLabels();
        for (const auto& child : children)
            labels.push_back(m_out.m_class[child.first]);
        base = 3 * placer.Place();
    }
    if (m_out.m_code.size() < 3 * size_t(placer.End()))
        m_out.m_code.resize(3 * placer.Room(), 0);
    m_out.m_code[state] = base;
    PutPair(state, before, after);
    states.resize(children.size());
    for (size_t k = 0; k < children.size(); ++k) {
        states[k] = base + 3 * m_out.m_class[children[k].first];
        m_out.m_code[states[k] + 2] = state;
    }
}

void MatcherBuilder::PutPair(uint32_t state, std::u16string_view before, std::u16string_view after)
{
    if (after.empty())
        return;
    m_out.m_code[state + 1] = uint32_t(m_out.m_pairs.size()) + 1;
    m_out.m_pairs.push_back({m_out.m_text.size(), uint32_t(before.size()), uint32_t(after.size())});
    m_out.m_text += before;
    m_out.m_text += after;
    m_out.m_maxBefore = std::max(m_out.m_maxBefore, before.size());
}

// A step from any state of a double array reads at most m_out.m_classCount states
// past the highest one.
void MatcherBuilder::Finish(const SlotPlacer* placer)
{
    if (placer)
        m_out.m_code.resize(3 * (size_t(placer->End()) + m_out.m_classCount + 1), 0);
    m_out.m_text.append(CompiledMatcher::kTextPadding, u'\0');
    m_out.m_code.resize(m_out.m_code.size() + CompiledMatcher::kCodePadding, 0);
    m_out.m_code.shrink_to_fit();
    m_out.m_pairs.shrink_to_fit();
    m_out.m_text.shrink_to_fit();
    m_out.m_view = {m_out.m_rootNext.data(), m_out.m_class.data(), m_out.m_code.data(), m_out.m_code.size(),
              m_out.m_pairs.data(), m_out.m_pairs.size(), m_out.m_text.data(), m_out.m_text.size()};
}

// Depth-first over the record trie, every level's nodes in ascending unit
// order, writing each state as it is reached; its children's offsets are
// filled in when they are written in turn. The empty before-string sits in
// the root and never matches, so it is left out.
void MatcherBuilder::Build(const std::vector<MatchNode>& nodes, MatcherLayout layout)
{
    const Levels levels = GroupLevels(nodes);
    std::vector<uint32_t> uses(65536, 0);
    for (size_t k = levels.start[1]; k < levels.children.size(); ++k)
        ++uses[levels.children[k].first];
    std::optional<SlotPlacer> placer = StartLayout(layout, uses, nodes.size());
    struct Item {
        uint32_t node;
        uint32_t depth;
        uint32_t slot; // where the state's offset goes in m_out.m_code; 0 for the first level
    };
    std::vector<Item> stack;
    for (uint32_t k = levels.start[0]; k < levels.start[1]; ++k)
        stack.push_back({levels.children[k].second, 1, 0});
    std::vector<std::pair<char16_t, uint32_t>> children;
    std::vector<uint32_t> slots;
    std::u16string path;
    while (!stack.empty()) {
        const Item item = stack.back();
        stack.pop_back();
        const MatchNode& node = nodes[item.node];
        path.resize(item.depth - 1);
        path.push_back(node.unit);

        children.clear();
        if (node.child != kNoNode)
            children.assign(levels.children.begin() + levels.start[node.child],
                            levels.children.begin() + levels.start[node.child + 1]);
        Put(placer ? &*placer : nullptr, item.slot, node.unit, children, slots, path, node.after);
        // The first child is written next, right behind this state.
        for (size_t k = children.size(); k-- > 0;)
            stack.push_back({children[k].second, item.depth + 1, slots[k]});
    }
    Finish(placer ? &*placer : nullptr);
}

// The same layout from the pairs themselves: the before-strings that share a
// prefix of length d are a stretch of the sorted list, and the children of
// that prefix's state begin where the common prefix of two neighbours is
// exactly d long.
void MatcherBuilder::BuildSorted(const std::vector<std::pair<std::u16string_view, std::u16string_view>>& pairs,
                                  MatcherLayout layout)
{
    const size_t count = pairs.size();
    // shared[k]: the length of the prefix pairs k - 1 and k share.
    std::vector<uint32_t> shared(count, 0);
    std::vector<uint32_t> uses(65536, 0);
    size_t nodes = 0;
    for (size_t k = 0; k < count; ++k) {
        const std::u16string_view before = pairs[k].first;
        size_t d = 0;
        if (k > 0) {
            const std::u16string_view last = pairs[k - 1].first;
            const size_t most = std::min(last.size(), before.size());
            while (d < most && last[d] == before[d])
                ++d;
        }
        shared[k] = uint32_t(d);
        nodes += before.size() - d;
        for (size_t i = std::max<size_t>(d, 1); i < before.size(); ++i)
            ++uses[before[i]]; // a node below the first level
    }
    std::optional<SlotPlacer> placer = StartLayout(layout, uses, nodes);

    // A state: the prefix of length `depth` that pairs [from, to) share.
    struct Item {
        uint32_t from;
        uint32_t to;
        uint32_t depth;
        uint32_t slot;
    };
    std::vector<Item> stack;
    std::vector<uint32_t> firsts; // the first pair below each child, in unit order
    std::vector<std::pair<char16_t, uint32_t>> children; // (unit, index into firsts)
    std::vector<uint32_t> slots;
    auto childrenOf = [&](uint32_t from, uint32_t to, uint32_t depth) {
        firsts.clear();
        children.clear();
        for (uint32_t k = from; k < to; ++k)
            if (k == from || shared[k] == depth) {
                children.emplace_back(pairs[k].first[depth], uint32_t(firsts.size()));
                firsts.push_back(k);
            }
    };
    // Each child's stretch ends where the next one's begins; as in Build, the
    // first child is written next, right behind its parent.
    auto pushChildren = [&](uint32_t to, uint32_t depth) {
        for (size_t c = children.size(); c-- > 0;) {
            const uint32_t k = children[c].second;
            stack.push_back({firsts[k], k + 1 < firsts.size() ? firsts[k + 1] : to, depth + 1, slots[c]});
        }
    };
    childrenOf(0, uint32_t(count), 0);
    slots.assign(children.size(), 0); // the first level's states go to m_out.m_rootNext
    pushChildren(uint32_t(count), 0);
    while (!stack.empty()) {
        const Item item = stack.back();
        stack.pop_back();
        const std::u16string_view first = pairs[item.from].first;
        // The stretch's first before-string is the prefix itself when it has a pair here.
        const bool here = first.size() == item.depth;
        childrenOf(here ? item.from + 1 : item.from, item.to, item.depth);
        Put(placer ? &*placer : nullptr, item.slot, first[item.depth - 1], children, slots, first.substr(0, item.depth),
            here ? pairs[item.from].second : std::u16string_view());
        pushChildren(item.to, item.depth);
    }
    Finish(placer ? &*placer : nullptr);
}

} // namespace Details
