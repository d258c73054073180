// main.cpp - diaghost: loads a diagnostics package, lists the modems and runs their tests.
#include "Console.h"
#include "ExitStatus.h"
#include "OutputFiles.h"
#include "Session.h"
#include "Signals.h"
#include "Verbs.h"

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
    const Verb& verb = *session.options.command;
    const int opened = verb.needsSession ? openSession(session) : -1;
    if (opened >= 0) {
        return opened;
    }
    // Whatever the verdict, a report that did not reach standard output
    // must not pass for one that did.
    return finishStandardOutput(verb.run(session));
}
