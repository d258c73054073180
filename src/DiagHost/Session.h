// Session.h - one invocation: the package, its plug-in (loaded with dlopen), the (simulated) machine and the commands.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "MachinePlan.h"
#include "Options.h"
#include "PackageConfig.h"
#include "QuarnDiags/IDeviceEnumerator.h"
#include "QuarnDiags/IDiagnostics.h"
#include "Signals.h"

namespace diaghost {

// Owns the library handle and the objects its factories made; the objects
// are deleted before the library is closed.
class Plugin {
public:
    ~Plugin();

    // Loads the package's library and tells it where its package lives
    // (configPath made absolute, links kept: the log folder follows the path
    // given). False with a one-line reason in error on failure.
    bool load(const PackageConfig& config, const std::string& configPath, std::string& error);

    // Made on first use (the enumerator always before the diagnostic, as
    // the plug-in expects); null with error set when the factory fails.
    QuarnDiags::DeviceEnum::IDeviceEnumerator* enumerator(std::string& error);
    QuarnDiags::Diag::IDiagnostics* diagnostics(std::string& error);

    // Whether the modem driver is in use, as each test asks before it opens
    // its port; false when the plug-in does not export ModemsInUse().
    bool modemsInUse() const { return m_modemsInUse != nullptr && m_modemsInUse() != 0; }

    // <package folder>/../log, where the plug-in writes its logs (or in the
    // package folder when it cannot write there).
    const std::string& logDir() const { return m_logDir; }
    // The log files that exist, in the folder the plug-in wrote them to.
    std::vector<std::string> logFiles() const;
    std::string diagnosticLog() const;

private:
    using SetConfigFn = void (*)(const char*);
    using InUseFn = unsigned char (*)();
    using EnumeratorFn = QuarnDiags::DeviceEnum::IDeviceEnumerator* (*)(
        bool, QuarnDiags::DeviceEnum::IDeviceEnumerator::DiagnosticMode);
    using DiagnosticsFn =
        QuarnDiags::Diag::IDiagnostics* (*)(bool, QuarnDiags::DeviceEnum::IDeviceEnumerator::DiagnosticMode);

    void* m_handle = nullptr;
    EnumeratorFn m_getEnumerator = nullptr;
    DiagnosticsFn m_getDiagnostics = nullptr;
    InUseFn m_modemsInUse = nullptr;
    std::unique_ptr<QuarnDiags::DeviceEnum::IDeviceEnumerator> m_enumerator;
    std::unique_ptr<QuarnDiags::Diag::IDiagnostics> m_diagnostics;
    std::string m_logDir;
    std::string m_packageDir;
};

struct Session {
    Options options;
    PackageConfig config;
    std::string sysroot;  // the simulated machine's root, --sysroot's or MODEMDIAG_SYSROOT's; "" for the real one
    std::unique_ptr<modemsim::SimulatedMachine> machine;
    std::string scratchDir;  // --simulate: temporary folder the plug-in logs into, removed with the machine
    bool keepLogs = false;   // whether its logs are stored at the end: set by run once tests are under way
    std::unique_ptr<Cleanup> removeMachine;
    Plugin plugin;  // last, so that the plug-in's objects go before the machine
};

// For run, checks that its report files can be written; reads the manifest,
// stands up the simulated machine or takes --sysroot and loads the plug-in.
// -1 when all is ready, else the exit status after a one-line error on stderr.
int openSession(Session& session);

void printError(const std::string& message);

// Moves a simulated run's logs out of its temporary folder into
// ${XDG_STATE_HOME:-$HOME/.local/state}/diaghost/simulate (made when
// missing, 0700), each replacing the last simulated run's file of its name
// in one step; a log this run did not write is removed there, so that the
// folder holds one run's logs only. The paths stored go to stored. False
// with the reason in error (folder, if known, names the folder); a store
// that fails half-way leaves neither run's logs there.
bool storeSimulatedLogs(const Session& session, std::string& folder, std::vector<std::string>& stored,
                        std::string& error);
// Where storeSimulatedLogs keeps them; "" when there is no state folder.
std::string simulatedLogsFolder();

// The commands of kVerbs (Verbs.cpp), run on an open session; each returns
// its exit status.
int commandInfo(Session& session);
int commandList(Session& session);
int commandRun(Session& session);
// report needs no session: the page comes from the run document alone.
int commandReport(const Options& options);

}  // namespace diaghost
