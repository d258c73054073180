// Commands.cpp - info, list and run: enumerate, select, run and report.
#include "Commands.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>

#include "Console.h"
#include "ExitStatus.h"
#include "Jobs.h"
#include "ListView.h"
#include "MetricsReport.h"
#include "Reports.h"
#include "Runner.h"

namespace diaghost {

using QuarnDiags::DeviceEnum::VirtualDeviceVector;
using QuarnDiags::Diag::IDiagnostics;

namespace {

IDiagnostics* diagnosticsOf(Session& session)
{
    std::string error;
    IDiagnostics* diagnostics = session.plugin.diagnostics(error);
    if (diagnostics == nullptr) {
        printError(error);
    }
    return diagnostics;
}

PackageIdentity identityOf(IDiagnostics& diagnostics)
{
    return PackageIdentity{diagnostics.getName(), diagnostics.getVersion(), diagnostics.getDescription()};
}

// Asks the enumerator for the modems on a worker thread, so that Ctrl-C
// still ends the program while a silent tty holds the enumeration up.
// Devices whose data the plug-in did not complete are left out.
bool enumerate(Session& session, Console& human, VirtualDeviceVector*& devices, std::vector<DeviceRecord>& records)
{
    std::string error;
    QuarnDiags::DeviceEnum::IDeviceEnumerator* enumerator = session.plugin.enumerator(error);
    if (enumerator == nullptr) {
        printError(error);
        return false;
    }
    devices = nullptr;
    Wakeup wakeup;
    watch([&] { devices = enumerator->getDeviceVector("", 0); }, [] { return -1; },
          [&human](int signal) {
              human.line(signal == SIGINT ? "Ctrl-C: stopping the search for modems." : "Stopping.");
              quitNow(EXIT_SIGNAL_BASE + signal);
          },
          wakeup);
    if (devices == nullptr) {
        printError("the plug-in returned no device list");
        return false;
    }
    for (std::size_t i = 0; i < devices->size(); ++i) {
        const QuarnDiags::DeviceEnum::VirtualDevice& device = (*devices)[i];
        if (device && device->isDataValid()) {
            records.push_back(describeDevice(*device.getDevice(), static_cast<int>(i)));
        }
    }
    return true;
}

void printSimulation(Session& session, Console& human)
{
    if (session.machine) {
        human.line("Simulated machine '" + session.options.profile + "': " + session.machine->summary());
    }
}

bool writeFile(const std::string& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    out.close();
    return static_cast<bool>(out);
}

int statusOf(const std::vector<DeviceRecord>& devices, bool interrupted)
{
    bool anyRan = false;
    for (const DeviceRecord& device : devices) {
        anyRan = anyRan || !device.tests.empty();
    }
    int status = EXIT_ALL_PASSED;
    switch (worstVerdict(devices)) {
    case QuarnDiags::Diag::PASSED: status = EXIT_ALL_PASSED; break;
    case QuarnDiags::Diag::UNUSUAL_STATUS: status = EXIT_UNUSUAL; break;
    default: status = EXIT_FAILED; break;
    }
    // A run that was cut short, or that could test nothing, has not shown
    // the modems to be good.
    if ((interrupted || !anyRan) && status == EXIT_ALL_PASSED) {
        status = EXIT_UNUSUAL;
    }
    return status;
}

}  // namespace

int commandInfo(Session& session)
{
    IDiagnostics* diagnostics = diagnosticsOf(session);
    if (diagnostics == nullptr) {
        return EXIT_NO_MODEM;
    }
    Console out(stdout);
    printInfo(out, identityOf(*diagnostics), session.config, session.config.libraryPath(), session.plugin.logDir());
    if (static_cast<std::size_t>(diagnostics->getTestCount()) != session.config.tests.size()) {
        printError("warning: the plug-in has " + std::to_string(diagnostics->getTestCount()) +
                   " tests, the package manifest names " + std::to_string(session.config.tests.size()));
    }
    return EXIT_ALL_PASSED;
}

int commandList(Session& session)
{
    const Options& options = session.options;
    Console human(options.json ? stderr : stdout);
    Cleanup restoreTerminal([&human] { human.restore(); });

    IDiagnostics* diagnostics = diagnosticsOf(session);
    VirtualDeviceVector* devices = nullptr;
    std::vector<DeviceRecord> records;
    if (diagnostics == nullptr || !enumerate(session, human, devices, records)) {
        return EXIT_NO_MODEM;
    }

    if (options.json) {
        std::cout << jsonReport(identityOf(*diagnostics), records, session.config, false) << std::flush;
    } else if (records.empty()) {
        printSimulation(session, human);
        human.line("No modem found.");
    } else if (options.verbose) {
        printDeviceDetails(human, records);
    } else {
        printDeviceTable(human, records);
    }
    if (session.machine) {
        std::fprintf(stderr, "%s\n", describeLogs(session).c_str());
    }
    return records.empty() ? EXIT_NO_MODEM : EXIT_ALL_PASSED;
}

int commandRun(Session& session)
{
    const Options& options = session.options;
    if (options.job) {
        return runJob(session);
    }
    Console human(options.json ? stderr : stdout);
    // Cleanups run newest first: the terminal is restored before the log
    // location is printed, on a normal end and on a forced one alike.
    Cleanup tellLogs([&session, &human] { human.line(describeLogs(session)); });
    Cleanup restoreTerminal([&human] { human.restore(); });

    IDiagnostics* diagnostics = diagnosticsOf(session);
    if (diagnostics == nullptr) {
        return EXIT_NO_MODEM;
    }
    const PackageIdentity package = identityOf(*diagnostics);
    human.line(human.paint(package.name + " " + package.version + " - " + package.description, Colour::Bold));
    printSimulation(session, human);

    VirtualDeviceVector* devices = nullptr;
    std::vector<DeviceRecord> found;
    if (!enumerate(session, human, devices, found)) {
        return EXIT_NO_MODEM;
    }

    std::vector<DeviceRecord> selected;
    for (const DeviceRecord& record : found) {
        if (options.deviceIndex() < 0 || record.index == options.deviceIndex()) {
            selected.push_back(record);
        }
    }
    if (found.empty()) {
        human.line("No modem found.");
        if (options.json) {
            std::cout << jsonReport(package, selected, session.config, true) << std::flush;
        }
        std::string error;
        if (!options.metrics.empty() && !writeMetrics(options.metrics, selected, 0, session.config, error)) {
            printError(error);
        }
        return EXIT_NO_MODEM;
    }
    if (selected.empty()) {
        printError("no modem with index " + options.device + " (diaghost list shows the modems found)");
        return EXIT_USAGE;
    }
    human.line("Found " + std::to_string(found.size()) + (found.size() == 1 ? " modem." : " modems."));

    RunPlan plan;
    plan.haltOnError = options.haltOnError;
    for (int i = 0; i < diagnostics->getTestCount(); ++i) {
        const std::string name = session.config.testName(i);
        if (options.allTests() || std::find(options.tests.begin(), options.tests.end(), name) != options.tests.end()) {
            plan.tests.push_back(i);
        }
    }
    for (DeviceRecord& record : selected) {
        plan.targets.push_back(Target{&(*devices)[static_cast<std::size_t>(record.index)], &record});
    }

    RunView view(human, session.config);
    const RunOutcome outcome = options.jobs > 1 && plan.targets.size() > 1
                                   ? runJobs(session, plan, options.jobs, view)
                                   : runPlan(*diagnostics, plan, session.config, view);
    view.summary(selected, outcome.interrupted);

    int status = statusOf(selected, outcome.interrupted);
    if (options.json) {
        std::cout << jsonReport(package, selected, session.config, true) << std::flush;
    }
    if (!options.junit.empty() && !writeFile(options.junit, junitReport(package, selected, session.config))) {
        printError("cannot write the JUnit report " + options.junit);
        status = EXIT_SOFTWARE;
    }
    std::string error;
    if (!options.metrics.empty() && !writeMetrics(options.metrics, selected, found.size(), session.config, error)) {
        printError(error);
        status = EXIT_SOFTWARE;
    }
    return status;
}

}  // namespace diaghost
