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
    std::string sysroot;  // the simulated machine's root, --sysroot's or MODEMDIAG_SYSROOT's; "" for the real one
    std::unique_ptr<modemsim::SimulatedMachine> machine;
    std::string keptDir;    // --simulate: folder holding the logs
    bool keepLogs = false;  // whether keptDir stays: set by run once tests are under way
    std::unique_ptr<Cleanup> removeMachine;
    Plugin plugin;  // last, so that the plug-in's objects go before the machine
};

// Reads the manifest, stands up the simulated machine or takes --sysroot and
// loads the plug-in. -1 when all is ready, else the exit status after a
// one-line error on stderr.
int openSession(Session& session);

void printError(const std::string& message);

}  // namespace diaghost
