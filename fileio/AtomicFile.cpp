#include "AtomicFile.h"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string_view>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Temporary paths of the open AtomicFiles, kept where a signal handler can
// reach them without locks or allocation.
constexpr int kSlots = 256;
char g_tempPaths[kSlots][PATH_MAX];
std::atomic<int> g_slotState[kSlots]; // 0 free, 1 being filled, 2 holds a path

int RegisterTemporary(const std::string& path)
{
    if (path.size() >= PATH_MAX)
        return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = 0;
        if (g_slotState[i].compare_exchange_strong(expected, 1)) {
            std::memcpy(g_tempPaths[i], path.c_str(), path.size() + 1);
            g_slotState[i].store(2);
            return i;
        }
    }
    return -1; // more open files than slots: only the signal clean-up misses them
}

void ReleaseTemporary(int slot)
{
    if (slot >= 0)
        g_slotState[slot].store(0);
}

std::string Folder(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string BaseName(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The link's final target, so that the file it points to is replaced rather
// than the link.
std::string ResolveLink(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return path;
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real)
        return path;
    std::string resolved(real);
    std::free(real);
    return resolved;
}

// Temporary files are named ".<target's name>.<writer's process id>.<8 random
// characters>.tmp", so that a later writer of the same target can tell the
// leftovers of a killed one from a write still in progress.
std::string TemporaryPrefix(const std::string& target)
{
    std::string name = BaseName(target);
    if (name.size() > 200)
        name.resize(200); // room for the suffix within NAME_MAX
    return "." + name + ".";
}

constexpr size_t kRandomLength = 8;

// A new file beside `target`, created with 0666 so that the umask applies as
// to any new file.
int CreateBeside(const std::string& target, std::string& tempPath)
{
    const std::string prefix = Folder(target) + TemporaryPrefix(target) + std::to_string(::getpid()) + ".";
    thread_local std::mt19937_64 random(std::random_device{}() ^ uint64_t(::getpid())
                                        ^ uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()));
    static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string suffix;
        for (size_t i = 0; i < kRandomLength; ++i)
            suffix += kDigits[random() % 36];
        tempPath = prefix + suffix + ".tmp";
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// The writer's process id when `entry` is a temporary file of `prefix`'s
// target, otherwise 0.
pid_t TemporaryWriter(std::string_view entry, std::string_view prefix)
{
    constexpr std::string_view kEnd = ".tmp";
    if (!entry.starts_with(prefix) || !entry.ends_with(kEnd))
        return 0;
    const std::string_view middle = entry.substr(prefix.size(), entry.size() - prefix.size() - kEnd.size());
    const size_t dot = middle.find('.');
    if (dot == std::string_view::npos || middle.size() - dot - 1 != kRandomLength)
        return 0;
    for (const char c : middle.substr(dot + 1))
        if (!std::isalnum(static_cast<unsigned char>(c)))
            return 0;
    pid_t pid = 0;
    const auto [end, error] = std::from_chars(middle.data(), middle.data() + dot, pid);
    return error == std::errc() && end == middle.data() + dot && pid > 0 ? pid : 0;
}

// A writer killed part-way leaves its full-size temporary file behind: remove
// those of `target` whose writer no longer runs. A writer that runs, or that
// may not be asked about, keeps its file.
void RemoveAbandonedTemporaries(const std::string& target)
{
    const std::string folder = Folder(target);
    const std::string prefix = TemporaryPrefix(target);
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        const pid_t writer = TemporaryWriter(entry->d_name, prefix);
        if (writer == 0 || writer == ::getpid() || ::kill(writer, 0) == 0 || errno != ESRCH)
            continue;
        struct stat st {};
        if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

void SyncFolder(const std::string& target)
{
    const std::string folder = Folder(target);
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd); // the rename is done; this only makes it durable sooner
        ::close(fd);
    }
}

// Keeps the old file under `backup`: a hard link where the file system has
// them, a copy otherwise; either way `backup` is replaced whole or not at all.
bool KeepBackup(const std::string& target, const std::string& backup, const WriteFunction& write)
{
    std::string linkPath;
    const int probe = CreateBeside(backup, linkPath);
    if (probe < 0)
        return false;
    ::close(probe);
    ::unlink(linkPath.c_str());
    if (::link(target.c_str(), linkPath.c_str()) == 0) {
        if (::rename(linkPath.c_str(), backup.c_str()) == 0)
            return true;
        const int err = errno;
        ::unlink(linkPath.c_str());
        errno = err;
        return false;
    }
    const int in = ::open(target.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    AtomicFile copy(write);
    bool ok = copy.Open(backup);
    FdSource source(in);
    char buffer[1 << 16];
    for (ssize_t n = 0; ok && (n = source.Read(buffer, sizeof buffer)) != 0;)
        ok = n > 0 && copy.Write({buffer, size_t(n)});
    const int err = errno;
    ::close(in);
    ok = ok && copy.Commit();
    errno = ok ? 0 : (copy.Error() ? copy.Error() : err);
    return ok;
}

} // namespace

AtomicFile::AtomicFile(WriteFunction write)
    : m_write(write ? std::move(write) : WriteFunction(::write))
{
}

AtomicFile::~AtomicFile()
{
    Abandon();
}

bool AtomicFile::Fail(int err)
{
    m_error = err;
    Abandon();
    return false;
}

bool AtomicFile::Open(const std::string& path, Device device)
{
    Abandon();
    m_error = 0;
    m_written = m_flushing = 0;
    if (path.empty())
        return Fail(ENOENT);
    if (path.find('\0') != std::string::npos)
        return Fail(EINVAL);
    m_target = ResolveLink(path);
    if (BaseName(m_target).empty())
        return Fail(EISDIR);
    struct stat existing {};
    if (::stat(m_target.c_str(), &existing) == 0) {
        if (S_ISDIR(existing.st_mode))
            return Fail(EISDIR);
        // A read-only file stays protected, as it would be against truncation.
        if (::faccessat(AT_FDCWD, m_target.c_str(), W_OK, AT_EACCESS) != 0)
            return Fail(errno);
        if (!S_ISREG(existing.st_mode)) {
            const int wait = device == Device::DontWait ? O_NONBLOCK : 0;
            m_fd = ::open(m_target.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | wait);
            return m_fd >= 0 || Fail(errno);
        }
    }
    RemoveAbandonedTemporaries(m_target);
    m_fd = CreateBeside(m_target, m_tempPath);
    if (m_fd < 0) {
        m_tempPath.clear();
        return Fail(errno);
    }
    m_slot = RegisterTemporary(m_tempPath);
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
    if (!m_tempPath.empty() && m_written - m_flushing >= kFlushStep) {
        (void)::sync_file_range(m_fd, off64_t(m_flushing), off64_t(m_written - m_flushing), SYNC_FILE_RANGE_WRITE);
        m_flushing = m_written;
    }
#endif
    return true;
}

bool AtomicFile::Commit(const std::string& backupPath)
{
    if (m_fd < 0)
        return false;
    if (m_tempPath.empty()) { // written in place
        const int fd = std::exchange(m_fd, -1);
        return ::close(fd) == 0 || Fail(errno);
    }
    struct stat old {};
    if (::stat(m_target.c_str(), &old) == 0) {
        if (::fchmod(m_fd, old.st_mode & 07777) != 0)
            return Fail(errno);
        struct stat created {};
        if (::fstat(m_fd, &created) == 0 && (created.st_uid != old.st_uid || created.st_gid != old.st_gid))
            (void)::fchown(m_fd, old.st_uid, old.st_gid); // only root may, and only then it matters
    }
    if (::fsync(m_fd) != 0)
        return Fail(errno);
    const int fd = std::exchange(m_fd, -1);
    if (::close(fd) != 0)
        return Fail(errno);
    if (!backupPath.empty() && ::access(m_target.c_str(), F_OK) == 0 && !KeepBackup(m_target, backupPath, m_write))
        return Fail(errno);
    if (::rename(m_tempPath.c_str(), m_target.c_str()) != 0)
        return Fail(errno);
    ReleaseTemporary(std::exchange(m_slot, -1));
    m_tempPath.clear();
    SyncFolder(m_target);
    return true;
}

void AtomicFile::Abandon()
{
    if (m_fd >= 0)
        ::close(std::exchange(m_fd, -1));
    if (!m_tempPath.empty()) {
        ::unlink(m_tempPath.c_str());
        m_tempPath.clear();
    }
    ReleaseTemporary(std::exchange(m_slot, -1));
}

void RemoveOpenTemporaryFiles()
{
    for (int i = 0; i < kSlots; ++i)
        if (g_slotState[i].load() == 2)
            ::unlink(g_tempPaths[i]);
}
