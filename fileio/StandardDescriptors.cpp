#include "StandardDescriptors.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

bool OpenMissingStandardDescriptors()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF)
            continue;
        // The lowest free number is taken, and every lower one is open.
        const int opened = ::open("/dev/null", fd == STDIN_FILENO ? O_WRONLY : O_RDONLY);
        if (opened != fd) {
            if (opened >= 0)
                ::close(opened);
            return false;
        }
    }
    return true;
}
