// The dictionary file encodings beside the product's UTF-16LE: UTF-8 with or
// without the mark EF BB BF. The text decoded here goes to the same line
// pattern (ParseDictionaryText), so a UTF-8 file yields the pairs its
// UTF-16LE twin would.
#pragma once

#include <string>
#include <string_view>

// FF FE: the units behind it, as DecodeDictionaryBytes reads them.
// EF BB BF or no mark: UTF-8. False, with `error` saying what and at which
// byte offset, for FE FF (UTF-16BE), bytes that are not UTF-8 and NUL bytes
// (mostly UTF-16 saved without its mark).
bool DecodeDictionaryFileText(std::string_view bytes, std::u16string& text, std::string& error);
