#include "MatcherBuilder.h"

#include "MatchNode.h"
#include "PairWork.h"
#include "UnitClasses.h"
#include "UnitValues.h"
#include "LargePages.h"
#include "RunParts.h"

#include <algorithm>
#include <iterator>

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
    m_out.m_classCount = uint32_t(ChooseUnitClasses(uses, MatcherCore::kMaxClasses, m_out.m_class, used).size());
    return used == m_out.m_classCount;
}

namespace {
// FindUnitPadded compares 16 units at once, so a row pays only past 16
// children.
constexpr uint32_t kFewestRowChildren = 17;
// A state with one child: count, pair, one word of units, one offset.
constexpr size_t kWordsPerState = 4;
// From this many pairs a double array is placed in two halves.
constexpr size_t kSplitPairs = size_t(1) << 13;
} // namespace

bool MatcherBuilder::ChooseLayout(MatcherLayout layout, const std::vector<uint32_t>& uses)
{
    const bool allClassed = ChooseClasses(uses);
    m_out.m_doubleArray = allClassed && (layout == MatcherLayout::Automatic || layout == MatcherLayout::DoubleArray);
    m_rowFrom = layout == MatcherLayout::Records ? ~0u
        : layout == MatcherLayout::Rows          ? 2
                                                 : std::max<uint32_t>(kFewestRowChildren, m_out.m_classCount / 4);
    return m_out.m_doubleArray;
}

std::optional<SlotPlacer> MatcherBuilder::StartArrays(size_t states)
{
    std::optional<SlotPlacer> placer;
    if (m_out.m_doubleArray) {
        placer.emplace(states);
        m_out.m_code.assign(3, 0); // state 0 is no state
    } else {
        m_out.m_code.reserve(states * kWordsPerState + 2);
        m_out.m_code.assign(2, 0); // offset 0 is no state
        AdviseLargePages(m_out.m_code.data(), m_out.m_code.capacity() * sizeof(uint32_t));
    }
    return placer;
}

void MatcherBuilder::Put(SlotPlacer* placer, uint32_t slot, char16_t unit,
                          std::vector<std::pair<char16_t, uint32_t>>& children, std::vector<uint32_t>& slots,
                          uint32_t pair)
{
    if (placer)
        PutSlot(*placer, slot, unit, children, slots, pair);
    else
        PutState(slot, unit, children, slots, pair);
}

// Writes the state reached through `slot` (0: the first level's state for
// `unit`) with `children` as (unit, anything) and `pair` (1 + the pair that
// ends here, 0 for none) into m_code. Leaves `children` in the order the
// state stores them and `slots` with where each child's offset goes.
void MatcherBuilder::PutState(uint32_t slot, char16_t unit, std::vector<std::pair<char16_t, uint32_t>>& children,
                               std::vector<uint32_t>& slots, uint32_t pair)
{
    std::vector<uint32_t>& code = *m_code;
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
    code[state] = row ? MatcherCore::kRow | count : count;
    code[state + 1] = pair;
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
// for `unit`, which gets a free slot) with `pair`, and places its `children`
// (unit, anything). Leaves in `states` the state of each child.
void MatcherBuilder::PutSlot(SlotPlacer& placer, uint32_t state, char16_t unit,
                              const std::vector<std::pair<char16_t, uint32_t>>& children, std::vector<uint32_t>& states,
                              uint32_t pair)
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
    std::vector<uint32_t>& code = *m_code;
    if (code.size() < 3 * size_t(placer.End()))
        code.resize(3 * placer.Room(), 0);
    code[state] = base;
    code[state + 1] = pair;
    states.resize(children.size());
    for (size_t k = 0; k < children.size(); ++k) {
        states[k] = base + 3 * m_out.m_class[children[k].first];
        code[states[k] + 2] = state;
    }
}

uint32_t MatcherBuilder::AddPair(std::u16string_view before, std::u16string_view after)
{
    if (after.empty())
        return 0;
    m_out.m_pairs.push_back({m_out.m_text.size(), uint32_t(before.size()), uint32_t(after.size())});
    m_out.m_text += before;
    m_out.m_text += after;
    m_out.m_maxBefore = std::max(m_out.m_maxBefore, before.size());
    return uint32_t(m_out.m_pairs.size());
}

// A step from any state of a double array reads at most m_out.m_classCount states
// past the highest one.
void MatcherBuilder::Finish(uint32_t slots)
{
    if (slots != 0)
        m_out.m_code.resize(3 * (size_t(slots) + m_out.m_classCount + 1), 0);
    m_out.m_text.append(MatcherCore::kTextPadding, u'\0');
    m_out.m_code.resize(m_out.m_code.size() + MatcherCore::kCodePadding, 0);
    // Copying an array to drop its last few unused pages costs more than
    // those pages, which were never touched.
    const auto shrink = [](auto& array) {
        if (array.capacity() - array.size() > array.size() / 8)
            array.shrink_to_fit();
    };
    shrink(m_out.m_code);
    shrink(m_out.m_pairs);
    shrink(m_out.m_text);
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
    std::vector<uint32_t> uses(kUnitValues, 0);
    for (size_t k = levels.start[1]; k < levels.children.size(); ++k)
        ++uses[levels.children[k].first];
    ChooseLayout(layout, uses);
    std::optional<SlotPlacer> placer = StartArrays(nodes.size());
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
        Put(placer ? &*placer : nullptr, item.slot, node.unit, children, slots, AddPair(path, node.after));
        // The first child is written next, right behind this state.
        for (size_t k = children.size(); k-- > 0;)
            stack.push_back({children[k].second, item.depth + 1, slots[k]});
    }
    Finish(placer ? placer->End() : 0);
}

// The same layout from the pairs themselves: the before-strings that share a
// prefix of length d are a stretch of the sorted list, and the children of
// that prefix's state begin where the common prefix of two neighbours is
// exactly d long. Every pair has a state of its own, so their text is copied
// in first, in their order, and the walk reads the before-strings from there
// instead of wherever they lie. The walk meets the pairs in that order except
// below a row, whose children without a class come first; the pairs are
// numbered as they are met and put in that order at the end.
void MatcherBuilder::BuildSorted(const std::vector<std::pair<std::u16string_view, std::u16string_view>>& pairs,
                                  MatcherLayout layout, size_t parts)
{
    const size_t count = pairs.size();
    parts = PairParts(parts, count);
    std::vector<MatcherCore::Pair>& stored = m_out.m_pairs;
    stored.resize(count);
    AdviseLargePages(stored.data(), count * sizeof(MatcherCore::Pair));
    size_t units = 0;
    for (size_t k = 0; k < count; ++k) {
        stored[k] = {units, uint32_t(pairs[k].first.size()), uint32_t(pairs[k].second.size())};
        units += pairs[k].first.size() + pairs[k].second.size();
    }
    m_out.m_text.reserve(units + MatcherCore::kTextPadding);
    AdviseLargePages(m_out.m_text.data(), m_out.m_text.capacity() * sizeof(char16_t));
    m_out.m_text.resize(units);

    // shared[k]: the length of the prefix pairs k - 1 and k share. Each part
    // copies and looks at a stretch of the pairs, counting for itself.
    std::vector<uint32_t> shared(count, 0);
    struct Tally {
        std::vector<uint32_t> uses = std::vector<uint32_t>(kUnitValues, 0); // nodes below the first level, by unit
        size_t nodes = 0;
        size_t maxBefore = 0;
    };
    std::vector<Tally> tallies(parts);
    RunParts(parts, [&](size_t p) {
        Tally& tally = tallies[p];
        const size_t from = count * p / parts, to = count * (p + 1) / parts;
        for (size_t k = from; k < to; ++k) {
            // The pairs lie scattered over their texts: ask for them early.
            if (k + kPairLookAhead < to) {
                __builtin_prefetch(pairs[k + kPairLookAhead].first.data());
                __builtin_prefetch(pairs[k + kPairLookAhead].second.data());
            }
            char16_t* out = m_out.m_text.data() + stored[k].offset;
            std::copy(pairs[k].first.begin(), pairs[k].first.end(), out);
            std::copy(pairs[k].second.begin(), pairs[k].second.end(), out + pairs[k].first.size());
            const std::u16string_view before = Before(k);
            size_t d = 0;
            if (k > 0) {
                const std::u16string_view last = k > from ? Before(k - 1) : pairs[k - 1].first;
                const size_t most = std::min(last.size(), before.size());
                while (d < most && last[d] == before[d])
                    ++d;
            }
            shared[k] = uint32_t(d);
            tally.nodes += before.size() - d;
            tally.maxBefore = std::max(tally.maxBefore, before.size());
            for (size_t i = std::max<size_t>(d, 1); i < before.size(); ++i)
                ++tally.uses[before[i]];
        }
    });
    for (size_t p = 1; p < parts; ++p) {
        for (size_t u = 0; u < kUnitValues; ++u)
            tallies[0].uses[u] += tallies[p].uses[u];
        tallies[0].nodes += tallies[p].nodes;
        tallies[0].maxBefore = std::max(tallies[0].maxBefore, tallies[p].maxBefore);
    }
    m_out.m_maxBefore = tallies[0].maxBefore;

    // The first level: a stretch for each unit a before-string starts with.
    std::vector<Stretch> roots;
    for (uint32_t k = 0; k < count; ++k) {
        if (k > 0 && shared[k] != 0)
            continue;
        if (!roots.empty())
            roots.back().to = k;
        roots.push_back({k, uint32_t(count), 1, 0});
    }
    // The first level splits into two runs of stretches, written at once
    // into arrays of their own, the second put behind the first. Records
    // come out the same split or not, so they split only for a second core.
    // A double array split is laid out otherwise than one that is not, so it
    // splits by its size alone: a dictionary compiles to the same bytes on
    // any machine.
    const bool doubleArray = ChooseLayout(layout, tallies[0].uses);
    const bool split = roots.size() >= 2 && (doubleArray ? count >= kSplitPairs : parts >= 2);
    const auto half = !split ? roots.end() : std::find_if(roots.begin() + 1, roots.end() - 1, [&](const Stretch& r) {
        return r.from >= count / 2;
    });
    const uint32_t ahead = half == roots.end() ? uint32_t(count) : half->from; // pairs of the first run
    const size_t nodes = tallies[0].nodes;
    // A split double array's first placer is sized for the first run; records
    // keep room for both runs.
    std::optional<SlotPlacer> placer = StartArrays(doubleArray && split ? nodes * ahead / count : nodes);
    SlotPlacer* const placed = placer ? &*placer : nullptr;

    std::vector<uint32_t> met(count); // the pairs in the order the walk meets them
    std::vector<uint32_t> behind;
    std::optional<SlotPlacer> behindPlacer;
    const auto put = [&](size_t p) {
        if (p == 0) {
            PutStretches(shared, {std::make_reverse_iterator(half), roots.rend()}, placed, met.data(), 0);
            return;
        }
        MatcherBuilder second(m_out);
        second.m_code = &behind;
        second.m_rowFrom = m_rowFrom;
        if (placed) {
            behindPlacer.emplace(nodes * (count - ahead) / count);
        } else {
            behind.reserve(m_out.m_code.capacity() / count * (count - ahead) + 64);
            AdviseLargePages(behind.data(), behind.capacity() * sizeof(uint32_t));
        }
        second.PutStretches(shared, {roots.rbegin(), std::make_reverse_iterator(half)},
                            behindPlacer ? &*behindPlacer : nullptr, met.data(),
                            ahead); // the first run meets exactly the pairs before it
    };
    uint32_t slots = 0; // of the double array
    if (!split) {
        PutStretches(shared, {roots.rbegin(), roots.rend()}, placed, met.data(), 0);
        slots = placed ? placed->End() : 0;
    } else {
        // Room for both halves, which take about a slot per state: the
        // second is put behind the first without moving it.
        if (placed) {
            m_out.m_code.reserve(3 * (nodes + nodes / 16 + 256 + m_out.m_classCount) + MatcherCore::kCodePadding);
            AdviseLargePages(m_out.m_code.data(), m_out.m_code.capacity() * sizeof(uint32_t));
        }
        if (parts >= 2) {
            RunParts(2, put);
        } else {
            put(0);
            put(1);
        }
        if (placed) {
            AppendSlots(behind, *behindPlacer, placed->End(), {half, roots.end()});
            slots = placed->End() + behindPlacer->End();
        } else {
            AppendRecords(behind, {half, roots.end()});
        }
    }
    OrderPairs(met);
    Finish(slots);
}

std::u16string_view MatcherBuilder::Before(size_t pair) const
{
    const MatcherCore::Pair& p = m_out.m_pairs[pair];
    return {m_out.m_text.data() + p.offset, p.beforeLength};
}

// Writes the states of the stretches on `stack`, the last one first, and all
// below them, depth-first, each state's children in unit order.
void MatcherBuilder::PutStretches(const std::vector<uint32_t>& shared, std::vector<Stretch> stack,
                                   SlotPlacer* placer, uint32_t* met, uint32_t number)
{
    std::vector<uint32_t> firsts; // the first pair below each child, in unit order
    std::vector<std::pair<char16_t, uint32_t>> children; // (unit, index into firsts)
    std::vector<uint32_t> slots;
    while (!stack.empty()) {
        const Stretch item = stack.back();
        stack.pop_back();
        const std::u16string_view first = Before(item.from);
        // The stretch's first before-string is the prefix itself when it has a pair here.
        const bool here = first.size() == item.depth;
        firsts.clear();
        children.clear();
        for (uint32_t k = here ? item.from + 1 : item.from; k < item.to; ++k)
            if (children.empty() || shared[k] == item.depth) {
                children.emplace_back(Before(k)[item.depth], uint32_t(firsts.size()));
                firsts.push_back(k);
            }
        if (here)
            met[number] = item.from;
        Put(placer, item.slot, first[item.depth - 1], children, slots, here ? ++number : 0);
        // Each child's stretch ends where the next one's begins; as in Build,
        // the first child is written next, right behind its parent.
        for (size_t c = children.size(); c-- > 0;) {
            const uint32_t k = children[c].second;
            stack.push_back({firsts[k], k + 1 < firsts.size() ? firsts[k + 1] : item.to, item.depth + 1, slots[c]});
        }
    }
}

// Puts the pairs, copied in in sorted order, into the order the walk met
// them in: met[n] is the pair met n-th. Where they differ, the pairs below
// a row are met in another order, but they are still the same stretch, whose
// text is laid out anew where it was.
void MatcherBuilder::OrderPairs(const std::vector<uint32_t>& met)
{
    std::vector<MatcherCore::Pair>& stored = m_out.m_pairs;
    std::vector<MatcherCore::Pair> pairs;
    std::u16string span;
    for (size_t n = 0; n < met.size();) {
        if (met[n] == n) {
            ++n;
            continue;
        }
        // The shortest stretch from n that the walk met all of.
        size_t end = n;
        for (size_t most = n; end <= most; ++end)
            most = std::max<size_t>(most, met[end]);
        const MatcherCore::Pair& last = stored[end - 1];
        const size_t from = stored[n].offset;
        span.assign(m_out.m_text, from, last.offset + last.beforeLength + last.afterLength - from);
        pairs.assign(stored.begin() + ptrdiff_t(n), stored.begin() + ptrdiff_t(end));
        size_t at = from;
        for (size_t m = n; m < end; ++m) {
            const MatcherCore::Pair& p = pairs[met[m] - n];
            const size_t length = p.beforeLength + size_t(p.afterLength);
            m_out.m_text.replace(at, length, span, p.offset - from, length);
            stored[m] = {at, p.beforeLength, p.afterLength};
            at += length;
        }
        n = end;
    }
}

// Puts `behind`, records whose offsets count from their own start, at the
// end of m_code, moving every offset in them and in the first level's slots
// for `roots` by where they now start. Row slots without a child stay 0.
void MatcherBuilder::AppendRecords(const std::vector<uint32_t>& behind, const std::vector<Stretch>& roots)
{
    std::vector<uint32_t>& code = *m_code;
    const uint32_t base = uint32_t(code.size());
    code.insert(code.end(), behind.begin(), behind.end());
    for (size_t o = base; o < code.size();) {
        const bool row = (code[o] & MatcherCore::kRow) != 0;
        const uint32_t count = code[o] & ~MatcherCore::kRow;
        const size_t rowWords = row ? m_out.m_classCount + 1 : 0;
        for (size_t w = o + 2; w < o + 2 + rowWords; ++w)
            if (code[w] != 0)
                code[w] += base;
        const size_t targets = o + 2 + rowWords + (count + 1) / 2;
        for (size_t w = targets; w < targets + count; ++w)
            code[w] += base;
        o = targets + count;
    }
    for (const Stretch& root : roots)
        m_out.m_rootNext[Before(root.from)[0]] += base;
}

// Puts `behind`, a double array that `placer` laid out as if alone (its
// own slot 0 no state), behind the first `ahead` slots of m_code, moving by
// where it now starts every base and parent in it and the first level's
// states for `roots`. A state of the first level keeps 0 for its parent.
void MatcherBuilder::AppendSlots(const std::vector<uint32_t>& behind, const SlotPlacer& placer, uint32_t ahead,
                                 const std::vector<Stretch>& roots)
{
    std::vector<uint32_t>& code = m_out.m_code;
    const uint32_t base = 3 * ahead;
    code.resize(base);
    code.insert(code.end(), behind.begin(), behind.begin() + 3 * ptrdiff_t(placer.End()));
    for (uint32_t s = 1; s < placer.End(); ++s) {
        if (!placer.Taken(s))
            continue;
        uint32_t* const state = &code[base + 3 * size_t(s)];
        state[0] += base;
        if (state[2] != 0)
            state[2] += base;
    }
    for (const Stretch& root : roots)
        m_out.m_rootNext[Before(root.from)[0]] += base;
}

} // namespace Details
