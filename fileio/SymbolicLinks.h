// What a writer does with a path that names a symbolic link.
#pragma once

#include <string>

enum class LinkPolicy {
    // The link itself gives way to the new file; the file it points to is
    // left alone (what renaming over the name does).
    Replace,
    // The file the link points to is written, when every link on the way
    // belongs to the running user or to root; a link that anyone else made
    // (planted in a shared folder, say) is refused.
    FollowTrusted,
    // The file the link points to is written, whoever made the link.
    Follow,
};

enum class LinkResolution { Resolved, Untrusted, Failed };

// What a writer says when it refuses an Untrusted link.
inline constexpr const char* kUntrustedLinkRefusal = "a symbolic link that another user made; not followed";

// Replaces `path`, link by link, by the path of the file its links lead to,
// as `policy` says (Replace leaves it as it is). A link the kernel follows
// but whose text names no file (/proc/self/fd/N of a pipe) stays as it is.
// Failed sets errno (ELOOP: too many links).
LinkResolution ResolveLinks(std::string& path, LinkPolicy policy);
