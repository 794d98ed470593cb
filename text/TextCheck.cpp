// The check of a text without decoding it, apart from the rest of the
// decoder: it alone needs the UTF-8 validator, which readers that never check
// (the dictionary files) then do not link.
#include "TextCoding.h"

#include <simdjson.h>

#include <algorithm>

bool TextDecoder::Check(std::string_view bytes)
{
    if (m_known)
        return CheckBody(bytes);
    // Only the first bytes are held: they tell the encoding.
    const size_t taken = std::min(bytes.size(), 3 - m_head.size());
    m_head.append(bytes.substr(0, taken));
    if (m_head.size() < 3)
        return true;
    std::string body;
    return Detect(body) && CheckBody(body) && CheckBody(bytes.substr(taken));
}

bool TextDecoder::CheckBody(std::string_view bytes)
{
    if (IsUtf16()) {
        // UTF-16 fails only by an odd byte at the end.
        m_bodyOffset += bytes.size();
        if (bytes.size() % 2 != 0) {
            m_hasOddByte = !m_hasOddByte;
            m_oddByte = uint8_t(bytes.back());
        }
        return true;
    }
    if (NulRefused(bytes))
        return false;
    m_bodyOffset += bytes.size();
    char16_t few[8]; // Utf8Decoder::MaxUnits of the three bytes or fewer decoded here
    size_t written = 0;
    // A sequence the last block cut is finished by the decoder.
    while (m_utf8.Waiting() && !bytes.empty()) {
        if (!m_utf8.Decode(bytes.substr(0, 1), few, written))
            return Utf8Failed();
        bytes.remove_prefix(1);
    }
    if (m_utf8.Waiting())
        return true; // all of `bytes` went to the cut sequence
    // So is one this block cuts, whose lead is among its last three bytes.
    size_t whole = bytes.size();
    for (size_t back = 1; back <= std::min<size_t>(3, bytes.size()); ++back) {
        const uint8_t b = uint8_t(bytes[bytes.size() - back]);
        if ((b & 0xC0) == 0x80)
            continue;
        const size_t length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
        if (length > back)
            whole = bytes.size() - back;
        break;
    }
    const std::string_view body = bytes.substr(0, whole);
    if (simdjson::validate_utf8(body.data(), body.size())) {
        m_utf8 = m_utf8.Behind(body.size());
    } else {
        // The decoder finds the bad sequence, a stretch at a time.
        constexpr size_t kStretch = 4096;
        std::u16string units(Utf8Decoder::MaxUnits(kStretch), u'\0');
        for (size_t at = 0; at < body.size(); at += kStretch)
            if (!m_utf8.Decode(body.substr(at, kStretch), units.data(), written))
                return Utf8Failed();
    }
    return m_utf8.Decode(bytes.substr(whole), few, written) || Utf8Failed();
}
