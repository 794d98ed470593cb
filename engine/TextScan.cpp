#include "TextScan.h"

#include "CompiledMatcher.h"
#include "MatchList.h"

#include <cstring>

TextScan::TextScan(std::shared_ptr<const CompiledMatcher> matcher)
    : m_matcher(std::move(matcher))
    , m_matches(std::make_unique<MatchList>())
{
}

TextScan::~TextScan() = default;
TextScan::TextScan(TextScan&&) noexcept = default;
TextScan& TextScan::operator=(TextScan&&) noexcept = default;

void TextScan::Scan(std::u16string_view text)
{
    m_matches->Clear();
    m_scannedLength = text.size();
    const char16_t* const units = text.data();
    const size_t length = text.size();
    size_t i = 0;
    while (i < length) {
        uint32_t pair = 0;
        bool open = false;
        const size_t best = m_matcher->LongestAt(units + i, length - i, pair, open);
        if (best == 0) {
            ++i;
            continue;
        }
        m_matches->Push({uint32_t(i), pair});
        i += best;
    }
}

size_t TextScan::ScanFront(std::u16string_view text)
{
    m_matches->Clear();
    const char16_t* const units = text.data();
    const size_t length = text.size();
    size_t i = 0;
    while (i < length) {
        uint32_t pair = 0;
        bool open = false;
        const size_t best = m_matcher->LongestAt(units + i, length - i, pair, open);
        if (open)
            break; // a longer before-string may still start here
        if (best == 0) {
            ++i;
            continue;
        }
        m_matches->Push({uint32_t(i), pair});
        i += best;
    }
    m_scannedLength = i;
    return i;
}

size_t TextScan::GetMatchCount() const
{
    return m_matches->Size();
}

void TextScan::ForEachMatch(const std::function<void(size_t, std::u16string_view, std::u16string_view)>& f) const
{
    m_matches->ForEach([&](const FoundMatch& m) { f(m.start, m_matcher->Before(m.pair), m_matcher->After(m.pair)); });
}

size_t TextScan::OutputSize(bool gloss) const
{
    size_t size = m_scannedLength;
    m_matches->ForEach([&](const FoundMatch& m) {
        const size_t before = m_matcher->Before(m.pair).size();
        const size_t after = m_matcher->After(m.pair).size();
        size = gloss ? size + after + 2 : size - before + after;
    });
    return size;
}

bool TextScan::AppendOutput(std::u16string_view text, bool gloss, std::u16string& out) const
{
    if (text.size() != m_scannedLength)
        return false;
    const size_t start = out.size();
    out.resize(start + OutputSize(gloss));
    char16_t* dst = out.data() + start;
    auto put = [&dst](std::u16string_view s) {
        std::memcpy(dst, s.data(), s.size() * sizeof(char16_t));
        dst += s.size();
    };
    size_t k = 0;
    m_matches->ForEach([&](const FoundMatch& m) {
        // Matched stretches come from the scan, the rest from `text`.
        const std::u16string_view before = m_matcher->Before(m.pair);
        put(text.substr(k, m.start - k));
        if (gloss) {
            put(before);
            *dst++ = u'[';
        }
        put(m_matcher->After(m.pair));
        if (gloss)
            *dst++ = u']';
        k = size_t(m.start) + before.size();
    });
    put(text.substr(k));
    return true;
}

std::u16string TextScan::BuildReplaced(std::u16string_view text) const
{
    std::u16string out;
    AppendOutput(text, false, out);
    return out;
}

std::u16string TextScan::BuildGlossed(std::u16string_view text) const
{
    std::u16string out;
    AppendOutput(text, true, out);
    return out;
}
