// The dictionary file encodings beside the product's UTF-16LE: UTF-8 with or
// without the mark EF BB BF. The text decoded here goes to the same line
// pattern (ParseDictionaryText), so a UTF-8 file yields the pairs its
// UTF-16LE twin would.
#pragma once

#include "Utf8Codec.h"

#include <cstdint>
#include <string>
#include <string_view>

// Decodes a dictionary file's bytes as they arrive, so that a file that is
// not a dictionary is refused at its first bad byte rather than after it
// was read whole. FF FE: the units behind it, as DecodeDictionaryBytes reads
// them. EF BB BF or no mark: UTF-8. Refused, with the byte offset: FE FF
// (UTF-16BE), bytes that are not UTF-8, and NUL bytes (mostly UTF-16 saved
// without its mark). May throw std::bad_alloc.
class DictionaryTextDecoder {
public:
    explicit DictionaryTextDecoder(std::u16string& text);
    // False, with Error() set, once the bytes so far cannot be a dictionary.
    bool Feed(std::string_view bytes);
    // The end of the file: false when it ends inside a UTF-8 sequence.
    bool Finish();
    const std::string& Error() const { return m_error; }
    bool IsUtf16() const { return m_form == Form::Utf16; }

private:
    enum class Form { Unknown, Utf16, Utf8 };
    bool Decide(bool atEnd);
    bool FeedUtf8(std::string_view bytes);
    void FeedUtf16(std::string_view bytes);

    std::u16string& m_text;
    Form m_form = Form::Unknown;
    std::string m_head;   // the first bytes, until the mark is known
    int m_low = -1;       // a UTF-16 unit's first byte, waiting for its second
    uint64_t m_markSize = 0;
    uint64_t m_offset = 0; // UTF-8 bytes fed so far, the mark included
    Utf8Decoder m_decoder;
    std::string m_error;
};

// The whole of `bytes`, as DictionaryTextDecoder reads it.
bool DecodeDictionaryFileText(std::string_view bytes, std::u16string& text, std::string& error);

// Reads and decodes a dictionary file. Only a regular file or a pipe is
// read: a device such as /dev/zero never ends. False with `error` saying
// why, running out of memory included; `systemError`, where given, gets the
// errno of a failed system call (ENOMEM for memory), else 0.
bool ReadDictionaryFile(const std::string& path, std::u16string& text, std::string& error,
                        int* systemError = nullptr);
