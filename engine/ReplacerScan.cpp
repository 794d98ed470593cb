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
    m_matches.clear();
    m_matches.shrink_to_fit();
    m_matchedWith.reset();
    m_scannedLength = text.size();
    const CompiledMatcher& matcher = Matcher();
    m_matchedWith = m_matcher;

    const char16_t* const units = text.data();
    const size_t length = text.size();
    size_t i = 0;
    while (i < length) {
        uint32_t node = matcher.First(units[i]);
        if (node == 0) {
            ++i;
            continue;
        }
        size_t best = 0;
        uint32_t bestNode = 0;
        for (size_t j = i;;) {
            if (matcher.At(node).valueLength != 0) {
                best = j - i + 1;
                bestNode = node;
            }
            if (++j == length)
                break;
            node = matcher.Child(node, units[j]);
            if (node == 0)
                break;
        }
        if (best == 0) {
            ++i;
            continue;
        }
        m_matches.push_back({uint32_t(i), uint32_t(best), bestNode});
        i += best;
    }
}

template <bool Gloss>
std::u16string Replacer::Build(std::u16string_view text) const
{
    if (text.size() != m_scannedLength)
        return {};

    size_t size = text.size();
    for (const Match& m : m_matches) {
        const size_t value = m_matchedWith->At(m.node).valueLength;
        size = Gloss ? size + value + 2 : size - m.length + value;
    }

    std::u16string out;
    out.resize(size);
    char16_t* dst = out.data();
    auto put = [&dst](const char16_t* src, size_t n) {
        std::memcpy(dst, src, n * sizeof(char16_t));
        dst += n;
    };
    size_t k = 0;
    for (const Match& m : m_matches) {
        put(text.data() + k, m.start - k);
        if (Gloss) {
            // The matched stretch as scanned, which is the node's before-string.
            m_matchedWith->CopyBefore(m.node, m.length, dst);
            dst += m.length;
            *dst++ = u'[';
        }
        const std::u16string_view value = m_matchedWith->Value(m.node);
        put(value.data(), value.size());
        if (Gloss)
            *dst++ = u']';
        k = size_t(m.start) + m.length;
    }
    put(text.data() + k, text.size() - k);
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
