// The dictionary file encodings beside the product's UTF-16LE: UTF-8 with or
// without the mark EF BB BF. The text decoded here goes to the same line
// pattern (ParseDictionaryText), so a UTF-8 file yields the pairs its
// UTF-16LE twin would. A file is decoded as it arrives, so that one that is
// not a dictionary is refused at its first bad byte rather than after it was
// read whole.
#pragma once

#include <string>
#include <string_view>

class RegularFile;

// The whole of `bytes` as a dictionary file is read. FF FE: the units behind
// it, an odd last byte dropped. EF BB BF or no mark: UTF-8. Refused, with the
// byte offset: FE FF (UTF-16BE), bytes that are not UTF-8, and NUL bytes
// (mostly UTF-16 saved without its mark).
bool DecodeDictionaryFileText(std::string_view bytes, std::u16string& text, std::string& error);

// Reads and decodes the dictionary text open as `file`, whose first bytes,
// `head`, were read already. False with `error` saying why, running out of
// memory included; `systemError`, where given, gets the errno of a failed
// system call (ENOMEM for memory), else 0.
bool ReadDictionaryText(const RegularFile& file, std::string_view head, std::u16string& text, std::string& error,
                        int* systemError = nullptr);
