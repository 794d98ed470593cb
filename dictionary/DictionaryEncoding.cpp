#include "DictionaryEncoding.h"

#include "TextCoding.h"

#include "ByteStreams.h"
#include "LargePages.h"

#include <cerrno>
#include <cstring>
#include <new>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr TextDecoderPolicy kDictionaryPolicy{.bigEndian = false, .refuseNul = true, .halfUnitFails = false};

// Decodes the next `bytes` onto the end of `text`.
bool Feed(TextDecoder& decoder, std::string_view bytes, std::u16string& text)
{
    const size_t old = text.size();
    text.resize(old + decoder.RoomFor(bytes.size()));
    size_t written = 0;
    const bool ok = decoder.Decode(bytes, text.data() + old, written);
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

// 0 where `st` is a file a dictionary is read from; else EISDIR for a folder,
// or -1 with `error` saying why.
int Unreadable(const struct stat& st, std::string& error)
{
    if (S_ISDIR(st.st_mode))
        return EISDIR;
    if (!S_ISREG(st.st_mode) && !S_ISFIFO(st.st_mode)) {
        error = "not a regular file or a pipe";
        return -1;
    }
    return 0;
}

bool ReadOpenDictionary(int fd, const struct stat& st, std::u16string& text, std::string& error, int& systemError)
{
    TextDecoder decoder(kDictionaryPolicy);
    text.clear();
    char chunk[1 << 16];
    bool reserved = !S_ISREG(st.st_mode);
    uint64_t total = 0;
    FdSource source(fd);
    for (;;) {
        const ssize_t n = source.Read(chunk, sizeof chunk);
        if (n < 0) {
            systemError = errno;
            error = std::strerror(systemError);
            return false;
        }
        if (n == 0)
            break;
        if (!Feed(decoder, {chunk, size_t(n)}, text)) {
            error = decoder.Error();
            return false;
        }
        total += uint64_t(n);
        if (S_ISREG(st.st_mode) && st.st_size > 0 && total > uint64_t(st.st_size)) {
            error = "the file grew while it was read";
            return false;
        }
        if (!reserved && !text.empty()) {
            // Room for the whole file once its start reads as text: UTF-16
            // gives at most one unit per two bytes, UTF-8 one per byte, and
            // a block is decoded into a few units more than it fills.
            text.reserve(size_t(st.st_size) / (decoder.IsUtf16() ? 2 : 1) + TextDecoder::MaxUnits(0));
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

bool ReadDictionaryFile(const std::string& path, std::u16string& text, std::string& error, int* systemError)
{
    error.clear();
    const auto failed = [&](int code) {
        if (error.empty())
            error = std::strerror(code);
        if (systemError)
            *systemError = code < 0 ? 0 : code;
        return false;
    };
    struct stat st {};
    // Looked at before it is opened: opening a device can have effects.
    if (path.find('\0') != std::string::npos)
        return failed(EINVAL);
    if (::stat(path.c_str(), &st) != 0)
        return failed(errno);
    if (const int code = Unreadable(st, error))
        return failed(code);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY); // a FIFO waits for its writer
    if (fd < 0)
        return failed(errno);
    const int code = ::fstat(fd, &st) != 0 ? errno : Unreadable(st, error);
    if (code != 0) {
        ::close(fd);
        return failed(code);
    }
    bool ok = false;
    int err = 0;
    try {
        ok = ReadOpenDictionary(fd, st, text, error, err);
    } catch (const std::bad_alloc&) {
        error = "the dictionary does not fit in memory";
        err = ENOMEM;
    }
    if (systemError)
        *systemError = ok ? 0 : err;
    ::close(fd);
    if (!ok)
        std::u16string().swap(text);
    return ok;
}
