// The temporary files that new content is written to before it is renamed
// over its target, named ".<target's name>.<process id>.<8 random
// characters>.tmp" in the target's folder. The writer holds an exclusive
// flock on its temporary file from creation until it is renamed or removed,
// so that any later writer, in any process, PID namespace or machine that
// shares the lock, can tell an abandoned file (no lock held) from one being
// written. The process id only tells people whose file it is.
#pragma once

#include <string>

// A name in the table that a signal handler reads to remove the temporary
// files of the process; one per temporary file while it exists.
class TemporaryName {
public:
    TemporaryName() = default;
    ~TemporaryName() { Release(); }
    TemporaryName(const TemporaryName&) = delete;
    TemporaryName& operator=(const TemporaryName&) = delete;

    // Enters `path` (a folder, empty for the current one, and a name); it
    // is entered before the file is made, so no moment is left uncovered.
    void Set(const std::string& folder, const std::string& name);
    // The file is gone or renamed: the handler forgets it.
    void Release();

private:
    struct Entry* m_entry = nullptr;
};

// A fresh temporary file name for `target`.
std::string NewTemporaryName(const std::string& target);

// Creates a new temporary file for `target` in the folder `dirFd` (whose
// path is `folder`) with `mode` (less the umask), takes its lock and enters
// it in `entry`. Its name goes to `tempName`. -1 with errno set on failure.
int CreateTemporary(int dirFd, const std::string& folder, const std::string& target, unsigned mode,
                    std::string& tempName, TemporaryName& entry);

// Removes the temporary files of `target` in the folder `dirFd` that no
// writer holds any more. A file that cannot be opened or locked is kept.
void RemoveAbandonedTemporaries(int dirFd, const std::string& target);

// Removes every temporary file of this process that still exists; safe to
// call from a signal handler.
void RemoveOpenTemporaryFiles();
