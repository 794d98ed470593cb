#include "DictionaryEncoding.h"

#include "TextCoding.h"

#include "ByteStreams.h"
#include "LargePages.h"
#include "RegularFile.h"
#include "RunParts.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr TextDecoderPolicy kDictionaryPolicy{.bigEndian = false, .refuseNul = true, .halfUnitFails = false};

// From this size on, a regular file is read a megabyte a core at a time, each
// read decoded by every core.
constexpr uint64_t kParallelDecodeBytes = uint64_t(1) << 20;

// Decodes the next `bytes` onto the end of `text`, on up to `threads` threads.
bool Feed(TextDecoder& decoder, std::string_view bytes, std::u16string& text, unsigned threads = 1)
{
    const size_t old = text.size();
    text.resize(old + decoder.RoomFor(bytes.size()));
    size_t written = 0;
    const bool ok = decoder.Decode(bytes, text.data() + old, written, threads);
    text.resize(old + written);
    return ok;
}

bool Finish(TextDecoder& decoder, std::u16string& text)
{
    const size_t old = text.size();
    text.resize(old + TextDecoder::MaxUnits(0));
    size_t written = 0;
    const bool ok = decoder.Finish(text.data() + old, written);
    text.resize(old + written);
    return ok;
}

} // namespace

bool DecodeDictionaryFileText(std::string_view bytes, std::u16string& text, std::string& error)
{
    TextDecoder decoder(kDictionaryPolicy);
    text.clear();
    if (Feed(decoder, bytes, text) && Finish(decoder, text))
        return true;
    error = decoder.Error();
    text.clear();
    return false;
}

namespace {

bool ReadOpenDictionary(const RegularFile& file, std::string_view head, std::u16string& text, std::string& error,
                        int& systemError)
{
    TextDecoder decoder(kDictionaryPolicy);
    text.clear();
    const unsigned threads = file.IsRegular() && file.Size() >= kParallelDecodeBytes ? std::min(UsableCores(), 4u) : 1;
    char small[1 << 16];
    const size_t chunkSize = threads > 1 ? size_t(threads) << 20 : sizeof small;
    const std::unique_ptr<char[]> large = threads > 1 ? std::make_unique_for_overwrite<char[]>(chunkSize) : nullptr;
    char* const chunk = large ? large.get() : small;
    bool reserved = !file.IsRegular();
    uint64_t total = head.size();
    if (!Feed(decoder, head, text)) {
        error = decoder.Error();
        return false;
    }
    FdSource source(file.Fd());
    for (;;) {
        const ssize_t n = source.Read(chunk, chunkSize);
        if (n < 0) {
            systemError = errno;
            error = std::strerror(systemError);
            return false;
        }
        if (n == 0)
            break;
        if (!Feed(decoder, {chunk, size_t(n)}, text, threads)) {
            error = decoder.Error();
            return false;
        }
        total += uint64_t(n);
        if (file.IsRegular() && file.Size() > 0 && total > file.Size()) {
            error = "the file grew while it was read";
            return false;
        }
        if (!reserved && !text.empty()) {
            // Room for the whole file once its start reads as text: UTF-16
            // gives at most one unit per two bytes, UTF-8 one per byte, and
            // a block is decoded into a few units more than it fills.
            text.reserve(size_t(file.Size()) / (decoder.IsUtf16() ? 2 : 1) + TextDecoder::MaxUnits(0));
            AdviseLargePages(text.data(), text.capacity() * sizeof(char16_t));
            reserved = true;
        }
    }
    if (!Finish(decoder, text)) {
        error = decoder.Error();
        return false;
    }
    return true;
}

} // namespace

bool ReadDictionaryText(const RegularFile& file, std::string_view head, std::u16string& text, std::string& error,
                        int* systemError)
{
    error.clear();
    bool ok = false;
    int err = 0;
    try {
        ok = ReadOpenDictionary(file, head, text, error, err);
    } catch (const std::bad_alloc&) {
        error = "the dictionary does not fit in memory";
        err = ENOMEM;
    }
    if (systemError)
        *systemError = ok ? 0 : err;
    if (!ok)
        std::u16string().swap(text);
    return ok;
}
