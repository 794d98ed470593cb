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

size_t CompiledMatcher::MaxBeforeLength() const
{
    return m_core->MaxBeforeLength();
}

size_t CompiledMatcher::MemoryBytes() const
{
    return sizeof(*this) + m_core->MemoryBytes();
}
