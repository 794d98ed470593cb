#include "FileMetadata.h"

#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

#include <sys/xattr.h>
#include <unistd.h>

namespace {

constexpr const char* kAccessAcl = "system.posix_acl_access";

std::string Because(const std::string& what, int err)
{
    return what + " (" + std::strerror(err) + ")";
}

// A name for `fd` that the path-based calls accept, O_PATH descriptors
// included.
std::string DescriptorPath(int fd)
{
    return "/proc/self/fd/" + std::to_string(fd);
}

// The list of attribute names, or the value of one: the call is asked for
// the size first and repeated while the attribute grows in between.
template <typename Call>
bool ReadSized(std::vector<char>& out, Call call)
{
    for (int attempt = 0; attempt < 8; ++attempt) {
        const ssize_t size = call(nullptr, 0);
        if (size < 0)
            return false;
        out.resize(size_t(size));
        const ssize_t got = call(out.data(), out.size());
        if (got >= 0) {
            out.resize(size_t(got));
            return true;
        }
        if (errno != ERANGE)
            return false;
    }
    return false;
}

bool Unsupported(int err)
{
    return err == ENOTSUP || err == ENOSYS;
}

std::string CopyAttributes(int from, int to)
{
    const std::string source = DescriptorPath(from);
    std::vector<char> names;
    if (!ReadSized(names, [&](char* buf, size_t size) { return ::listxattr(source.c_str(), buf, size); }))
        return Unsupported(errno) ? std::string() : Because("its extended attributes cannot be read", errno);
    bool hasAcl = false;
    for (size_t at = 0; at < names.size();) {
        const std::string name(names.data() + at);
        at += name.size() + 1;
        if (name.empty())
            continue;
        hasAcl = hasAcl || name == kAccessAcl;
        std::vector<char> value;
        if (!ReadSized(value, [&](char* buf, size_t size) { return ::getxattr(source.c_str(), name.c_str(), buf, size); })) {
            if (errno == ENODATA)
                continue; // removed meanwhile
            return Because("its extended attribute " + name + " cannot be read", errno);
        }
        if (::fsetxattr(to, name.c_str(), value.data(), value.size(), 0) == 0)
            continue;
        const int err = errno;
        // One the system gives every new file (a security label) may be
        // refused and still be there already.
        std::vector<char> present;
        if (ReadSized(present, [&](char* buf, size_t size) { return ::fgetxattr(to, name.c_str(), buf, size); })
            && present == value)
            continue;
        return Because("its extended attribute " + name + " cannot be kept", err);
    }
    // A new file in a folder with a default ACL inherits one that the old
    // file did not have.
    if (!hasAcl && ::fremovexattr(to, kAccessAcl) != 0 && errno != ENODATA && !Unsupported(errno))
        return Because("an inherited access control list cannot be removed", errno);
    return std::string();
}

} // namespace

std::string CopyMetadata(int from, const struct stat& fromStat, int to)
{
    struct stat now {};
    if (::fstat(to, &now) != 0)
        return Because("the new file cannot be examined", errno);
    if ((now.st_uid != fromStat.st_uid || now.st_gid != fromStat.st_gid)
        && ::fchown(to, fromStat.st_uid, fromStat.st_gid) != 0)
        return Because(now.st_uid != fromStat.st_uid ? "its owner cannot be kept" : "its group cannot be kept", errno);
    if (std::string problem = CopyAttributes(from, to); !problem.empty())
        return problem;
    // Only when they differ: some file systems (FAT) refuse any change.
    const mode_t mode = fromStat.st_mode & 07777;
    if (::fstat(to, &now) != 0 || ((now.st_mode & 07777) != mode && ::fchmod(to, mode) != 0))
        return Because("its permissions cannot be kept", errno);
    // A setgid bit outside one's own groups is dropped silently.
    if (::fstat(to, &now) != 0 || (now.st_mode & 07777) != mode)
        return "its permissions cannot be kept";
    return std::string();
}
