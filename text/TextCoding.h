// The encodings a text may come in, told by its first bytes, and the way back
// to the same bytes: UTF-8 (the default, with or without EF BB BF), UTF-16LE
// behind FF FE and UTF-16BE behind FE FF. Both directions work block by
// block; a character cut by a block edge is finished by the next block. The
// texts velmora-replace replaces and the dictionary files share the decoder,
// each with the policy it needs.
#pragma once

#include "Utf8Codec.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

enum class TextEncoding { Utf8, Utf8WithMark, Utf16LE, Utf16BE };

// What a reader takes beside UTF-8 and UTF-16LE; the defaults are those of
// the texts velmora-replace replaces.
struct TextDecoderPolicy {
    // FE FF: UTF-16BE. Else refused at byte 0.
    bool bigEndian = true;
    // A NUL byte refuses UTF-8, at its offset: a text that holds one is
    // mostly UTF-16 saved without its mark.
    bool refuseNul = false;
    // A UTF-16 text that ends in half a unit fails. Else the byte is dropped.
    bool halfUnitFails = true;
};

class TextDecoder {
public:
    explicit TextDecoder(TextDecoderPolicy policy = {}) : m_policy(policy) {}

    static size_t MaxUnits(size_t byteCount) { return byteCount + 8; }
    // MaxUnits, or fewer once the text is known to be UTF-16.
    size_t RoomFor(size_t byteCount) const
    {
        return m_known && IsUtf16() ? byteCount / 2 + 1 : MaxUnits(byteCount);
    }

    // Decodes the next `bytes` of the text into `out` (room for
    // RoomFor(bytes.size())). False on bytes that are not text in the
    // encoding or that the policy refuses, with Error() saying what and at
    // which byte offset.
    bool Decode(std::string_view bytes, char16_t* out, size_t& written);
    // The same, UTF-8 decoded by up to `threads` threads, each on a stretch
    // that starts a sequence.
    bool Decode(std::string_view bytes, char16_t* out, size_t& written, unsigned threads);
    // The end of the text: may still decode up to 3 held bytes into `out`.
    bool Finish(char16_t* out, size_t& written);
    // Takes the next `bytes` as Decode does, only to see that they decode:
    // nothing is written, and a failure is Decode's, at the same byte. Valid
    // UTF-8 is only validated; the decoder looks for the bad byte where the
    // validator finds one. Then Finish tells whether the text ends whole.
    bool Check(std::string_view bytes);

    // Known once 3 bytes were seen, or after Finish.
    TextEncoding Encoding() const { return m_encoding; }
    bool IsUtf16() const { return m_encoding == TextEncoding::Utf16LE || m_encoding == TextEncoding::Utf16BE; }
    const std::string& Error() const { return m_error; }

private:
    // Tells the encoding from the held first bytes, and hands those behind
    // the mark to `body`; false when the policy refuses the encoding.
    bool Detect(std::string& body);
    bool DecodeBody(std::string_view bytes, char16_t* out, size_t& written);
    bool CheckBody(std::string_view bytes);
    bool Utf8Failed(); // sets the error of the UTF-8 decoder's bad sequence
    bool NulRefused(std::string_view bytes); // sets the error when the policy refuses a NUL of `bytes`

    TextDecoderPolicy m_policy;
    std::string m_head; // the first bytes, until they tell the encoding
    bool m_known = false;
    TextEncoding m_encoding = TextEncoding::Utf8;
    size_t m_markSize = 0;
    Utf8Decoder m_utf8;
    uint8_t m_oddByte = 0;
    bool m_hasOddByte = false;
    uint64_t m_bodyOffset = 0; // bytes taken behind the mark
    std::string m_error;
};

class TextEncoder {
public:
    explicit TextEncoder(TextEncoding encoding) : m_encoding(encoding) {}

    static size_t MaxBytes(size_t unitCount) { return unitCount * 3 + 8; }

    // Encodes `units` into `out` (room for MaxBytes(units.size())), behind
    // the encoding's mark on the first call. False when UTF-8 cannot carry a
    // lone surrogate of the output, with Error() saying where.
    bool Encode(std::u16string_view units, char* out, size_t& written);
    bool Finish();

    // An encoder for what follows the next `count` units, which it encodes
    // without a mark: see Utf8Encoder::Behind.
    TextEncoder Behind(uint64_t count) const
    {
        TextEncoder next(m_encoding);
        next.m_markWritten = true;
        next.m_utf8 = m_utf8.Behind(count);
        return next;
    }

    const std::string& Error() const { return m_error; }

private:
    TextEncoding m_encoding;
    bool m_markWritten = false;
    Utf8Encoder m_utf8;
    std::string m_error;
};
