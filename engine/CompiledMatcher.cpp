#include "CompiledMatcher.h"

#include "RunParts.h"
#include "detail/MatcherCore.h"

#include <algorithm>
#include <utility>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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

namespace {

// Whether `units` holds a line feed or a carriage return, eight units at a time.
bool HoldsLineBreak(std::u16string_view units)
{
    const char16_t* p = units.data();
    const char16_t* const end = p + units.size();
    bool found = false;
#ifdef __SSE2__
    const __m128i lf = _mm_set1_epi16(u'\n');
    const __m128i cr = _mm_set1_epi16(u'\r');
    __m128i seen = _mm_setzero_si128();
    for (; end - p >= 8; p += 8) {
        const __m128i eight = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        seen = _mm_or_si128(seen, _mm_or_si128(_mm_cmpeq_epi16(eight, lf), _mm_cmpeq_epi16(eight, cr)));
    }
    found = _mm_movemask_epi8(seen) != 0;
#endif
    for (; p < end; ++p)
        found |= *p == u'\n' || *p == u'\r';
    return found;
}

} // namespace

bool CompiledMatcher::BeforeHoldsLineBreak() const
{
    // Most dictionaries hold no line break at all, which one pass over all
    // their strings tells (a large one's in parts at once: it is a
    // millisecond of the start of a run); only then are the before-strings
    // looked at.
    constexpr size_t kPartUnits = size_t(1) << 20;
    const std::u16string_view text = m_core->Text();
    const size_t parts = std::clamp<size_t>(text.size() / kPartUnits, 1, UsableCores());
    std::vector<char> found(parts, 0);
    RunParts(parts, [&](size_t p) {
        const size_t from = text.size() / parts * p;
        const size_t to = p + 1 == parts ? text.size() : text.size() / parts * (p + 1);
        found[p] = HoldsLineBreak(text.substr(from, to - from));
    });
    if (std::find(found.begin(), found.end(), 1) == found.end())
        return false;
    for (uint32_t pair = 0; pair < m_core->GetPairCount(); ++pair)
        if (m_core->Before(pair).find_first_of(u"\r\n") != std::u16string_view::npos)
            return true;
    return false;
}

size_t CompiledMatcher::MemoryBytes() const
{
    return sizeof(*this) + m_core->MemoryBytes();
}
