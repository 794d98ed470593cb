// The exit statuses of velmora-replace, as its manual page gives them.
#pragma once

// Every text was replaced, or the reader of the output went away; also
// after --help and --version.
constexpr int kExitSucceeded = 0;
// Any error, a wrong command line included.
constexpr int kExitFailed = 2;
