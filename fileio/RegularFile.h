// Opening a file to read only when it is of a kind the caller reads.
#pragma once

#include <cstdint>
#include <string>

// A file open for reading: a regular file, and, where the caller says so, a
// pipe or anything but a folder. Any other kind the path names (a folder, a
// FIFO, a device) is refused before it is opened, since opening a device can
// have effects, and again once open, in case the path changed in between.
// The open never waits for the writer of a FIFO that was not asked for; one
// that was is waited for, as reading it needs a writer.
class RegularFile {
public:
    enum class Status { Open, Failed, NotRegular };
    // What is read besides a regular file.
    enum class Kinds { RegularOnly, OrPipe, AnyButFolder };
    struct StandardInput {};

    explicit RegularFile(const std::string& path, Kinds kinds = Kinds::RegularOnly);
    // Standard input, checked as a path would be; it stays open.
    RegularFile(StandardInput, Kinds kinds);
    ~RegularFile();
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    Status GetStatus() const { return m_status; }
    bool IsOpen() const { return m_status == Status::Open; }
    // errno when Failed: EISDIR for a folder; ENODEV when NotRegular.
    int Error() const { return m_error; }
    int Fd() const { return m_fd; }
    bool IsRegular() const { return m_regular; }
    uint64_t Size() const { return m_size; } // of a regular file, when it was opened
    // Hands the descriptor over to the caller, who closes it (unless it is
    // standard input).
    int Release();

private:
    // Checks what is open on m_fd.
    void Take(Kinds kinds);

    int m_fd = -1;
    bool m_owned = true;
    Status m_status = Status::Failed;
    int m_error = 0;
    bool m_regular = false;
    uint64_t m_size = 0;
};

// Reads the regular file at `path` whole into `bytes`. False with `error`
// set to an errno otherwise: ENODEV when it is not a regular file, EFBIG
// when it is too big for a string.
bool ReadRegularFile(const std::string& path, std::string& bytes, int& error);

// Reads the rest of `file` into `bytes` behind what it holds. False with
// `error` set to an errno; EFBIG when it is too big for a string.
bool ReadToEnd(const RegularFile& file, std::string& bytes, int& error);
