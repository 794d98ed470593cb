#include "DictionaryEncoding.h"

#include "ByteStreams.h"
#include "LargePages.h"

#include <cerrno>
#include <cstring>
#include <new>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

DictionaryTextDecoder::DictionaryTextDecoder(std::u16string& text)
    : m_text(text)
{
    m_text.clear();
}

bool DictionaryTextDecoder::Decide(bool atEnd)
{
    if (m_head.size() < 3 && !atEnd)
        return true; // wait for the mark's bytes
    const std::string head = std::move(m_head);
    m_head.clear();
    auto startsWith = [&](std::string_view mark) { return std::string_view(head).substr(0, mark.size()) == mark; };
    if (startsWith("\xFF\xFE")) {
        m_form = Form::Utf16;
        FeedUtf16(std::string_view(head).substr(2));
        return true;
    }
    if (startsWith("\xFE\xFF")) {
        m_error = "UTF-16BE is not supported (byte 0); save it as UTF-16LE or UTF-8";
        return false;
    }
    m_form = Form::Utf8;
    const size_t markSize = startsWith("\xEF\xBB\xBF") ? 3 : 0;
    m_markSize = markSize;
    m_offset = markSize;
    return FeedUtf8(std::string_view(head).substr(markSize));
}

bool DictionaryTextDecoder::Feed(std::string_view bytes)
{
    if (!m_error.empty())
        return false;
    if (m_form == Form::Unknown) {
        m_head.append(bytes);
        return Decide(false);
    }
    if (m_form == Form::Utf16) {
        FeedUtf16(bytes);
        return true;
    }
    return FeedUtf8(bytes);
}

void DictionaryTextDecoder::FeedUtf16(std::string_view bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t n = bytes.size();
    if (m_low >= 0 && n > 0) {
        m_text.push_back(char16_t(m_low | (*p++ << 8)));
        m_low = -1;
        --n;
    }
    const size_t old = m_text.size();
    m_text.resize(old + n / 2);
    char16_t* out = m_text.data() + old;
    for (size_t k = 0; k < n / 2; ++k, p += 2)
        out[k] = char16_t(p[0] | (p[1] << 8));
    if (n % 2)
        m_low = *p;
}

bool DictionaryTextDecoder::FeedUtf8(std::string_view bytes)
{
    if (const void* nul = std::memchr(bytes.data(), 0, bytes.size())) {
        const uint64_t at = m_offset + uint64_t(static_cast<const char*>(nul) - bytes.data());
        m_error = "NUL byte at byte " + std::to_string(at) + ", not UTF-8 text (UTF-16 needs the mark FF FE)";
        return false;
    }
    const size_t old = m_text.size();
    m_text.resize(old + Utf8Decoder::MaxUnits(bytes.size()));
    size_t written = 0;
    const bool ok = m_decoder.Decode(bytes, m_text.data() + old, written);
    m_text.resize(old + written);
    m_offset += bytes.size();
    if (!ok)
        m_error = "invalid UTF-8 at byte " + std::to_string(m_markSize + m_decoder.ErrorOffset());
    return ok;
}

bool DictionaryTextDecoder::Finish()
{
    if (!m_error.empty())
        return false;
    if (m_form == Form::Unknown && !Decide(true))
        return false;
    if (m_form == Form::Utf8 && !m_decoder.Finish()) {
        m_error = "invalid UTF-8 at byte " + std::to_string(m_markSize + m_decoder.ErrorOffset());
        return false;
    }
    return true; // a UTF-16 file's odd last byte is dropped
}

bool DecodeDictionaryFileText(std::string_view bytes, std::u16string& text, std::string& error)
{
    DictionaryTextDecoder decoder(text);
    if (decoder.Feed(bytes) && decoder.Finish())
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
    DictionaryTextDecoder decoder(text);
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
        if (!decoder.Feed({chunk, size_t(n)})) {
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
            // gives at most one unit per two bytes, UTF-8 one per byte.
            text.reserve(size_t(st.st_size) / (decoder.IsUtf16() ? 2 : 1) + 1);
            AdviseLargePages(text.data(), text.capacity() * sizeof(char16_t));
            reserved = true;
        }
    }
    if (!decoder.Finish()) {
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
