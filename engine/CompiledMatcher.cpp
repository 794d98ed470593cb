#include "CompiledMatcher.h"

#include "detail/MatcherCore.h"

#include <utility>

CompiledMatcher::CompiledMatcher(std::unique_ptr<const Details::MatcherCore> core)
    : m_core(std::move(core))
{
}

CompiledMatcher::~CompiledMatcher() = default;

size_t CompiledMatcher::GetPairCount() const
{
    return m_core->GetPairCount();
}

std::u16string_view CompiledMatcher::Before(uint32_t pair) const
{
    return m_core->Before(pair);
}

std::u16string_view CompiledMatcher::After(uint32_t pair) const
{
    return m_core->After(pair);
}

std::optional<uint32_t> CompiledMatcher::Find(std::u16string_view before) const
{
    if (before.empty())
        return std::nullopt;
    uint32_t state = m_core->First(before[0]);
    for (size_t k = 1; k < before.size() && state != Details::MatcherCore::kNoState; ++k)
        state = m_core->Next(state, before[k]);
    if (state == Details::MatcherCore::kNoState || m_core->PairAt(state) == 0)
        return std::nullopt;
    return m_core->PairAt(state) - 1;
}

size_t CompiledMatcher::MaxBeforeLength() const
{
    return m_core->MaxBeforeLength();
}

size_t CompiledMatcher::MemoryBytes() const
{
    return sizeof(*this) + m_core->MemoryBytes();
}
