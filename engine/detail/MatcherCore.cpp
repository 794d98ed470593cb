#include "MatcherCore.h"

#include "MatchNode.h"
#include "MatcherBuilder.h"
#include "ReverseAutomaton.h"
#include "UnitValues.h"

#include <algorithm>
#include <utility>

namespace Details {

MatcherCore::MatcherCore(const std::vector<MatchNode>& nodes, MatcherLayout layout, ScanMethod method)
    : m_rootNext(kUnitValues, kNoState)
    , m_method(method)
    , m_class(kUnitValues, 0)
{
    MatcherBuilder(*this).Build(nodes, layout);
}

MatcherCore::MatcherCore(const std::vector<std::pair<std::u16string_view, std::u16string_view>>& sortedPairs,
                         MatcherLayout layout, ScanMethod method, size_t parts)
    : m_rootNext(kUnitValues, kNoState)
    , m_method(method)
    , m_class(kUnitValues, 0)
{
    MatcherBuilder(*this).BuildSorted(sortedPairs, layout, parts);
}

MatcherCore::MatcherCore(const View& view, bool doubleArray, uint32_t classCount, size_t maxBefore,
                         std::shared_ptr<const void> storage)
    : m_doubleArray(doubleArray)
    , m_classCount(classCount)
    , m_maxBefore(maxBefore)
    , m_view(view)
    , m_storage(std::move(storage))
{
}

MatcherCore::~MatcherCore() = default;

size_t MatcherCore::MemoryBytes() const
{
    const size_t mapped = !m_storage ? 0
                                     : kUnitValues * sizeof(uint32_t) + kUnitValues + m_view.codeSize * sizeof(uint32_t)
            + m_view.pairCount * sizeof(Pair) + m_view.textSize * sizeof(char16_t);
    return sizeof(*this) + m_rootNext.capacity() * sizeof(uint32_t) + m_class.capacity()
        + m_code.capacity() * sizeof(uint32_t) + m_pairs.capacity() * sizeof(Pair)
        + m_text.capacity() * sizeof(char16_t) + mapped + (m_reverse ? m_reverse->MemoryBytes() : 0);
}

const ReverseAutomaton& MatcherCore::Reverse() const
{
    std::call_once(m_reverseOnce, [this] {
        std::vector<std::u16string_view> befores(GetPairCount());
        for (uint32_t p = 0; p < befores.size(); ++p)
            befores[p] = Before(p);
        m_reverse = std::make_unique<const ReverseAutomaton>(befores);
    });
    return *m_reverse;
}

} // namespace Details
