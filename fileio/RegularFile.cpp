#include "RegularFile.h"

#include "ByteStreams.h"
#include "LargePages.h"

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// 0 for a kind `kinds` reads; EISDIR for a folder, -1 for any other kind.
int Refusal(const struct stat& st, RegularFile::Kinds kinds)
{
    if (S_ISREG(st.st_mode))
        return 0;
    if (S_ISDIR(st.st_mode))
        return EISDIR;
    if (kinds == RegularFile::Kinds::AnyButFolder || (kinds == RegularFile::Kinds::OrPipe && S_ISFIFO(st.st_mode)))
        return 0;
    return -1;
}

} // namespace

RegularFile::RegularFile(const std::string& path, Kinds kinds)
{
    if (path.find('\0') != std::string::npos) {
        m_error = EINVAL;
        return;
    }
    struct stat st {};
    int refusal = ::stat(path.c_str(), &st) != 0 ? errno : Refusal(st, kinds);
    if (refusal != 0) {
        m_status = refusal < 0 ? Status::NotRegular : Status::Failed;
        m_error = refusal < 0 ? ENODEV : refusal;
        return;
    }
    // A FIFO asked for waits for its writer: read at once, it would end.
    // O_NONBLOCK otherwise, so that a FIFO put there since the stat does not
    // hold the open; it matters to no regular file's reads.
    const bool wait = !S_ISREG(st.st_mode);
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | (wait ? 0 : O_NONBLOCK));
    if (m_fd < 0) {
        m_error = errno;
        return;
    }
    Take(kinds);
}

RegularFile::RegularFile(StandardInput, Kinds kinds)
    : m_fd(STDIN_FILENO)
    , m_owned(false)
{
    Take(kinds);
}

void RegularFile::Take(Kinds kinds)
{
    struct stat st {};
    const int refusal = ::fstat(m_fd, &st) != 0 ? errno : Refusal(st, kinds);
    if (refusal != 0) {
        if (m_owned)
            ::close(m_fd);
        m_fd = -1;
        m_status = refusal < 0 ? Status::NotRegular : Status::Failed;
        m_error = refusal < 0 ? ENODEV : refusal;
        return;
    }
    m_status = Status::Open;
    m_regular = S_ISREG(st.st_mode);
    m_size = m_regular && st.st_size > 0 ? uint64_t(st.st_size) : 0;
}

RegularFile::~RegularFile()
{
    if (m_fd >= 0 && m_owned)
        ::close(m_fd);
}

int RegularFile::Release()
{
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

bool ReadRegularFile(const std::string& path, std::string& bytes, int& error)
{
    bytes.clear();
    RegularFile file(path);
    if (!file.IsOpen()) {
        error = file.Error();
        return false;
    }
    if (file.Size() >= bytes.max_size()) {
        error = EFBIG;
        return false;
    }
    return ReadToEnd(file, bytes, error);
}

bool ReadToEnd(const RegularFile& file, std::string& bytes, int& error)
{
    // Straight into the string: a regular file in one read (a byte more
    // sees its end), and in 2 MiB pages, so that a large file costs little
    // more than the copy.
    constexpr size_t kChunk = size_t(1) << 16;
    size_t at = bytes.size();
    const uint64_t expected = file.IsRegular() ? std::max<uint64_t>(file.Size(), at) + 1 : at + kChunk;
    if (expected >= bytes.max_size()) {
        error = EFBIG;
        return false;
    }
    bytes.reserve(size_t(expected));
    AdviseLargePages(bytes.data(), bytes.capacity());
    FdSource source(file.Fd());
    for (;;) {
        if (bytes.size() == at) {
            if (bytes.max_size() - at <= kChunk) {
                error = EFBIG;
                return false;
            }
            bytes.resize(std::max(bytes.capacity(), at + kChunk));
        }
        const ssize_t n = source.Read(bytes.data() + at, bytes.size() - at);
        if (n <= 0) {
            bytes.resize(at);
            error = n < 0 ? errno : 0;
            return n == 0;
        }
        at += size_t(n);
    }
}
