#include "DictionaryWriter.h"

#include <bit>
#include <cctype>
#include <charconv>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char kBom[2] = {char(0xFF), char(0xFE)};

bool WriteAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
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

// Splits at the last '/': ("dir/", "name"), ("", "name") without a folder.
std::pair<std::string, std::string> SplitPath(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return {std::string(), path};
    return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

// The link's final target when `path` is a symbolic link that resolves, so
// that saving replaces the file it points to rather than the link itself.
std::string ResolveTarget(const std::string& path)
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
// characters>.tmp", so that a later save of the same target can tell the
// leftovers of a killed save from a save still in progress.
std::string TemporaryPrefix(const std::string& target)
{
    auto [folder, name] = SplitPath(target);
    if (name.size() > 200)
        name.resize(200); // room for the suffix within NAME_MAX
    return "." + name + ".";
}

constexpr size_t kRandomLength = 8;

// A new, empty file beside `target`, created with 0666 so that the umask
// applies as for any new file. Returns its descriptor, or -1 with errno set.
int CreateTemporary(const std::string& target, std::string& tempPath)
{
    const std::string prefix = SplitPath(target).first + TemporaryPrefix(target) + std::to_string(::getpid()) + ".";
    static unsigned counter = 0;
    uint64_t seed = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count())
        ^ (uint64_t(::getpid()) << 32) ^ (uint64_t(++counter) * 0x9E3779B97F4A7C15ull);
    static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string suffix;
        for (size_t i = 0; i < kRandomLength; ++i) {
            seed = seed * 6364136223846793005ull + 1442695040888963407ull;
            suffix += kDigits[(seed >> 33) % 36];
        }
        tempPath = prefix + suffix + ".tmp";
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1; // errno is still EEXIST
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

// A save killed part-way leaves its full-size temporary file behind: remove
// those of `target` whose writer no longer runs. A writer that runs, or that
// may not be asked about, keeps its file.
void RemoveAbandonedTemporaries(const std::string& target)
{
    const std::string folder = SplitPath(target).first;
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
    const std::string folder = SplitPath(target).first;
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd); // the rename is done; this only makes it durable sooner
    ::close(fd);
}

} // namespace

std::u16string BuildDictionaryText(const std::vector<std::unique_ptr<ReplaceEntry>>& entries)
{
    size_t size = 0;
    for (const auto& entry : entries)
        size += entry->before.size() + entry->after.size() + 2;
    std::u16string text;
    text.reserve(size);
    for (const auto& entry : entries) {
        text += entry->before;
        text += u'\t';
        text += entry->after;
        text += u'\n';
    }
    return text;
}

std::string EncodeDictionaryBytes(std::u16string_view text)
{
    std::string bytes(kBom, 2);
    bytes.resize(2 + 2 * text.size());
    char* p = bytes.data() + 2;
    for (const char16_t unit : text) {
        *p++ = char(unit & 0xFF);
        *p++ = char(unit >> 8);
    }
    return bytes;
}

namespace {
bool WriteDictionaryBytes(int fd, std::u16string_view text)
{
    if constexpr (std::endian::native == std::endian::little) {
        // The string's own bytes are already the file's order.
        return WriteAll(fd, kBom, 2) && WriteAll(fd, reinterpret_cast<const char*>(text.data()), text.size() * 2);
    } else {
        const std::string bytes = EncodeDictionaryBytes(text);
        return WriteAll(fd, bytes.data(), bytes.size());
    }
}
} // namespace

bool WriteTextFile(const std::string& path, std::u16string_view text, std::string* error)
{
    auto fail = [&](int err) {
        if (error)
            *error = path + ": " + std::strerror(err);
        return false;
    };
    if (path.empty())
        return fail(ENOENT);
    if (path.find('\0') != std::string::npos)
        return fail(EINVAL);

    const std::string target = ResolveTarget(path);
    if (SplitPath(target).second.empty())
        return fail(EISDIR); // names a folder
    // Replacing by rename needs no write permission on the file itself; ask
    // for it anyway, so that a read-only dictionary stays protected as it
    // would be against truncation.
    if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0 && errno != ENOENT)
        return fail(errno);

    // A device, pipe or socket is written in place: renaming a file over it
    // would replace the node itself.
    struct stat existing {};
    if (::stat(target.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode) && !S_ISDIR(existing.st_mode)) {
        const int fd = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            return fail(errno);
        const bool written = WriteDictionaryBytes(fd, text);
        const int err = errno;
        if (::close(fd) != 0 && written)
            return fail(errno);
        return written ? true : fail(err);
    }

    RemoveAbandonedTemporaries(target);
    std::string tempPath;
    const int fd = CreateTemporary(target, tempPath);
    if (fd < 0)
        return fail(errno);

    auto abandon = [&](int err) {
        if (fd >= 0)
            ::close(fd);
        ::unlink(tempPath.c_str());
        return fail(err);
    };

    struct stat old {};
    if (::stat(target.c_str(), &old) == 0) {
        if (::fchmod(fd, old.st_mode & 07777) != 0)
            return abandon(errno);
        struct stat created {};
        if (::fstat(fd, &created) == 0 && (created.st_uid != old.st_uid || created.st_gid != old.st_gid))
            (void)::fchown(fd, old.st_uid, old.st_gid); // only root may, and only then it matters
    }

    if (!WriteDictionaryBytes(fd, text) || ::fsync(fd) != 0)
        return abandon(errno);
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(tempPath.c_str());
        return fail(err);
    }
    if (::rename(tempPath.c_str(), target.c_str()) != 0) {
        const int err = errno;
        ::unlink(tempPath.c_str());
        return fail(err);
    }
    SyncFolder(target);
    return true;
}

bool Replacer::SaveToFile(const std::string& path, std::string* error) const
{
    return WriteTextFile(path, BuildDictionaryText(m_entries), error);
}
