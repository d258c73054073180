// ExitStatus.cpp - the list of exit statuses and its text for --help.
#include "ExitStatus.h"

#include <csignal>

#include "Text.h"

namespace diaghost {

const ExitStatusInfo kExitStatuses[9] = {
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

std::string exitStatusHelp()
{
    std::string text = "Exit status:\n";
    for (const ExitStatusInfo& row : kExitStatuses) {
        std::string status = "  " + std::to_string(row.status);
        status.resize(7, ' ');
        for (const std::string& line : wrapWords(status + row.meaning, 79, 7)) {
            text += line + "\n";
        }
    }
    return text;
}

}  // namespace diaghost
