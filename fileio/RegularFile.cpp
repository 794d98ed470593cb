#include "RegularFile.h"

#include "ByteStreams.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// 0 for a regular file; EISDIR for a directory, -1 for any other kind.
int Refusal(const struct stat& st)
{
    return S_ISREG(st.st_mode) ? 0 : S_ISDIR(st.st_mode) ? EISDIR : -1;
}

} // namespace

RegularFile::RegularFile(const std::string& path)
{
    if (path.find('\0') != std::string::npos) {
        m_error = EINVAL;
        return;
    }
    struct stat st {};
    int refusal = ::stat(path.c_str(), &st) != 0 ? errno : Refusal(st);
    if (refusal == 0) {
        // O_NONBLOCK: a FIFO put there since the stat does not hold the open.
        m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        refusal = m_fd < 0 || ::fstat(m_fd, &st) != 0 ? errno : Refusal(st);
    }
    if (refusal != 0) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        m_status = refusal < 0 ? Status::NotRegular : Status::Failed;
        m_error = refusal < 0 ? ENODEV : refusal;
        return;
    }
    m_status = Status::Open;
    m_size = uint64_t(st.st_size > 0 ? st.st_size : 0);
}

RegularFile::~RegularFile()
{
    if (m_fd >= 0)
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
    bytes.reserve(size_t(file.Size()));
    FdSource source(file.Fd());
    char chunk[65536];
    for (;;) {
        const ssize_t n = source.Read(chunk, sizeof chunk);
        if (n < 0) {
            error = errno;
            return false;
        }
        if (n == 0)
            break;
        bytes.append(chunk, size_t(n));
    }
    error = 0;
    return true;
}
