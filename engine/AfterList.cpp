#include "Replacer.h"

#include <boost/tokenizer.hpp>

namespace {
constexpr std::u16string_view kJoin = u"; ";
}

// The pieces of a value are split at TAB and at the join separator "; ", so
// that an after-string joined earlier is recognised and never appended twice.
bool Replacer::IsAfterListed(std::u16string_view value, std::u16string_view after)
{
    if (value == after)
        return true;
    using Separator = boost::char_separator<char16_t>;
    using Tokenizer = boost::tokenizer<Separator, std::u16string_view::const_iterator, std::u16string>;
    const Tokenizer byTab(value.begin(), value.end(), Separator(u"\t"));
    for (const std::u16string& field : byTab) {
        std::u16string_view rest = field;
        while (!rest.empty()) {
            const size_t cut = rest.find(kJoin);
            const std::u16string_view piece = rest.substr(0, cut);
            if (!piece.empty() && piece == after)
                return true;
            if (cut == std::u16string_view::npos)
                break;
            rest.remove_prefix(cut + kJoin.size());
        }
    }
    return false;
}
