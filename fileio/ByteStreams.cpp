#include "ByteStreams.h"

#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

ssize_t FdSource::Read(char* buffer, size_t size)
{
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, size);
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

bool WriteAll(int fd, const char* data, size_t size, const WriteFunction& write)
{
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        data += n;
        size -= size_t(n);
    }
    return true;
}

FdSink::FdSink(int fd, WriteFunction write)
    : m_fd(fd)
    , m_write(write ? std::move(write) : WriteFunction(::write))
{
}

bool FdSink::Write(std::string_view bytes)
{
    if (m_error != 0)
        return false;
    if (WriteAll(m_fd, bytes.data(), bytes.size(), m_write))
        return true;
    m_error = errno;
    return false;
}

bool ReadWholeFile(const std::string& path, std::string& bytes)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        const int err = S_ISDIR(st.st_mode) ? EISDIR : errno;
        ::close(fd);
        errno = err;
        return false;
    }
    bytes.clear();
    if (S_ISREG(st.st_mode))
        bytes.reserve(size_t(st.st_size) + 1);
    FdSource source(fd);
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = source.Read(buffer, sizeof buffer);
        if (n < 0) {
            const int err = errno;
            ::close(fd);
            errno = err;
            return false;
        }
        if (n == 0)
            break;
        bytes.append(buffer, size_t(n));
    }
    ::close(fd);
    return true;
}
