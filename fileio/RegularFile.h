// Reading a file only when it is a regular file.
#pragma once

#include <cstdint>
#include <string>

// A regular file open for reading. Anything else the path names (a
// directory, a FIFO, a device) is refused before it is opened, since opening
// a device can have effects, and again once open, in case the path changed
// in between; the open never waits for a FIFO's writer.
class RegularFile {
public:
    enum class Status { Open, Failed, NotRegular };

    explicit RegularFile(const std::string& path);
    ~RegularFile();
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    Status GetStatus() const { return m_status; }
    bool IsOpen() const { return m_status == Status::Open; }
    int Error() const { return m_error; } // errno when Failed: EISDIR for a directory
    int Fd() const { return m_fd; }
    uint64_t Size() const { return m_size; } // when it was opened
    // Hands the descriptor over to the caller, who closes it.
    int Release();

private:
    int m_fd = -1;
    Status m_status = Status::Failed;
    int m_error = 0;
    uint64_t m_size = 0;
};

// Reads the regular file at `path` whole into `bytes`. False with `error`
// set to an errno otherwise: ENODEV when it is not a regular file, EFBIG
// when it is too big for a string.
bool ReadRegularFile(const std::string& path, std::string& bytes, int& error);
