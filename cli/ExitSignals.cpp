#include "ExitSignals.h"

#include "TemporaryFiles.h"

#include <csignal>

namespace {

void RemoveTemporariesAndDie(int signal)
{
    RemoveOpenTemporaryFiles();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

} // namespace

void HandleSignals()
{
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    for (const int sig : {SIGALRM, SIGHUP, SIGINT, SIGPOLL, SIGPROF, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGVTALRM,
                          SIGXCPU}) {
        struct sigaction action {};
        if (::sigaction(sig, nullptr, &action) != 0 || action.sa_handler == SIG_IGN)
            continue;
        action = {};
        action.sa_handler = RemoveTemporariesAndDie;
        sigemptyset(&action.sa_mask);
        ::sigaction(sig, &action, nullptr);
    }
}
