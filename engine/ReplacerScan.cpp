#include "Replacer.h"

#include "CompiledMatcher.h"
#include "RunParts.h"
#include "detail/MatchNode.h"
#include "detail/MatcherCore.h"

#include <algorithm>

std::shared_ptr<const CompiledMatcher> Replacer::Compile()
{
    if (!m_matcher)
        m_matcher = std::make_shared<const CompiledMatcher>(std::make_unique<const Details::MatcherCore>(m_nodes));
    return m_matcher;
}

std::shared_ptr<const CompiledMatcher> Replacer::Compile(MatcherLayout layout, ScanMethod method) const
{
    return std::make_shared<const CompiledMatcher>(std::make_unique<const Details::MatcherCore>(m_nodes, layout, method));
}

void Replacer::Scan(std::u16string_view text)
{
    m_scan = TextScan(Compile());
    m_scan.ScanParallel(text, UsableCores());
}

std::u16string Replacer::BuildReplaced(std::u16string_view text) const
{
    return m_scan.BuildReplaced(text);
}

std::u16string Replacer::BuildGlossed(std::u16string_view text) const
{
    return m_scan.BuildGlossed(text);
}

size_t Replacer::GetNodeCount() const
{
    return m_nodes.size();
}

size_t Replacer::GetMatchCount() const
{
    return m_scan.GetMatchCount();
}
