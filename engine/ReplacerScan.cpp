#include "Replacer.h"

#include <cstring>

const CompiledMatcher& Replacer::Matcher()
{
    if (!m_matcher)
        m_matcher = std::make_shared<const CompiledMatcher>(m_nodes);
    return *m_matcher;
}

void Replacer::Scan(std::u16string_view text)
{
    m_matches.Clear();
    m_matchedWith.reset();
    m_scannedLength = text.size();
    const CompiledMatcher& matcher = Matcher();
    m_matchedWith = m_matcher;

    const char16_t* const units = text.data();
    const size_t length = text.size();
    size_t i = 0;
    while (i < length) {
        uint32_t pair = 0;
        const size_t best = matcher.LongestAt(units + i, length - i, pair);
        if (best == 0) {
            ++i;
            continue;
        }
        m_matches.Push({uint32_t(i), pair});
        i += best;
    }
}

template <bool Gloss>
std::u16string Replacer::Build(std::u16string_view text) const
{
    if (text.size() != m_scannedLength)
        return {};

    size_t size = text.size();
    m_matches.ForEach([&](const FoundMatch& m) {
        const size_t before = m_matchedWith->Before(m.pair).size();
        const size_t after = m_matchedWith->After(m.pair).size();
        size = Gloss ? size + after + 2 : size - before + after;
    });

    std::u16string out;
    out.resize(size);
    char16_t* dst = out.data();
    auto put = [&dst](std::u16string_view s) {
        std::memcpy(dst, s.data(), s.size() * sizeof(char16_t));
        dst += s.size();
    };
    size_t k = 0;
    m_matches.ForEach([&](const FoundMatch& m) {
        // Matched stretches come from the scan, the rest from `text`.
        const std::u16string_view before = m_matchedWith->Before(m.pair);
        put(text.substr(k, m.start - k));
        if (Gloss) {
            put(before);
            *dst++ = u'[';
        }
        put(m_matchedWith->After(m.pair));
        if (Gloss)
            *dst++ = u']';
        k = size_t(m.start) + before.size();
    });
    put(text.substr(k));
    return out;
}

std::u16string Replacer::BuildReplaced(std::u16string_view text) const
{
    return Build<false>(text);
}

std::u16string Replacer::BuildGlossed(std::u16string_view text) const
{
    return Build<true>(text);
}
