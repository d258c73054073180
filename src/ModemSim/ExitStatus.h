// ExitStatus.h - diaghost's exit statuses and the one list that explains them. modemsim ends with the same
// values where they apply; the header lives with the simulator's library, the lowest layer both programs build on.
#pragma once

#include <csignal>

namespace diaghost {

enum ExitStatus {
    EXIT_ALL_PASSED = 0,
    EXIT_UNUSUAL = 1,      // some test UNUSUAL_STATUS, aborted or not run, a modem untested, or the run interrupted
    EXIT_FAILED = 2,       // some test FAILED
    EXIT_NO_MODEM = 3,     // no modem found, or the package could not be loaded
    EXIT_USAGE = 64,       // bad command line or run document (as sysexits' EX_USAGE)
    EXIT_SOFTWARE = 70,    // an internal error: a simulated machine could not be built
    EXIT_CANTCREAT = 73,   // an output file cannot be written (as sysexits' EX_CANTCREAT)
    EXIT_IOERR = 74,       // standard output could not be written (as sysexits' EX_IOERR)
    EXIT_SIGNAL_BASE = 128,  // stopped at once by a signal: 128 + its number (130 for a second Ctrl-C)
    EXIT_CLOSED_PIPE = EXIT_SIGNAL_BASE + SIGPIPE  // the reader of standard output went away: ends quietly
};

struct ExitStatusInfo {
    int status;
    const char* meaning;
};

// Every status a person may meet, in order: --help lists them, and the
// manual page's EXIT STATUS section is held to the same list.
inline constexpr ExitStatusInfo kExitStatuses[] = {
    {EXIT_ALL_PASSED, "every selected modem was tested and every test passed"},
    {EXIT_UNUSUAL,
     "a test ended with an unusual status, was aborted or did not run; a modem could not be tested (no driver "
     "tty, a locked port, no test supports it); or the run was interrupted"},
    {EXIT_FAILED, "a test failed"},
    {EXIT_NO_MODEM, "no modem found, or the package could not be loaded"},
    {EXIT_USAGE, "usage error, or a run document that report cannot read"},
    {EXIT_SOFTWARE, "internal error (a simulated machine could not be built)"},
    {EXIT_CANTCREAT, "a report file (--json-file, --junit, --metrics, --html) cannot be written"},
    {EXIT_IOERR, "standard output cannot be written (a full disk)"},
    {EXIT_SIGNAL_BASE + SIGINT, "stopped by a second Ctrl-C (128 + N for signal N)"},
    {EXIT_CLOSED_PIPE, "the reader of standard output went away (a closed pipe, as after | head): diaghost ends "
                       "at once and quietly, as if stopped by SIGPIPE"},
};

}  // namespace diaghost
