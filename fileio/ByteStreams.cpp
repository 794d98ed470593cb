#include "ByteStreams.h"

#include <cerrno>
#include <utility>

#include <unistd.h>

ssize_t FdSource::Read(char* buffer, size_t size)
{
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, size);
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

ssize_t ReadAllAt(int fd, char* buffer, size_t size, uint64_t offset)
{
    size_t got = 0;
    while (got < size) {
        const ssize_t n = ::pread(fd, buffer + got, size - got, off_t(offset + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        got += size_t(n);
    }
    return ssize_t(got);
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
