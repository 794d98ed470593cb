// The checks that opening a compiled dictionary makes behind its checksum:
// everything a scan can reach lies in the file and is consistent, whatever
// the file holds.
#include "CompiledDictionaryImage.h"

#include "RunParts.h"

#include <algorithm>
#include <functional>
#include <thread>
#include <vector>

using namespace compiled_dictionary;

namespace {

// From this size on, a file is checked on several threads.
constexpr size_t kParallelBytes = size_t(4) << 20;

// Every class 1 to `classCount`, by the first unit that has it; those of no
// unit last. A records layout stores a row's children in this order.
std::vector<uint8_t> ClassesByUnit(const uint8_t* unitClass, uint32_t classCount)
{
    std::vector<uint8_t> order;
    std::vector<bool> ordered(classCount + 1, false);
    for (size_t u = 0; u < kUnits && order.size() < classCount; ++u)
        if (const uint8_t c = unitClass[u]; c != 0 && !ordered[c]) {
            ordered[c] = true;
            order.push_back(c);
        }
    for (uint32_t c = 1; c <= classCount; ++c)
        if (!ordered[c])
            order.push_back(uint8_t(c));
    return order;
}

} // namespace

// The checksum, the pairs and the states are checked at the same time, the
// records in parts; a damaged file is told by its checksum first.
const char* CompiledDictionaryImage::Check(std::string_view file, const Header& header, const View& v)
{
    const bool doubleArray = (header.flags & kDoubleArrayFlag) != 0;
    for (size_t u = 0; u < kUnits; ++u)
        if (v.unitClass[u] > header.classCount)
            return "classes";
    std::vector<std::function<const char*()>> checks;
    checks.push_back([&] { return header.checksum == Checksum(file) ? nullptr : "its checksum does not match"; });
    checks.push_back([&] { return CheckPairs(v, header.maxBefore); });
    // A small file is checked in as many parts, but on one thread.
    const unsigned parts = std::clamp(UsableCores(), 1u, 8u);
    const unsigned threads = file.size() < kParallelBytes ? 1 : parts;
    std::vector<uint32_t> roots;
    std::vector<uint8_t> classOrder;
    if (doubleArray) {
        checks.push_back([&] { return CheckDoubleArray(v, header.classCount); });
    } else {
        classOrder = ClassesByUnit(v.unitClass, header.classCount);
        for (size_t u = 0; u < kUnits; ++u)
            if (v.rootNext[u] != Details::MatcherCore::kNoState)
                roots.push_back(v.rootNext[u]);
        std::sort(roots.begin(), roots.end());
        const size_t padding = Details::MatcherCore::kCodePadding;
        const size_t end = v.codeSize >= padding ? v.codeSize - padding : 0;
        if (!roots.empty() && roots.back() >= end)
            return "first states";
        // Part p checks the subtrees of roots[cut[p], cut[p + 1]), which lie
        // from the first of those roots to the first of the next part's.
        std::vector<size_t> cut{0};
        for (unsigned p = 1; p < parts; ++p) {
            const auto at = std::lower_bound(roots.begin(), roots.end(), v.codeSize / parts * p);
            const size_t k = size_t(at - roots.begin());
            if (k > cut.back() && k < roots.size() && roots[k] != roots[k - 1])
                cut.push_back(k);
        }
        cut.push_back(roots.size());
        for (size_t p = 0; p + 1 < cut.size(); ++p) {
            const size_t from = p == 0 ? 2 : roots[cut[p]];
            const size_t to = p + 2 < cut.size() ? roots[cut[p + 1]] : end;
            const std::span<const uint32_t> part(roots.data() + cut[p], roots.data() + cut[p + 1]);
            checks.push_back(
                [&v, &classOrder, part, from, to] { return CheckRecords(v, classOrder, part, from, to); });
        }
    }
    std::vector<const char*> problems(checks.size());
    RunParts(std::min<size_t>(threads, checks.size()), [&](size_t t) {
        for (size_t k = t; k < checks.size(); k += threads) {
            try {
                problems[k] = checks[k]();
            } catch (const std::bad_alloc&) {
                problems[k] = "no memory to check it";
            }
        }
    });
    for (const char* problem : problems)
        if (problem)
            return problem;
    return nullptr;
}

// Every pair's strings lie in the text, with the padding that copies of
// short strings read behind them, and none is empty; the longest
// before-string is the one the header gives.
const char* CompiledDictionaryImage::CheckPairs(const View& v, uint64_t maxBefore)
{
    if (v.textSize < Details::MatcherCore::kTextPadding)
        return "text";
    const uint64_t room = v.textSize - Details::MatcherCore::kTextPadding;
    uint64_t longest = 0;
    for (size_t p = 0; p < v.pairCount; ++p) {
        const Pair& pair = v.pairs[p];
        if (pair.beforeLength == 0 || pair.offset > room
            || uint64_t(pair.beforeLength) + pair.afterLength > room - pair.offset)
            return "pairs";
        longest = std::max<uint64_t>(longest, pair.beforeLength);
    }
    return longest == maxBefore ? nullptr : "longest before-string";
}

namespace {

// A child still to come in CheckRecords: where its record must lie, and its depth.
struct Child {
    uint32_t offset;
    uint32_t depth;
};

// Pushes the children of the record at `o`, `count` without a class and a
// row when `row`, lowest on top, at `top`; returns the new top. `classOrder`
// holds every class, in the order of the units that have them. Out of line:
// few records have more than one child.
[[gnu::noinline]] Child* PushChildren(const uint32_t* record, size_t o, bool row, size_t count,
                                      std::span<const uint8_t> classOrder, uint32_t depth, Child* top)
{
    const uint32_t* const row0 = record + 2; // the row's word for class c is row0[c]
    const uint32_t* const targets = row0 + (row ? classOrder.size() + 1 : 0) + (count + 1) / 2;
    // A state stores its children in the order their records lie: those
    // without a class first, then the row's in the order of their units. So
    // mostly, pushed from the last, each is below the one pushed before, and
    // none is missing.
    Child* const base = top;
    uint32_t last = UINT32_MAX;
    bool plain = true;
    auto push = [&](uint32_t child) {
        plain &= (child > o) & (child < last);
        last = child;
        *top++ = {child, depth};
    };
    if (row)
        for (size_t k = classOrder.size(); k-- > 0;)
            if (const uint32_t child = row0[classOrder[k]]; child != Details::MatcherCore::kNoState)
                push(child);
    for (size_t k = count; k-- > 0;)
        push(targets[k]);
    if (plain)
        return top;
    top = base;
    std::vector<uint32_t> children;
    if (row)
        for (size_t c = 1; c <= classOrder.size(); ++c)
            if (row0[c] != Details::MatcherCore::kNoState)
                children.push_back(row0[c]);
    for (size_t k = 0; k < count; ++k)
        if (targets[k] != Details::MatcherCore::kNoState)
            children.push_back(targets[k]);
    std::sort(children.begin(), children.end());
    for (size_t k = children.size(); k-- > 0;)
        *top++ = {children[k], depth};
    return top;
}

} // namespace

// The records lie one behind the other, depth first, a state's children in
// the order of their offsets: the record at each offset is the lowest child
// not reached yet of the state nearest to it on its path from the root. So
// the children still to come, kept on a stack with the lowest on top, must
// name exactly the records in the order they lie. That checks that every
// record lies inside the stream (with the padding the unit search reads
// behind it), that every child named is a record, named once, and the depth
// of every record, which its pair's before-string must have.
const char* CompiledDictionaryImage::CheckRecords(const View& v, std::span<const uint8_t> classOrder,
                                                  std::span<const uint32_t> roots,
                                                  size_t from, size_t to)
{
    if (v.codeSize < 2 + Details::MatcherCore::kCodePadding || from > to)
        return "states";
    // Every child named is one word of the stream, or a root; only the part
    // of this room that the deepest path needs is ever touched. At the
    // bottom lies an offset that no record has.
    const std::unique_ptr<Child[]> stack(new Child[1 + roots.size() + (to - from)]);
    Child* top = stack.get(); // one past the top
    *top++ = {UINT32_MAX, 0};
    for (size_t k = roots.size(); k-- > 0;)
        *top++ = {roots[k], 1};
    const uint32_t* const code = v.code;
    // A pair number is looked up before it is known to be in range, at 0
    // when it is not; without pairs, in a pair that no depth has.
    const Pair noPair{0, UINT32_MAX, 0};
    const Pair* const pairs = v.pairCount != 0 ? v.pairs : &noPair;
    const size_t pairCount = v.pairCount;
    // On a sound file, only the branch on a record's kind goes both ways;
    // the checks share one branch, taken only on a damaged file, so that the
    // processor's guesses hold.
    for (size_t o = from; o < to;) {
        --top;
        const uint32_t depth = top->depth;
        // The stream's padding lets the first four words be read before the size is known.
        const uint32_t* const record = code + o;
        const uint32_t word = record[0];
        const uint32_t pair = record[1];
        const uint32_t at = pair - 1 < pairCount ? pair - 1 : 0;
        const bool pairWrong = (pair != 0) & ((pair - 1 >= pairCount) | (pairs[at].beforeLength != depth));
        if ((top->offset != o) | pairWrong)
            return top->offset != o ? "a state is not where its parent has it" : "a pair is not at its depth";
        if (word <= 1) { // a leaf, or a state with one child: most records
            const size_t size = 2 + 2 * size_t(word);
            if (size > to - o)
                return "states";
            *top = {record[3], depth + 1};
            top += (word == 1) & (record[3] != Details::MatcherCore::kNoState);
            o += size;
            continue;
        }
        const bool row = (word & Details::MatcherCore::kRow) != 0;
        const size_t count = word & ~Details::MatcherCore::kRow;
        const size_t size = 2 + (row ? classOrder.size() + 1 : 0) + (count + 1) / 2 + count;
        if (size > to - o)
            return "states";
        top = PushChildren(record, o, row, count, classOrder, depth + 1, top);
        o += size;
    }
    return top == stack.get() + 1 ? nullptr : "a state is missing";
}

// Every slot a step can land on (a multiple of 3, as every base is) has a
// base from which every class stays inside the array, and a pair number in
// range. A state's depth follows from the parent it names; a pair must have
// its state's depth. States whose parents go round in a circle, or name no
// slot, are never reached and need no depth.
const char* CompiledDictionaryImage::CheckDoubleArray(const View& v, uint32_t classCount)
{
    const size_t reach = 3 * size_t(classCount) + 2;
    if (v.codeSize <= reach + 3)
        return "states";
    const size_t slots = v.codeSize / 3; // slot s is code[3s, 3s + 2]
    // A unit without a class steps to slot 0, which must be no state's child.
    if (v.code[0] != 0 || v.code[1] != 0 || v.code[2] != 0)
        return "states";
    for (size_t s = 0; s < slots; ++s) {
        const uint32_t* state = v.code + 3 * s;
        if (state[0] % 3 != 0 || state[0] >= v.codeSize - reach || state[1] > v.pairCount)
            return "states";
    }
    for (size_t u = 0; u < kUnits; ++u) {
        const uint32_t first = v.rootNext[u];
        if (first % 3 != 0 || first / 3 >= slots || (first != 0 && v.code[first + 2] != 0))
            return "first states";
    }
    constexpr uint32_t kUnknown = 0, kBusy = ~0u, kNever = ~0u - 1;
    std::vector<uint32_t> depth(slots, kUnknown);
    std::vector<uint32_t> chain;
    for (size_t s = 0; s < slots; ++s) {
        uint32_t t = uint32_t(s);
        uint32_t found; // the depth of the last state on `chain`'s parent, or kNever
        for (;;) {
            if (depth[t] != kUnknown) {
                found = depth[t] == kBusy ? kNever : depth[t];
                break;
            }
            const uint32_t parent = v.code[3 * size_t(t) + 2];
            depth[t] = kBusy;
            chain.push_back(t);
            if (parent == 0) {
                found = 0;
                break;
            }
            if (parent % 3 != 0 || parent / 3 >= slots) {
                found = kNever;
                break;
            }
            t = parent / 3;
        }
        while (!chain.empty()) {
            found = found == kNever ? kNever : found + 1;
            depth[chain.back()] = found;
            chain.pop_back();
        }
    }
    for (size_t s = 0; s < slots; ++s) {
        const uint32_t pair = v.code[3 * s + 1];
        if (pair != 0 && depth[s] != kNever && v.pairs[pair - 1].beforeLength != depth[s])
            return "a pair is not at its depth";
    }
    return nullptr;
}
