// main.cpp - diaghost: loads a diagnostics package, lists the modems and runs their tests.
#include "Console.h"
#include "ExitStatus.h"
#include "OutputFiles.h"
#include "Session.h"
#include "Signals.h"

int main(int argc, char** argv)
{
    using namespace diaghost;

    blockTerminationSignals();  // before any thread exists, so every thread inherits the mask

    Session session;
    const int parsed = parseOptions(argc, argv, session.options);
    if (parsed >= 0) {
        return finishStandardOutput(parsed);
    }
    chooseColour(session.options.color);
    // report reads a run's document and nothing else: no package, no machine.
    const int opened = session.options.command == Command::Report ? -1 : openSession(session);
    if (opened >= 0) {
        return opened;
    }
    int status = EXIT_USAGE;
    switch (session.options.command) {
    case Command::Info: status = commandInfo(session); break;
    case Command::List: status = commandList(session); break;
    case Command::Run: status = commandRun(session); break;
    case Command::Report: status = commandReport(session.options); break;
    }
    // Whatever the verdict, a report that did not reach standard output
    // must not pass for one that did.
    return finishStandardOutput(status);
}
