// Where the bytes of a text come from and where its output goes.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include <sys/types.h>

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Up to `size` bytes; 0 at the end, -1 with errno set on failure.
    virtual ssize_t Read(char* buffer, size_t size) = 0;
};

class ByteSink {
public:
    virtual ~ByteSink() = default;
    // All of `bytes`, or false with Error() set to the errno of the failure.
    virtual bool Write(std::string_view bytes) = 0;
    int Error() const { return m_error; }

protected:
    int m_error = 0;
};

// Reads bytes held in memory.
class StringSource : public ByteSource {
public:
    explicit StringSource(std::string bytes) : m_bytes(std::move(bytes)) {}
    ssize_t Read(char* buffer, size_t size) override
    {
        const size_t n = std::min(size, m_bytes.size() - m_at);
        m_bytes.copy(buffer, n, m_at);
        m_at += n;
        return ssize_t(n);
    }

private:
    std::string m_bytes;
    size_t m_at = 0;
};

// Collects what is written in memory.
class StringSink : public ByteSink {
public:
    bool Write(std::string_view bytes) override
    {
        text.append(bytes);
        return true;
    }
    std::string text;
};

// Reads a file descriptor (not owned), retrying interrupted reads.
class FdSource : public ByteSource {
public:
    explicit FdSource(int fd) : m_fd(fd) {}
    ssize_t Read(char* buffer, size_t size) override;

private:
    int m_fd;
};

// The system's write(2), or a stand-in that tests make fail.
using WriteFunction = std::function<ssize_t(int fd, const void* data, size_t size)>;

// Reads `size` bytes of `fd` from `offset` on into `buffer`, retrying short
// and interrupted reads, fewer where the file ends first; returns how many,
// or -1 with errno set. The file's own offset does not move.
ssize_t ReadAllAt(int fd, char* buffer, size_t size, uint64_t offset);

// Writes all of `size` bytes to `fd`, retrying short and interrupted writes;
// false with errno set otherwise.
bool WriteAll(int fd, const char* data, size_t size, const WriteFunction& write);

// Writes to a file descriptor that it does not own (standard output).
class FdSink : public ByteSink {
public:
    explicit FdSink(int fd, WriteFunction write = nullptr);
    bool Write(std::string_view bytes) override;

private:
    int m_fd;
    WriteFunction m_write;
};
