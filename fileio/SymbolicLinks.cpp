#include "SymbolicLinks.h"

#include <cerrno>
#include <climits>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// As many links as the kernel follows in one path.
constexpr int kMaxLinks = 40;

bool Trusted(const struct stat& link)
{
    return link.st_uid == ::geteuid() || link.st_uid == 0;
}

// `text` read from the link at `linkPath`, as a path usable from here.
std::string LinkTarget(const std::string& linkPath, const std::string& text)
{
    if (text.starts_with('/'))
        return text;
    const size_t slash = linkPath.rfind('/');
    return slash == std::string::npos ? text : linkPath.substr(0, slash + 1) + text;
}

} // namespace

LinkResolution ResolveLinks(std::string& path, LinkPolicy policy)
{
    if (policy == LinkPolicy::Replace)
        return LinkResolution::Resolved;
    for (int hops = 0; hops < kMaxLinks; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0)
            return errno == ENOENT ? LinkResolution::Resolved : LinkResolution::Failed;
        if (!S_ISLNK(st.st_mode))
            return LinkResolution::Resolved;
        if (policy == LinkPolicy::FollowTrusted && !Trusted(st))
            return LinkResolution::Untrusted;
        char text[PATH_MAX];
        const ssize_t n = ::readlink(path.c_str(), text, sizeof text);
        if (n < 0 || size_t(n) >= sizeof text)
            return n < 0 ? LinkResolution::Failed : (errno = ENAMETOOLONG, LinkResolution::Failed);
        const std::string next = LinkTarget(path, std::string(text, size_t(n)));
        struct stat followed {}, nextStat {};
        if (::stat(path.c_str(), &followed) == 0 && ::lstat(next.c_str(), &nextStat) != 0)
            return LinkResolution::Resolved; // a link of the kernel's own (/proc/self/fd/1 of a pipe)
        path = next;
    }
    errno = ELOOP;
    return LinkResolution::Failed;
}
