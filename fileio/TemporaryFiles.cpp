#include "TemporaryFiles.h"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <random>
#include <string_view>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

// One temporary file's path where a signal handler can read it without locks
// or allocation. Entries are linked into a list that only grows, and are
// reused once released, so the table holds as many as are open at once.
struct Entry {
    enum State { Free, Filling, Holding };
    std::atomic<int> state{Filling};
    char path[PATH_MAX] = {};
    Entry* next = nullptr;
};

namespace {

std::atomic<Entry*> g_entries{nullptr};

Entry* TakeEntry()
{
    for (Entry* e = g_entries.load(); e; e = e->next) {
        int expected = Entry::Free;
        if (e->state.compare_exchange_strong(expected, Entry::Filling))
            return e;
    }
    Entry* e = new Entry; // starts as Filling; lives as long as the process
    e->next = g_entries.load();
    while (!g_entries.compare_exchange_weak(e->next, e)) {
    }
    return e;
}

std::string TemporaryPrefix(const std::string& target)
{
    std::string name = target;
    if (name.size() > 200)
        name.resize(200); // room for the suffix within NAME_MAX
    return "." + name + ".";
}

constexpr size_t kRandomLength = 8;
constexpr std::string_view kEnd = ".tmp";

bool IsTemporaryOf(std::string_view entry, std::string_view prefix)
{
    if (!entry.starts_with(prefix) || !entry.ends_with(kEnd))
        return false;
    const std::string_view middle = entry.substr(prefix.size(), entry.size() - prefix.size() - kEnd.size());
    const size_t dot = middle.find('.');
    if (dot == 0 || dot == std::string_view::npos || middle.size() - dot - 1 != kRandomLength)
        return false;
    for (const char c : middle.substr(0, dot))
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    for (const char c : middle.substr(dot + 1))
        if (!std::isalnum(static_cast<unsigned char>(c)))
            return false;
    return true;
}

bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The name still leads to the file open as `fd`.
bool NameHolds(int dirFd, const std::string& name, int fd)
{
    struct stat named {}, opened {};
    return ::fstatat(dirFd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && ::fstat(fd, &opened) == 0
        && SameFile(named, opened);
}

int Lock(int fd, int how)
{
    int result;
    do
        result = ::flock(fd, how);
    while (result != 0 && errno == EINTR);
    return result;
}

} // namespace

void TemporaryName::Set(const std::string& folder, const std::string& name)
{
    if (!m_entry)
        m_entry = TakeEntry();
    else
        m_entry->state.store(Entry::Filling);
    const std::string path = folder.empty() ? name : folder + "/" + name;
    if (path.size() >= PATH_MAX)
        return; // left Filling: the handler skips it
    std::memcpy(m_entry->path, path.c_str(), path.size() + 1);
    m_entry->state.store(Entry::Holding);
}

void TemporaryName::Release()
{
    if (m_entry) {
        m_entry->state.store(Entry::Free);
        m_entry = nullptr;
    }
}

std::string NewTemporaryName(const std::string& target)
{
    thread_local std::mt19937_64 random(std::random_device{}() ^ uint64_t(::getpid())
                                        ^ uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()));
    static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string name = TemporaryPrefix(target) + std::to_string(::getpid()) + ".";
    for (size_t i = 0; i < kRandomLength; ++i)
        name += kDigits[random() % 36];
    return name + std::string(kEnd);
}

int CreateTemporary(int dirFd, const std::string& folder, const std::string& target, unsigned mode,
                    std::string& tempName, TemporaryName& entry)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempName = NewTemporaryName(target);
        entry.Set(folder, tempName);
        const int fd = ::openat(dirFd, tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW,
                                mode_t(mode));
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            const int err = errno;
            entry.Release();
            errno = err;
            return -1;
        }
        // Until the lock is held, another writer may take the file for
        // abandoned and remove it: then it starts again under a new name.
        // A file system without locks leaves the file unlocked, which
        // others take for one being written.
        if (Lock(fd, LOCK_EX) != 0 && errno != ENOLCK && errno != EOPNOTSUPP) {
            const int err = errno;
            ::unlinkat(dirFd, tempName.c_str(), 0);
            ::close(fd);
            entry.Release();
            errno = err;
            return -1;
        }
        if (NameHolds(dirFd, tempName, fd))
            return fd;
        ::close(fd);
    }
    entry.Release();
    errno = EEXIST;
    return -1;
}

void RemoveAbandonedTemporaries(int dirFd, const std::string& target)
{
    const int listFd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listFd < 0)
        return;
    DIR* dir = ::fdopendir(listFd);
    if (!dir) {
        ::close(listFd);
        return;
    }
    const std::string prefix = TemporaryPrefix(target);
    while (const dirent* entry = ::readdir(dir)) {
        if (!IsTemporaryOf(entry->d_name, prefix))
            continue;
        // Open for writing: NFS takes an exclusive flock only then.
        const int fd = ::openat(::dirfd(dir), entry->d_name, O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && Lock(fd, LOCK_EX | LOCK_NB) == 0
            && NameHolds(::dirfd(dir), entry->d_name, fd))
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
        ::close(fd);
    }
    ::closedir(dir);
}

void RemoveOpenTemporaryFiles()
{
    for (Entry* e = g_entries.load(); e; e = e->next)
        if (e->state.load() == Entry::Holding)
            ::unlink(e->path);
}
