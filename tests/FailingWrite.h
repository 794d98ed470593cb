// A disk that fills up part-way through a file: a stand-in for write(2) that
// lets `budget` bytes through and then fails with `error`.
#pragma once

#include "ByteStreams.h"

#include <algorithm>
#include <cerrno>
#include <memory>

#include <unistd.h>

inline WriteFunction FailingWriteAfter(size_t budget, int error = ENOSPC)
{
    auto left = std::make_shared<size_t>(budget);
    return [left, error](int fd, const void* data, size_t size) -> ssize_t {
        if (*left == 0) {
            errno = error;
            return -1;
        }
        const size_t n = std::min(size, *left);
        *left -= n;
        return ::write(fd, data, n);
    };
}
