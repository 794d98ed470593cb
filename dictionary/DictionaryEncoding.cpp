#include "DictionaryEncoding.h"

#include "DictionaryReader.h"
#include "Utf8Codec.h"

#include <cstring>

bool DecodeDictionaryFileText(std::string_view bytes, std::u16string& text, std::string& error)
{
    auto startsWith = [&](std::string_view mark) { return bytes.substr(0, mark.size()) == mark; };
    if (startsWith("\xFF\xFE")) {
        text = *DecodeDictionaryBytes(bytes);
        return true;
    }
    if (startsWith("\xFE\xFF")) {
        error = "UTF-16BE is not supported (byte 0); save it as UTF-16LE or UTF-8";
        return false;
    }
    const size_t markSize = startsWith("\xEF\xBB\xBF") ? 3 : 0;
    const std::string_view body = bytes.substr(markSize);
    if (const void* nul = std::memchr(body.data(), 0, body.size())) {
        const size_t at = markSize + size_t(static_cast<const char*>(nul) - body.data());
        error = "NUL byte at byte " + std::to_string(at) + ", not UTF-8 text (UTF-16 needs the mark FF FE)";
        return false;
    }
    text.resize(Utf8Decoder::MaxUnits(body.size()));
    Utf8Decoder decoder;
    size_t written = 0;
    if (!decoder.Decode(body, text.data(), written) || !decoder.Finish()) {
        error = "invalid UTF-8 at byte " + std::to_string(markSize + decoder.ErrorOffset());
        text.clear();
        return false;
    }
    text.resize(written);
    return true;
}
