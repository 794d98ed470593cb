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
