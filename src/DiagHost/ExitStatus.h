// ExitStatus.h - diaghost's exit statuses and the one list that explains them.
#pragma once

#include <csignal>

namespace diaghost {

enum ExitStatus {
    EXIT_ALL_PASSED = 0,
    EXIT_UNUSUAL = 1,      // some test ended with UNUSUAL_STATUS or was aborted, or the run was interrupted
    EXIT_FAILED = 2,       // some test FAILED
    EXIT_NO_MODEM = 3,     // no modem found, or the package could not be loaded
    EXIT_USAGE = 64,       // bad command line (as sysexits' EX_USAGE)
    EXIT_SOFTWARE = 70,    // an internal error: a simulated machine could not be built
    EXIT_CANTCREAT = 73,   // an output file cannot be written (as sysexits' EX_CANTCREAT)
    EXIT_IOERR = 74,       // standard output could not be written (as sysexits' EX_IOERR)
    EXIT_SIGNAL_BASE = 128  // stopped at once by a signal: 128 + its number (130 for a second Ctrl-C)
};

struct ExitStatusInfo {
    int status;
    const char* meaning;
};

// Every status a person may meet, in order: --help lists them, and the
// manual page's EXIT STATUS section is held to the same list.
inline constexpr ExitStatusInfo kExitStatuses[] = {
    {EXIT_ALL_PASSED, "every test passed"},
    {EXIT_UNUSUAL, "a test ended with an unusual status or was aborted, the run was interrupted, or no test could run"},
    {EXIT_FAILED, "a test failed"},
    {EXIT_NO_MODEM, "no modem found, or the package could not be loaded"},
    {EXIT_USAGE, "usage error"},
    {EXIT_SOFTWARE, "internal error (a simulated machine could not be built)"},
    {EXIT_CANTCREAT, "an output file (--json-file, --junit, --metrics) cannot be written"},
    {EXIT_IOERR, "standard output cannot be written (a full disk, a closed pipe)"},
    {EXIT_SIGNAL_BASE + SIGINT, "stopped by a second Ctrl-C (128 + N for signal N)"},
};

}  // namespace diaghost
