// Commands.cpp - info, list and run: enumerate, select, run, and report as text and files.
#include "Session.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

#include "Console.h"
#include "ExitStatus.h"
#include "HtmlReport.h"
#include "RunDocument.h"
#include "OutputFiles.h"
#include "Reports.h"
#include "Runner.h"
#include "Table.h"
#include "Text.h"

namespace diaghost {

using QuarnDiags::DeviceEnum::VirtualDeviceVector;
using QuarnDiags::Diag::IDiagnostics;

namespace {

void field(Console& console, const std::string& indent, const std::string& name, const std::string& value)
{
    // Values line up whatever the indent; they may come from the modem.
    console.line(indent + pad(name + ":", 28 - indent.size()) + printable(value));
}

void printInfo(Console& console, const PackageIdentity& package, const PackageConfig& config,
               const std::string& logDir)
{
    console.line(console.paint(printable(package.name + " " + package.version), Colour::Bold));
    field(console, "", "Description", package.description);
    field(console, "", "Package", config.path);
    field(console, "", "Plug-in", config.libraryPath());
    field(console, "", "Log folder", logDir);
    console.line();
    console.line("Tests:");
    Table tests({{"INDEX"}, {"NAME"}, {"TAKES", 1}, {"WHAT IT DOES"}}, 2);
    for (int i = 0; i < static_cast<int>(config.tests.size()); ++i) {
        tests.row({{std::to_string(i)}, {config.testName(i)}, {orDash(config.limitText(i))}, {config.testTitle(i)}});
    }
    tests.print(console);
}

void printDeviceTable(Console& console, const std::vector<DeviceRecord>& devices)
{
    Table table({{"INDEX"}, {"ADDRESS"}, {"ID", 2}, {"TTY"}, {"SLOT", 1}, {"FIRMWARE", 3}, {"STATUS"}}, 0);
    for (const DeviceRecord& device : devices) {
        const Colour colour = device.status == "NORMAL" ? Colour::Plain : Colour::Yellow;
        table.row({{std::to_string(device.index)},
                   {device.shownAddress()},
                   {orDash(device.pciId)},
                   {orDash(device.tty)},
                   {markedSlot(device)},
                   {orDash(device.fru.firmwareRevision)},
                   {device.status, colour}});
    }
    table.print(console);
}

void printDeviceDetails(Console& console, const std::vector<DeviceRecord>& devices)
{
    bool first = true;
    for (const DeviceRecord& device : devices) {
        if (!first) {
            console.line();
        }
        first = false;
        console.line(console.paint("Modem " + std::to_string(device.index), Colour::Bold));
        field(console, "  ", "Device name", device.name);
        field(console, "  ", "Description", device.description);
        field(console, "  ", "Location", device.location);
        field(console, "  ", "PCI address", orDash(device.pciAddress.text()));
        field(console, "  ", "PCI ID (vendor:device)", orDash(device.pciId));
        field(console, "  ", "TTY", orDash(device.tty));
        field(console, "  ", "Slot", slotText(device));
        field(console, "  ", "Class", device.deviceClass);
        field(console, "  ", "Parent location", device.parentLocation);
        field(console, "  ", "Additional hardware info", orDash(device.additionalInfo));
        field(console, "  ", "Status", device.status);
        console.line("  FRU record:");
        field(console, "    ", "Manufacturer", device.fru.manufacturer);
        field(console, "    ", "Device name", device.fru.deviceName);
        field(console, "    ", "Description", device.fru.description);
        field(console, "    ", "Firmware revision", orDash(device.fru.firmwareRevision));
        field(console, "    ", "Serial number", device.fru.serialNumber);
        field(console, "    ", "Model number", device.fru.modelNumber);
        field(console, "    ", "Asset tag", device.fru.assetTag);
        field(console, "    ", "SKU number", device.fru.skuNumber);
    }
}

// "No modem found", and what the plug-in looked for as the manifest says.
std::string noModemText(const PackageConfig& config, const std::string& sysroot)
{
    const HardwareInfo& hardware = config.hardware;
    std::string text = "No modem found.";
    std::string sought;
    if (!hardware.pciId.empty()) {
        sought = "PCI functions with vendor:device " + hardware.pciId + " in " + sysroot + "/proc/bus/pci";
    }
    if (!hardware.ttys.empty()) {
        sought += (sought.empty() ? "" : ", and ") + std::string("the ttys ") + sysroot + hardware.ttys +
                  (hardware.driver.empty() ? "" : " of the driver " + hardware.driver);
    }
    if (!sought.empty()) {
        text += " Looked for " + sought + ".";
    }
    return text;
}

// What a person is told after "No modem found.": on the real machine (no
// --simulate, no --sysroot), how to try diaghost without a modem. Only on
// the terminal: the run's documents keep the finding alone.
std::string noModemHelp(const PackageConfig& config, const std::string& sysroot)
{
    std::string text = noModemText(config, sysroot);
    if (sysroot.empty()) {
        text += "\nTo try diaghost without a modem, run it on a simulated machine: diaghost --simulate run\n"
                "(diaghost --simulate=help lists the machines).";
    }
    return text;
}

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

// Asks the enumerator for the modems; Ctrl-C still ends the program while a
// silent tty holds the enumeration up. With a cleanup to run on the way out
// (a run's log location, a simulated machine's folder) the enumeration goes
// to a worker thread beside the main thread's wait for signals; with none
// (list on a machine's own root, nothing drawn yet) it runs on the main
// thread and the signal ends the program from its handler. Devices whose
// data the plug-in did not complete are left out.
bool enumerate(Session& session, Console& human, VirtualDeviceVector*& devices, std::vector<DeviceRecord>& records,
               std::vector<std::string>& slotNotes, bool onMainThread)
{
    std::string error;
    QuarnDiags::DeviceEnum::IDeviceEnumerator* enumerator = session.plugin.enumerator(error);
    if (enumerator == nullptr) {
        printError(error);
        return false;
    }
    const char* const interrupted = "Ctrl-C: stopping the search for modems.";
    const char* const stopped = "Stopping.";
    if (onMainThread) {
        // The lines as human.line() would print them.
        const auto shown = [&human](const char* text) {
            std::string lines;
            for (const std::string& part : wrapWords(text, human.width(), 2, false)) {
                lines += part + "\n";
            }
            return lines;
        };
        runEndingOnSignal([&] { devices = enumerator->getDeviceVector("", 0); }, fileno(human.stream()),
                          shown(interrupted), shown(stopped));
    } else {
        Wakeup wakeup;
        watch([&] { devices = enumerator->getDeviceVector("", 0); }, [] { return -1; },
              [&](int signal) {
                  human.line(signal == SIGINT ? interrupted : stopped);
                  quitNow(EXIT_SIGNAL_BASE + signal);
              },
              wakeup);
    }
    if (devices == nullptr) {
        printError("the plug-in returned no device list");
        return false;
    }
    for (std::size_t i = 0; i < devices->size(); ++i) {
        const QuarnDiags::DeviceEnum::VirtualDevice& device = (*devices)[i];
        if (device && device->isDataValid()) {
            records.push_back(describeDevice(*device.getDevice(), static_cast<int>(i)));
            records.back().pciId = records.back().pciAddress.readId(session.sysroot);
        }
    }
    // A 64-bit kernel's /proc/kcore leaves out the firmware's area, where
    // the plug-in looks for slots: there diaghost looks itself.
    slotNotes = findMissingSlots(records, session.sysroot);
    return true;
}

// Where the plug-in's log files ended up, as lines for people.
std::string describeLogs(const Session& session)
{
    std::string found;
    for (const std::string& path : session.plugin.logFiles()) {
        found += "\n  " + path;
    }
    if (found.empty()) {
        return "No log files were written: the log folder " + session.plugin.logDir() +
               " is missing or not writable.";
    }
    return "Log files:" + found;
}

// A simulated run's logs leave its temporary folder before the machine
// takes that away: stored, and named, in the one folder that holds the last
// simulated run's logs. Where they cannot be stored they go with the
// machine, said in one line; the run's exit status stays as it is.
void keepSimulatedLogs(const Session& session, Console& human)
{
    std::string folder;
    std::vector<std::string> stored;
    std::string error;
    if (!storeSimulatedLogs(session, folder, stored, error)) {
        printError("cannot keep the simulated run's log files" + (folder.empty() ? "" : " in " + folder) + " (" +
                   error + "); they are removed with the simulated machine");
        return;
    }
    std::string lines = stored.empty() ? "No log files were written." : "Log files (of the last simulated run):";
    for (const std::string& path : stored) {
        lines += "\n  " + path;
    }
    human.line(lines);
}

void printSimulation(Session& session, Console& human)
{
    if (session.machine) {
        human.line("Simulated machine '" + session.options.profile +
                   "': " + modemsim::MachinePlan::find(session.options.profile)->summary);
    }
}

// The JUnit report and the metrics first, then the JSON document (--json-file,
// --json), so that the status it gives is diaghost's: context.exitStatus, or
// EXIT_CANTCREAT when a file (every one is tried) could not be written. The
// page is rendered from the very document --json-file holds.
int writeReports(const Session& session, const PackageIdentity& package, const std::vector<DeviceRecord>& devices,
                 ReportContext& context)
{
    context.finished = utcNow();
    const Options& options = session.options;
    const auto write = [&context](const char* option, const std::string& path,
                                  const std::function<std::string()>& content) {
        std::string error;
        if (!path.empty() && !writeFileAtomically(path, content(), error)) {
            printError(std::string(option) + " " + path + ": " + error);
            context.exitStatus = EXIT_CANTCREAT;
        }
    };
    write("--junit", options.junit, [&] { return junitReport(package, devices, session.config, context); });
    write("--metrics", options.metrics,
          [&] { return metricsReport(devices, context.modemsFound, std::time(nullptr), session.config); });
    const std::string document = jsonReport(package, devices, session.config, context);
    write("--json-file", options.jsonFile, [&] { return document; });
    if (!options.html.empty()) {
        std::string page;
        std::string error;
        if (!htmlReport(document, page, error)) {
            printError("--html " + options.html + ": the run's own document cannot be rendered: " + error);
            context.exitStatus = EXIT_SOFTWARE;
        } else {
            write("--html", options.html, [&page] { return page; });
        }
    }
    if (options.json) {
        printOutput(jsonReport(package, devices, session.config, context));
    }
    return context.exitStatus;
}

// 0 only when every selected modem ran every selected test and passed it: a
// modem not tested (no tty, a locked port, no test supports it), a test not
// run or aborted, and a run cut short have not shown the modems to be good.
int statusOf(const std::vector<DeviceRecord>& devices, bool interrupted)
{
    const Tally tally(devices);
    const bool unusual = interrupted || tally.untested > 0 ||
                         tally[Outcome::Unusual] + tally[Outcome::Aborted] + tally[Outcome::NotRun] > 0;
    return tally[Outcome::Failed] > 0 ? EXIT_FAILED : unusual ? EXIT_UNUSUAL : EXIT_ALL_PASSED;
}

// Before the search for modems opens any port: a port closed a moment ago
// (by a run that just ended) is waited out, as between tests. False when
// the driver is still busy after that: another program holds it.
bool driverFreeAtStart(Session& session, Console& human)
{
    const auto pause = [&human](int ms) {
        if (const int signal = waitForSignal(ms)) {
            human.line(signal == SIGINT ? "Ctrl-C: stopping." : "Stopping.");
            quitNow(EXIT_SIGNAL_BASE + signal);
        }
        return true;
    };
    double waitedMs = 0.0;
    const bool free = waitForDriver([&session] { return session.plugin.modemsInUse(); }, pause, waitedMs);
    if (session.options.verbose && free && waitedMs > 0.0) {
        human.line("  Waited " + std::to_string(static_cast<int>(waitedMs + 0.5)) +
                   " ms for the modem driver to release a port closed before the run.");
    }
    return free;
}

// The whole of a run document: a file, or a pipe ("-" for standard input,
// or <(diaghost run --json)) read until it ends, at most
// kLargestRunDocument bytes. A signal ends the program while a pipe is
// silent, as it ends a run.
bool readInput(const std::string& path, std::string& text, std::string& error)
{
    const int fd = path == "-" ? dup(STDIN_FILENO) : open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = std::string("cannot read it: ") + std::strerror(errno);
        return false;
    }
    Cleanup closeIt([fd] { close(fd); });
    struct stat info {};
    if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        error = "a folder, not a run document";
        return false;
    }
    // Reads block in poll, beside the signals: a FIFO opened without blocking
    // reads as ended before its writer comes, so it is set to block again.
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    char buffer[65536];
    for (;;) {
        if (const int signal = waitForSignal(-1, fd)) {
            quitNow(EXIT_SIGNAL_BASE + signal);
        }
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        if (got < 0) {
            error = std::string("cannot read it: ") + std::strerror(errno);
            return false;
        }
        if (got == 0) {
            return true;
        }
        if (text.size() + static_cast<std::size_t>(got) > kLargestRunDocument) {
            error = "larger than " + std::to_string(kLargestRunDocument >> 20) + " MiB: no run document";
            return false;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
}

}  // namespace

int commandReport(const Options& options)
{
    // The page's file first, as a run checks its report files before it starts.
    std::string error;
    if (!canWriteFile(options.html, error)) {
        printError("--html " + options.html + ": " + error);
        return EXIT_CANTCREAT;
    }
    std::string document;
    std::string page;
    const std::string input = options.runDocument == "-" ? std::string("standard input") : options.runDocument;
    if (!readInput(options.runDocument, document, error) || !htmlReport(document, page, error)) {
        printError(input + ": " + error);
        return EXIT_USAGE;
    }
    if (!writeFileAtomically(options.html, page, error)) {
        printError("--html " + options.html + ": " + error);
        return EXIT_CANTCREAT;
    }
    return EXIT_ALL_PASSED;
}

int commandInfo(Session& session)
{
    IDiagnostics* diagnostics = diagnosticsOf(session);
    if (diagnostics == nullptr) {
        return EXIT_NO_MODEM;
    }
    if (session.options.json) {
        printOutput(jsonInfo(identityOf(*diagnostics), session.config, session.plugin.logDir()));
    } else {
        Console out(stdout);
        // A simulated machine's own log folder goes with it: named is where
        // a simulated run's logs stay.
        const std::string kept = simulatedLogsFolder();
        printInfo(out, identityOf(*diagnostics), session.config,
                  !session.machine ? session.plugin.logDir()
                  : kept.empty()   ? std::string("none kept (no HOME or XDG_STATE_HOME)")
                                   : kept + " (a simulated run's logs)");
    }
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

    // The diagnostic only names the package, which the JSON document alone
    // shows; the table and the descriptions need the enumerator only.
    IDiagnostics* diagnostics = options.json ? diagnosticsOf(session) : nullptr;
    VirtualDeviceVector* devices = nullptr;
    std::vector<DeviceRecord> found;
    std::vector<std::string> slotNotes;
    if ((options.json && diagnostics == nullptr) ||
        !enumerate(session, human, devices, found, slotNotes, !session.machine)) {
        return EXIT_NO_MODEM;
    }
    // --device keeps one modem; one that is not there is a usage error, as for run.
    std::vector<DeviceRecord> records;
    std::copy_if(found.begin(), found.end(), std::back_inserter(records),
                 [&options](const DeviceRecord& record) { return options.selects(record); });
    if (!found.empty() && records.empty()) {
        printError("no modem " + options.device + " (diaghost list without --device shows the modems found)");
        return EXIT_USAGE;
    }

    if (options.json) {
        ReportContext context;
        context.withTests = false;
        context.started = utcNow();
        context.machine = thisMachine(options.profile);
        printOutput(jsonReport(identityOf(*diagnostics), records, session.config, context));
    } else if (options.verbose) {
        printDeviceDetails(human, records);
    } else if (!records.empty()) {
        printDeviceTable(human, records);
    }
    // The slot notes under the table, or after a blank line under the descriptions.
    for (std::size_t i = 0; !options.json && i < slotNotes.size(); ++i) {
        human.line((options.verbose && i == 0 ? "\n" : "") + slotNotes[i]);
    }
    if (found.empty()) {
        printSimulation(session, human);
        human.line(noModemHelp(session.config, session.sysroot));
    }
    return found.empty() ? EXIT_NO_MODEM : EXIT_ALL_PASSED;
}

int commandRun(Session& session)
{
    const Options& options = session.options;
    Console human(options.json ? stderr : stdout);
    ReportContext report;
    report.started = utcNow();
    report.machine = thisMachine(options.profile);
    // Cleanups run newest first: the terminal is restored before the log
    // location is printed, and a simulated run's logs are stored before
    // the machine's cleanup removes its folder, on a normal end and on a
    // forced one alike. Those of a run that never got under way are not.
    Cleanup tellLogs([&session, &human] {
        if (!session.machine) {
            human.line(describeLogs(session));
        } else if (session.keepLogs) {
            keepSimulatedLogs(session, human);
        }
    });
    Cleanup restoreTerminal([&human] { human.restore(); });

    IDiagnostics* diagnostics = diagnosticsOf(session);
    if (diagnostics == nullptr) {
        return EXIT_NO_MODEM;
    }
    const PackageIdentity package = identityOf(*diagnostics);
    if (!options.quiet) {
        human.line(human.paint(printable(package.name + " " + package.version + " - " + package.description),
                               Colour::Bold));
        printSimulation(session, human);
    }
    const bool driverFree = driverFreeAtStart(session, human);

    VirtualDeviceVector* devices = nullptr;
    std::vector<DeviceRecord> found;
    std::vector<std::string> slotNotes;
    if (!enumerate(session, human, devices, found, slotNotes, false)) {
        return EXIT_NO_MODEM;
    }
    std::vector<DeviceRecord> selected;
    std::copy_if(found.begin(), found.end(), std::back_inserter(selected),
                 [&options](const DeviceRecord& record) { return options.selects(record); });
    if (found.empty()) {
        session.keepLogs = true;
        report.noModemReason = noModemText(session.config, session.sysroot);
        human.line(noModemHelp(session.config, session.sysroot));
        report.exitStatus = EXIT_NO_MODEM;
        return writeReports(session, package, selected, report);
    }
    if (selected.empty()) {
        printError("no modem " + options.device + " (diaghost list shows the modems found)");
        return EXIT_USAGE;
    }
    session.keepLogs = true;
    if (!options.quiet) {
        human.line("Found " + std::to_string(found.size()) + (found.size() == 1 ? " modem." : " modems."));
    }

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
    if (driverFree) {
        plan.driverInUse = [&session] { return session.plugin.modemsInUse(); };
    }
    plan.lockFolder = session.sysroot + "/run/lock";
    plan.diagnosticLog = session.plugin.diagnosticLog();

    RunView view(human, session.config, options.verbose, options.quiet);
    if (!driverFree) {
        view.detail("The modem driver was in use before the run began (and for " + std::to_string(kReleaseWaitMs) +
                    " ms after): no test waits for it.");
    }
    // run --repeat N: the same plan N rounds in a row, into the same records,
    // each test and skipped test marked with its round. Ctrl-C ends the
    // round it comes in and starts no other; with --halt-on-error the
    // first failure does.
    report.roundsAsked = static_cast<int>(std::max(1u, options.repeat));
    report.roundsRun = 0;
    for (int round = 1; round <= report.roundsAsked; ++round) {
        if (report.roundsAsked > 1) {
            view.round(round, report.roundsAsked);
        }
        std::vector<std::pair<std::size_t, std::size_t>> before;
        for (const DeviceRecord& record : selected) {
            before.emplace_back(record.tests.size(), record.skipped.size());
        }
        report.interrupted = runPlan(*diagnostics, plan, session.config, view);
        ++report.roundsRun;
        bool failed = false;
        for (std::size_t d = 0; d < selected.size(); ++d) {
            DeviceRecord& record = selected[d];
            for (std::size_t t = before[d].first; t < record.tests.size(); ++t) {
                record.tests[t].round = round;
                failed = failed || outcomeOf(record.tests[t]) == Outcome::Failed;
            }
            for (std::size_t t = before[d].second; t < record.skipped.size(); ++t) {
                record.skipped[t].round = round;
            }
        }
        if (report.interrupted || (options.haltOnError && failed)) {
            break;
        }
    }
    view.summary(selected, report.interrupted, report.roundsRun, report.roundsAsked);

    report.modemsFound = found.size();
    report.exitStatus = statusOf(selected, report.interrupted);
    return writeReports(session, package, selected, report);
}

}  // namespace diaghost
