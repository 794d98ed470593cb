// What a file keeps when its content is replaced by a new file: owner,
// group, mode (setuid and setgid among it), extended attributes and with
// them the access control list.
#pragma once

#include <string>

#include <sys/stat.h>

// Gives `to`, a new file that has all its content, the owner, group,
// extended attributes and mode of `from` (`fromStat` its fstat): the owner
// first, since changing it clears setuid and setgid, and the mode last, so
// that it also sets the access control list's mask. `from` may be an
// O_PATH descriptor. Returns an empty string when everything was kept,
// otherwise what could not be kept and why, as a phrase for a message.
std::string CopyMetadata(int from, const struct stat& fromStat, int to);
