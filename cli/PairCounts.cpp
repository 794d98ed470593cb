#include "PairCounts.h"

#include "Surrogates.h"
#include "Utf8Codec.h"

#include <algorithm>
#include <vector>

namespace {

void AppendField(std::u16string_view field, std::string& out)
{
    std::u16string escaped;
    for (const char16_t unit : field) {
        switch (unit) {
        case u'\\': escaped += u"\\\\"; break;
        case u'\t': escaped += u"\\t"; break;
        case u'\r': escaped += u"\\r"; break;
        case u'\n': escaped += u"\\n"; break;
        default: escaped += unit;
        }
    }
    // A lone surrogate has no UTF-8 form; it is written as U+FFFD here, where
    // the table only names the pair.
    for (char16_t& unit : escaped) {
        const size_t at = size_t(&unit - escaped.data());
        const bool high = IsHighSurrogate(unit);
        const bool low = IsLowSurrogate(unit);
        const bool pairedHigh = high && at + 1 < escaped.size() && IsLowSurrogate(escaped[at + 1]);
        const bool pairedLow = low && at > 0 && IsHighSurrogate(escaped[at - 1]);
        if ((high && !pairedHigh) || (low && !pairedLow))
            unit = 0xFFFD;
    }
    std::string bytes(Utf8Encoder::MaxBytes(escaped.size()), '\0');
    Utf8Encoder encoder;
    size_t written = 0;
    encoder.Encode(escaped, bytes.data(), written);
    out.append(bytes.data(), written);
}

} // namespace

void MergePairUses(PairUses& into, const PairUses& from)
{
    for (const auto& [key, use] : from) {
        PairUse& total = into[key];
        total.before = use.before;
        total.after = use.after;
        total.count += use.count;
    }
}

std::string FormatPairCounts(const PairUses& uses)
{
    std::vector<const PairUse*> rows;
    rows.reserve(uses.size());
    for (const auto& entry : uses)
        rows.push_back(&entry.second);
    std::sort(rows.begin(), rows.end(), [](const PairUse* a, const PairUse* b) {
        if (a->count != b->count)
            return a->count > b->count;
        return a->before < b->before; // ordinal: char16_t compares unsigned
    });
    std::string out;
    for (const PairUse* row : rows) {
        AppendField(row->before, out);
        out += '\t';
        AppendField(row->after, out);
        out += '\t';
        out += std::to_string(row->count);
        out += '\n';
    }
    return out;
}
