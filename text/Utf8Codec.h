// UTF-8 <-> UTF-16 for streams that arrive and leave in blocks of any size.
// A sequence cut by a block edge is kept and finished by the next block; so
// is a surrogate pair on the way out. Input that is not UTF-8 (bad bytes,
// overlong forms, encoded surrogates, code points past U+10FFFF) is refused
// with the byte offset of the sequence's first byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

class Utf8Decoder {
public:
    // Bound on the units one Decode call can write for `byteCount` bytes.
    static size_t MaxUnits(size_t byteCount) { return byteCount + 4; }

    // Decodes `bytes` into `out` (room for MaxUnits(bytes.size())) and
    // returns the number of units written; false on bad input, with
    // ErrorOffset() set. A sequence cut at the end waits for the next call.
    bool Decode(std::string_view bytes, char16_t* out, size_t& written);
    // The end of the stream: false when a cut sequence is still waiting.
    bool Finish();

    // Offset of the bad sequence from the start of the stream.
    uint64_t ErrorOffset() const { return m_errorOffset; }

    // A decoder for what follows the next `count` bytes of this stream, for
    // decoding that stretch elsewhere at the same time; the stretch must
    // start with the first byte of a sequence.
    Utf8Decoder Behind(uint64_t count) const
    {
        Utf8Decoder next;
        next.m_offset = m_offset + count;
        return next;
    }
    // A sequence is still waiting for its last bytes.
    bool Waiting() const { return m_pendingSize != 0; }

private:
    uint8_t m_pending[4] = {};
    size_t m_pendingSize = 0;
    uint64_t m_offset = 0; // bytes taken so far, the pending ones included
    uint64_t m_errorOffset = 0;
};

class Utf8Encoder {
public:
    static size_t MaxBytes(size_t unitCount) { return unitCount * 3 + 4; }

    // Encodes `units` into `out` (room for MaxBytes(units.size())). A high
    // surrogate at the end waits for the next call. False on a lone surrogate,
    // which UTF-8 cannot carry; ErrorUnit() is its offset in the stream.
    bool Encode(std::u16string_view units, char* out, size_t& written);
    bool Finish();

    // An encoder for what follows the next `count` units of this stream, for
    // encoding that stretch elsewhere at the same time; the units just before
    // the stretch must not end in a high surrogate.
    Utf8Encoder Behind(uint64_t count) const
    {
        Utf8Encoder next;
        next.m_offset = m_offset + count;
        return next;
    }

    uint64_t ErrorUnit() const { return m_errorUnit; }

private:
    char16_t m_pendingHigh = 0;
    uint64_t m_offset = 0;
    uint64_t m_errorUnit = 0;
};
