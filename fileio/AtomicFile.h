// Writing a file so that readers see either the old content or the whole new
// one: the bytes go to a temporary file in the same folder, which is flushed
// to disk and renamed over the target only when everything was written. A
// failure, or an object dropped without Commit(), removes the temporary file
// and leaves the target byte for byte as it was.
#pragma once

#include "ByteStreams.h"

#include <string>

class AtomicFile : public ByteSink {
public:
    // Every write goes through `write` (write(2) when null).
    explicit AtomicFile(WriteFunction write = nullptr);
    ~AtomicFile() override;
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // What Open() does with a target that is a device or FIFO.
    enum class Device {
        Wait,     // opens it as it is, waiting for a FIFO's reader
        DontWait, // opens it without blocking: a FIFO without a reader fails
    };

    // Starts writing `path`. A symbolic link is written through to its
    // target. A device or FIFO is written in place, since renaming over it
    // would replace the node. Temporary files of earlier writers of the same
    // target whose process no longer runs are removed first. False with
    // Error() set when the target is read-only or the folder cannot take the
    // temporary file.
    bool Open(const std::string& path, Device device = Device::Wait);
    bool Write(std::string_view bytes) override;

    // Flushes the new content, gives it the old file's mode (and owner where
    // allowed; a new file has 0666 less the umask) and renames it over the
    // target. With a `backupPath`, the old file is first kept under that name.
    bool Commit(const std::string& backupPath = std::string());
    // Drops what was written; the target is left alone.
    void Abandon();

private:
    bool Fail(int err);

    WriteFunction m_write;
    std::string m_target;
    std::string m_tempPath; // empty when writing in place
    int m_fd = -1;
    int m_slot = -1; // in the table the signal clean-up reads
    uint64_t m_written = 0;
    uint64_t m_flushing = 0; // bytes whose write-back has been started
};

// Removes the temporary files of every AtomicFile still open; safe to call
// from a signal handler.
void RemoveOpenTemporaryFiles();
