// main.cpp - diaghost: loads a diagnostics package, lists the modems and runs their tests.
#include <cstdio>

#include "Commands.h"
#include "ExitStatus.h"
#include "Options.h"
#include "OutputFiles.h"
#include "Session.h"
#include "Signals.h"
#include "Simulation.h"

int main(int argc, char** argv)
{
    using namespace diaghost;

    // Before any thread exists, so every thread inherits the mask.
    blockTerminationSignals();

    Session session;
    const int parsed = parseOptions(argc, argv, session.options, SimulatedMachine::profilesHelp());
    if (parsed >= 0) {
        return finishStandardOutput(parsed);
    }
    const Options& options = session.options;
    if (options.simulate && !SimulatedMachine::known(options.profile)) {
        printError("unknown simulated machine '" + options.profile + "' (diaghost --simulate=help lists them)");
        return EXIT_USAGE;
    }

    // Report files that cannot be written are found before anything runs.
    if (options.command == Command::Run) {
        const int checked = checkOutputFiles(options);
        if (checked >= 0) {
            return checked;
        }
    }

    const int opened = openSession(session);
    if (opened >= 0) {
        return opened;
    }
    int status = EXIT_USAGE;
    switch (options.command) {
    case Command::Info: status = commandInfo(session); break;
    case Command::List: status = commandList(session); break;
    case Command::Run: status = commandRun(session); break;
    }
    // Whatever the verdict, a report that did not reach standard output
    // must not pass for one that did.
    return finishStandardOutput(status);
}
