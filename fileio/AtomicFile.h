// Writing a file so that readers see either the old content or the whole new
// one: the bytes go to a temporary file in the same folder (TemporaryFiles.h),
// readable by its owner alone while it is written, which is flushed to disk,
// given the old file's owner, group, extended attributes and mode, and
// renamed over the target only when everything was written. A failure, or an
// object dropped without Commit(), removes the temporary file and leaves the
// target byte for byte as it was. Every file is reached relative to the
// folder opened at Open(), so a folder renamed meanwhile changes nothing.
#pragma once

#include "BackgroundSync.h"
#include "ByteStreams.h"
#include "SymbolicLinks.h"
#include "TemporaryFiles.h"

#include <cstdint>
#include <string>

#include <sys/stat.h>

class AtomicFile : public ByteSink {
public:
    // Every write goes through `write` (write(2) when null), and every flush
    // made while the file is written through `sync` (fdatasync(2) when null).
    explicit AtomicFile(WriteFunction write = nullptr, SyncFunction sync = nullptr);
    ~AtomicFile() override;
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // What Open() does with a target that is a device or FIFO.
    enum class Device {
        Wait,     // opens it as it is, waiting for a FIFO's reader
        DontWait, // opens it without blocking: a FIFO without a reader fails
    };

    // Starts writing `path`; `links` says what becomes of a symbolic link.
    // A device or FIFO is written in place, since renaming over it would
    // replace the node (never one reached through a link that is to be
    // replaced). Abandoned temporary files of the target are removed first.
    // False with Error() set when the target is read-only, a folder, a link
    // the policy refuses, or the folder cannot take the temporary file.
    bool Open(const std::string& path, Device device = Device::Wait,
              LinkPolicy links = LinkPolicy::FollowTrusted);
    bool Write(std::string_view bytes) override;

    // Flushes the new content, gives it what the old file kept (a new file
    // has 0666 less the umask, or what the folder's default ACL gives) and
    // renames it over the target. With a `backupPath`, the old file is
    // first kept under that name, which is replaced and never written
    // through a link; a backup that cannot be made fails the commit.
    bool Commit(const std::string& backupPath = std::string());
    // Drops what was written; the target is left alone.
    void Abandon();

    // What went wrong, for "<path>: <text>": the system's error text, or a
    // phrase saying what of the old file could not be kept.
    std::string ErrorText() const;

private:
    bool Fail(int err, std::string problem = std::string());
    // Open(), taking what the new file keeps from `keepFrom` when it is a
    // descriptor rather than from the file it replaces.
    bool OpenFile(const std::string& path, Device device, LinkPolicy links, int keepFrom);
    bool KeepBackup(const std::string& backupPath);
    bool LinkBackup(int dirFd, const std::string& folder, const std::string& name, bool& linked);

    WriteFunction m_write;
    std::string m_folder; // as given; empty for the current folder
    std::string m_name;
    int m_dirFd = -1;
    int m_source = -1;     // O_PATH descriptor of the file being replaced, if any
    struct stat m_sourceStat {};
    std::string m_tempName; // empty when writing in place
    TemporaryName m_tempEntry;
    int m_fd = -1;
    std::string m_problem;
    uint64_t m_written = 0;
    uint64_t m_flushing = 0; // bytes whose write-back has been started
    uint64_t m_syncing = 0;  // bytes that the last flush started with
    BackgroundSync m_sync;   // waited for before the descriptors close
};
