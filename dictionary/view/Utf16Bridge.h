// QString and the engine's strings hold the same UTF-16 code units; these
// hand them across without any conversion.
#pragma once

#include <QString>

#include <string_view>

// The units of `s`, valid while `s` lives unchanged.
inline std::u16string_view Utf16Units(const QString& s)
{
    return {reinterpret_cast<const char16_t*>(s.utf16()), size_t(s.size())};
}

// A QString of exactly these units, lone surrogates and U+0000 included.
inline QString ToQString(std::u16string_view units)
{
    return QString::fromUtf16(units.data(), qsizetype(units.size()));
}

// The units before the first U+0000: the engine takes and keeps its pairs as
// zero-terminated strings, so that is what a pair shows of itself.
inline std::u16string_view UpToNul(std::u16string_view units)
{
    return units.substr(0, units.find(u'\0'));
}
