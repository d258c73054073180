// Session.h - one invocation's setting: the package, its plug-in and the (simulated) machine.
#pragma once

#include <memory>
#include <string>

#include "MachinePlan.h"
#include "Options.h"
#include "PackageConfig.h"
#include "Plugin.h"
#include "Signals.h"

namespace diaghost {

struct Session {
    Options options;
    PackageConfig config;
    // The system root the plug-in looks at: the simulated machine's,
    // --sysroot's or MODEMDIAG_SYSROOT as diaghost found it; "" for the
    // real one.
    std::string sysroot;
    std::unique_ptr<modemsim::SimulatedMachine> machine;
    std::string keptDir;  // --simulate: folder holding the logs, kept after a run
    // --simulate: whether keptDir stays (run sets it once tests are under
    // way); info, list and a usage error leave no folder behind.
    bool keepLogs = false;
    std::unique_ptr<Cleanup> removeMachine;
    // Declared last so that the plug-in's objects go before the machine.
    Plugin plugin;
};

// Reads the package manifest, stands up the simulated machine or takes
// --sysroot, tells the plug-in its system root (MODEMDIAG_SYSROOT, before
// the plug-in reads any system path) and loads the plug-in. Returns -1 when
// all is ready, else the exit status after a one-line error on stderr.
int openSession(Session& session);

// Where the plug-in's log files ended up, as lines for people.
std::string describeLogs(const Session& session);

void printError(const std::string& message);

}  // namespace diaghost
