#include "Replacer.h"

#include "CompiledMatcher.h"
#include "RunParts.h"
#include "detail/MatchNode.h"
#include "detail/MatcherCore.h"

#include <algorithm>
#include <system_error>

std::shared_ptr<const CompiledMatcher> Replacer::Compile()
{
    if (!m_matcher && m_compiling.valid())
        m_matcher = m_compiling.get(); // what it threw, bad_alloc say, is thrown here
    if (!m_matcher)
        m_matcher = std::make_shared<const CompiledMatcher>(std::make_unique<const Details::MatcherCore>(m_nodes));
    return m_matcher;
}

std::shared_ptr<const CompiledMatcher> Replacer::Compile(MatcherLayout layout, ScanMethod method) const
{
    return std::make_shared<const CompiledMatcher>(std::make_unique<const Details::MatcherCore>(m_nodes, layout, method));
}

void Replacer::CompileAhead()
{
    if (m_matcher || m_compiling.valid())
        return;
    try {
        m_compiling = std::async(std::launch::async, [this] {
            return std::make_shared<const CompiledMatcher>(std::make_unique<const Details::MatcherCore>(m_nodes));
        });
    } catch (const std::system_error&) {
        // No thread now: the next Scan compiles it.
    }
}

void Replacer::DropCompileAhead()
{
    if (!m_compiling.valid())
        return;
    m_compiling.wait();
    m_compiling = {};
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
