#include "Replacer.h"

#include "detail/MatchNode.h"

#include <boost/tokenizer.hpp>

using Details::kAfterJoin;

namespace {

// Calls `f` with every non-empty piece of `value`, in order: the value split at
// TAB and at the join separator kAfterJoin. The pieces are only valid during the call.
template <class F>
void ForEachPiece(std::u16string_view value, F&& f)
{
    using Separator = boost::char_separator<char16_t>;
    using Tokenizer = boost::tokenizer<Separator, std::u16string_view::const_iterator, std::u16string>;
    const Tokenizer byTab(value.begin(), value.end(), Separator(u"\t"));
    for (const std::u16string& field : byTab) {
        std::u16string_view rest = field;
        for (;;) {
            const size_t cut = rest.find(kAfterJoin);
            const std::u16string_view piece = rest.substr(0, cut);
            if (!piece.empty() && !f(piece))
                return;
            if (cut == std::u16string_view::npos)
                break;
            rest.remove_prefix(cut + kAfterJoin.size());
        }
    }
}

} // namespace

bool Replacer::IsAfterListed(std::u16string_view value, std::u16string_view after)
{
    if (value == after)
        return true;
    bool listed = false;
    ForEachPiece(value, [&](std::u16string_view piece) {
        listed = piece == after;
        return !listed;
    });
    return listed;
}

bool Replacer::JoinPieces(std::u16string& value, std::unordered_set<std::u16string>& pieces, bool collect,
                          std::u16string_view after)
{
    if (collect)
        ForEachPiece(value, [&](std::u16string_view piece) {
            pieces.emplace(piece);
            return true;
        });
    std::u16string added;
    ForEachPiece(after, [&](std::u16string_view piece) {
        if (pieces.emplace(piece).second) {
            added += kAfterJoin;
            added += piece;
        }
        return true;
    });
    value += added;
    return !added.empty();
}

// The pieces of a value are collected once, on its first join, and kept beside
// it: a join then costs the length of the new after-string, not of the value.
// When memory runs out part-way, the value is left as it was and its piece set
// is dropped, to be collected again on the next join.
bool Replacer::JoinAfter(uint32_t node, std::u16string_view after)
{
    std::u16string& value = m_nodes[node].after;
    if (value == after)
        return false; // the common case of a dictionary loaded again
    try {
        auto [it, fresh] = m_afterPieces.try_emplace(node);
        return JoinPieces(value, it->second, fresh, after);
    } catch (...) {
        m_afterPieces.erase(node);
        throw;
    }
}
