#include "AtomicFile.h"

#include "FileMetadata.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// "a/b/c" -> "a/b" and "c"; "c" -> "" and "c"; "/c" -> "/" and "c".
void SplitPath(const std::string& path, std::string& folder, std::string& name)
{
    const size_t slash = path.rfind('/');
    folder = slash == std::string::npos ? std::string() : path.substr(0, slash == 0 ? 1 : slash);
    name = slash == std::string::npos ? path : path.substr(slash + 1);
}

int OpenFolder(const std::string& folder)
{
    return ::open(folder.empty() ? "." : folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
}

void CloseFd(int& fd)
{
    if (fd >= 0)
        ::close(std::exchange(fd, -1));
}

void SyncFolder(int dirFd)
{
    const int fd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd); // the rename is done; this only makes it durable sooner
        ::close(fd);
    }
}

} // namespace

AtomicFile::AtomicFile(WriteFunction write, SyncFunction sync)
    : m_write(write ? std::move(write) : WriteFunction(::write))
    , m_sync(sync ? std::move(sync) : SyncFunction(::fdatasync))
{
}

AtomicFile::~AtomicFile()
{
    Abandon();
}

bool AtomicFile::Fail(int err, std::string problem)
{
    Abandon();
    m_error = err;
    m_problem = std::move(problem);
    return false;
}

std::string AtomicFile::ErrorText() const
{
    return m_problem.empty() ? std::string(std::strerror(m_error)) : m_problem;
}

bool AtomicFile::Open(const std::string& path, Device device, LinkPolicy links)
{
    return OpenFile(path, device, links, -1);
}

bool AtomicFile::OpenFile(const std::string& path, Device device, LinkPolicy links, int keepFrom)
{
    Abandon();
    m_error = 0;
    m_problem.clear();
    m_written = m_flushing = m_syncing = 0;
    if (path.empty())
        return Fail(ENOENT);
    if (path.find('\0') != std::string::npos)
        return Fail(EINVAL);
    std::string target = path;
    switch (ResolveLinks(target, links)) {
    case LinkResolution::Untrusted:
        return Fail(EPERM, kUntrustedLinkRefusal);
    case LinkResolution::Failed:
        return Fail(errno);
    case LinkResolution::Resolved:
        break;
    }
    SplitPath(target, m_folder, m_name);
    if (m_name.empty() || m_name == "." || m_name == "..")
        return Fail(EISDIR);
    m_dirFd = OpenFolder(m_folder);
    if (m_dirFd < 0)
        return Fail(errno);

    struct stat named {};
    const bool exists = ::fstatat(m_dirFd, m_name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0;
    if (!exists && errno != ENOENT)
        return Fail(errno);
    const bool isLink = exists && S_ISLNK(named.st_mode);
    const bool replaceLink = isLink && links == LinkPolicy::Replace;
    if (exists) {
        // Only a path: opening a device or FIFO could have effects.
        m_source = ::openat(m_dirFd, m_name.c_str(), O_PATH | O_CLOEXEC);
        if (m_source < 0 && !(isLink && errno == ENOENT)) // a dangling link is a new file
            return Fail(errno);
        if (m_source >= 0 && ::fstat(m_source, &m_sourceStat) != 0)
            return Fail(errno);
    }
    if (m_source >= 0 && !replaceLink) {
        if (S_ISDIR(m_sourceStat.st_mode))
            return Fail(EISDIR);
        if (!S_ISREG(m_sourceStat.st_mode)) {
            CloseFd(m_source);
            const int wait = device == Device::DontWait ? O_NONBLOCK : 0;
            m_fd = ::openat(m_dirFd, m_name.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | wait);
            return m_fd >= 0 || Fail(errno);
        }
    }
    if (m_source >= 0 && !S_ISREG(m_sourceStat.st_mode))
        CloseFd(m_source); // a replaced link to something other than a file: nothing to keep
    if (keepFrom >= 0) {
        CloseFd(m_source);
        m_source = ::fcntl(keepFrom, F_DUPFD_CLOEXEC, 0);
        if (m_source < 0 || ::fstat(m_source, &m_sourceStat) != 0)
            return Fail(errno);
    } else if (m_source >= 0 && ::faccessat(m_dirFd, m_name.c_str(), W_OK, AT_EACCESS) != 0) {
        return Fail(errno); // a read-only file stays protected, as it would be against truncation
    }

    RemoveAbandonedTemporaries(m_dirFd, m_name);
    // Readable by the owner alone while it stands for an existing file; a
    // new file is made as any new file would be.
    m_fd = CreateTemporary(m_dirFd, m_folder, m_name, m_source >= 0 ? 0600 : 0666, m_tempName, m_tempEntry);
    if (m_fd < 0) {
        m_tempName.clear();
        return Fail(errno);
    }
    return true;
}

bool AtomicFile::Write(std::string_view bytes)
{
    if (m_fd < 0)
        return false;
    if (!WriteAll(m_fd, bytes.data(), bytes.size(), m_write))
        return Fail(errno);
    m_written += bytes.size();
#ifdef __linux__
    // A temporary is synced before the rename; starting write-back as it
    // grows leaves that sync little to wait for.
    constexpr uint64_t kFlushStep = uint64_t(4) << 20;
    if (!m_tempName.empty() && m_written - m_flushing >= kFlushStep) {
        (void)::sync_file_range(m_fd, off64_t(m_flushing), off64_t(m_written - m_flushing), SYNC_FILE_RANGE_WRITE);
        m_flushing = m_written;
    }
#endif
    // A flush takes the longer the more it carries to the disk, so a large
    // temporary is flushed as it grows, on another thread, whenever the last
    // flush has ended: the one before the rename then has little left.
    constexpr uint64_t kSyncStep = uint64_t(8) << 20;
    if (!m_tempName.empty() && m_written - m_syncing >= kSyncStep && m_sync.Start(m_fd))
        m_syncing = m_written;
    return true;
}

bool AtomicFile::LinkBackup(int dirFd, const std::string& folder, const std::string& name, bool& linked)
{
    TemporaryName entry;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string linkName = NewTemporaryName(name);
        entry.Set(folder, linkName);
        linked = ::linkat(m_dirFd, m_name.c_str(), dirFd, linkName.c_str(), 0) == 0;
        if (!linked && errno == EEXIST)
            continue;
        if (!linked)
            return false;
        const bool renamed = ::renameat(dirFd, linkName.c_str(), dirFd, name.c_str()) == 0;
        const int err = errno;
        // Between two names of one file, rename does nothing and leaves both.
        ::unlinkat(dirFd, linkName.c_str(), 0);
        errno = err;
        return renamed;
    }
    return false;
}

bool AtomicFile::KeepBackup(const std::string& backupPath)
{
    std::string folder, name;
    SplitPath(backupPath, folder, name);
    int dirFd = name.empty() ? (errno = EISDIR, -1) : OpenFolder(folder);
    // Before this run locks the old file below: a link that a killed run
    // left is another name of it and would look live.
    if (dirFd >= 0)
        RemoveAbandonedTemporaries(dirFd, name);
    // The old file as it is now: read for a copy, and locked, so that no
    // other writer's clean-up takes the link made below for abandoned (a
    // lock that someone else holds on the file only makes it look live).
    int in = dirFd < 0 ? -1 : ::openat(m_dirFd, m_name.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    int err = errno;
    std::string problem;
    bool kept = false;
    if (in >= 0) {
        (void)::flock(in, LOCK_EX | LOCK_NB);
        // A hard link renamed over the backup replaces it whole, and
        // replaces a link there instead of following it.
        bool linked = false;
        kept = LinkBackup(dirFd, folder, name, linked);
        err = errno;
        if (!linked) { // a file system without hard links: a copy
            AtomicFile copy(m_write);
            kept = copy.OpenFile(backupPath, Device::DontWait, LinkPolicy::Replace, m_source);
            FdSource source(in);
            char buffer[1 << 16];
            for (ssize_t n = 0; kept && (n = source.Read(buffer, sizeof buffer)) != 0;)
                kept = n > 0 ? copy.Write({buffer, size_t(n)}) : copy.Fail(errno);
            kept = kept && copy.Commit();
            err = copy.m_error;
            problem = copy.m_problem;
        }
    }
    CloseFd(in);
    CloseFd(dirFd);
    return kept
        || Fail(err, "its backup " + backupPath + " cannot be made ("
                         + (problem.empty() ? std::string(std::strerror(err)) : problem) + ")");
}

bool AtomicFile::Commit(const std::string& backupPath)
{
    if (m_fd < 0)
        return false;
    if (m_tempName.empty()) { // written in place
        const int fd = std::exchange(m_fd, -1);
        const bool closed = ::close(fd) == 0;
        const int err = errno;
        Abandon();
        return closed || Fail(err);
    }
    if (m_source >= 0) {
        std::string problem = CopyMetadata(m_source, m_sourceStat, m_fd);
        if (!problem.empty())
            return Fail(EPERM, problem + "; not replaced");
    }
    // A flush that failed on the way may have been the only one to say so.
    if (const int err = m_sync.Wait(); err != 0)
        return Fail(err);
    if (::fsync(m_fd) != 0)
        return Fail(errno);
    // Decided by what Open() found: a file that is gone by now fails here.
    if (!backupPath.empty() && m_source >= 0 && !KeepBackup(backupPath))
        return false;
    if (::renameat(m_dirFd, m_tempName.c_str(), m_dirFd, m_name.c_str()) != 0)
        return Fail(errno);
    m_tempEntry.Release();
    m_tempName.clear();
    // The sync has reported any write error; closing releases the lock.
    CloseFd(m_fd);
    SyncFolder(m_dirFd);
    Abandon();
    return true;
}

void AtomicFile::Abandon()
{
    (void)m_sync.Wait(); // it flushes m_fd
    if (!m_tempName.empty()) {
        ::unlinkat(m_dirFd, m_tempName.c_str(), 0); // while still locked, so no one else takes it
        m_tempName.clear();
    }
    CloseFd(m_fd);
    m_tempEntry.Release();
    CloseFd(m_source);
    CloseFd(m_dirFd);
}
