// Reports.cpp - the JSON documents of the info, list and run commands, the JUnit XML of a run (for the CI
// dashboards of burn-in labs) and its Prometheus text exposition.
#include "Reports.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <iterator>
#include <nlohmann/json.hpp>
#include <numeric>
#include <sstream>
#include <sys/utsname.h>

#include "Text.h"

namespace diaghost {

namespace {

// A time in seconds as the reports write it, to the millisecond.
std::string secondsText(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

using json = nlohmann::ordered_json;  // keys in the documented order, for people reading the document

json textOrNull(const std::string& text)
{
    return text.empty() ? json(nullptr) : json(text);
}

json header()
{
    return {{"schema_version", kJsonSchemaVersion}, {"tool", {{"name", "diaghost"}, {"version", DIAGHOST_VERSION}}}};
}

json packageOf(const PackageIdentity& package)
{
    return {{"name", textOrNull(package.name)},
            {"version", textOrNull(package.version)},
            {"description", textOrNull(package.description)}};
}

json testOf(const TestRecord& test, const PackageConfig& config)
{
    json events = json::array();
    for (const EventRecord& event : test.events) {
        events.push_back({{"code", config.codeName(event.code)},
                          {"type", QuarnDiags::Diag::eventTypeName(event.type)},
                          {"text", textOrNull(config.codeText(event.code))}});
    }
    const Outcome outcome = outcomeOf(test);
    return {{"index", test.index},
            {"name", textOrNull(test.name)},
            {"round", test.round},
            {"verdict", describe(outcome).label},
            {"plugin_verdict", QuarnDiags::Diag::testResultName(test.verdict)},
            {"code", config.codeName(test.code)},
            {"type", QuarnDiags::Diag::eventTypeName(test.type)},
            {"progress", progressOf(test)},
            {"plugin_progress", test.progress},
            {"events", events},
            {"outcome", describe(outcome).name},
            {"text", textOrNull(config.codeText(test.code))},
            {"duration_ms", static_cast<std::int64_t>(std::llround(test.seconds * 1000.0))},
            {"log", test.log}};
}

json machineOf(const MachineInfo& machine)
{
    return {{"hostname", textOrNull(machine.hostname)},
            {"kernel", textOrNull(machine.kernel)},
            {"kernel_version", textOrNull(machine.kernelVersion)},
            {"architecture", textOrNull(machine.architecture)},
            {"simulated", textOrNull(machine.simulated)}};
}

// What a script checks first: the outcomes counted (a selected test that did
// not run is one "not-run"), the modems, and the status diaghost ends with.
json summaryOf(const std::vector<DeviceRecord>& devices, const ReportContext& context)
{
    const Tally tally(devices);
    json outcomes = json::object();
    for (const OutcomeInfo& outcome : kOutcomes) {
        outcomes[outcome.name] = tally.outcomes[&outcome - kOutcomes];
    }
    return {{"outcomes", outcomes},
            {"modems_found", context.modemsFound},
            {"modems_tested", devices.size() - tally.untested},
            {"modems_not_tested", tally.untested},
            {"rounds", context.roundsAsked},
            {"rounds_run", context.roundsRun},
            {"exit_status", context.exitStatus}};
}

// Texts come from the plug-in and the modem; bytes that are not UTF-8 are
// replaced rather than ending the run with an exception.
std::string dump(const json& document)
{
    return document.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

}  // namespace

std::string utcNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm parts {};
    char text[32];
    if (gmtime_r(&now, &parts) == nullptr || std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts) == 0) {
        return std::string();
    }
    return text;
}

MachineInfo thisMachine(const std::string& simulated)
{
    MachineInfo machine;
    machine.simulated = simulated;
    struct utsname names {};
    if (uname(&names) == 0) {
        machine.hostname = names.nodename;
        machine.kernel = std::string(names.sysname) + " " + names.release;
        machine.kernelVersion = names.version;
        machine.architecture = names.machine;
    }
    return machine;
}

std::string jsonReport(const PackageIdentity& package, const std::vector<DeviceRecord>& devices,
                       const PackageConfig& config, const ReportContext& context)
{
    json document = header();
    document["started"] = textOrNull(context.started);
    if (context.withTests) {
        document["finished"] = textOrNull(context.finished);
    }
    document["interrupted"] = context.interrupted;
    document["machine"] = machineOf(context.machine);
    if (context.withTests) {
        // What the search for modems looked for when it found none.
        document["no_modem"] = textOrNull(context.noModemReason);
        document["summary"] = summaryOf(devices, context);
    }
    document["package"] = packageOf(package);
    document["devices"] = json::array();
    for (const DeviceRecord& device : devices) {
        json entry = {
            {"index", device.index},
            {"location", textOrNull(device.location)},
            {"tty", textOrNull(device.tty)},
            {"slot", device.slot},
            {"slot_source", textOrNull(describe(device.slotSource).name)},
            {"status", textOrNull(device.status)},
            {"fru",
             {{"manufacturer", textOrNull(device.fru.manufacturer)},
              {"device_name", textOrNull(device.fru.deviceName)},
              {"description", textOrNull(device.fru.description)},
              {"firmware_revision", textOrNull(device.fru.firmwareRevision)},
              {"serial_number", textOrNull(device.fru.serialNumber)},
              {"model_number", textOrNull(device.fru.modelNumber)},
              {"asset_tag", textOrNull(device.fru.assetTag)},
              {"sku_number", textOrNull(device.fru.skuNumber)}}},
            {"pci_address", textOrNull(device.pciAddress.text())},
            {"pci_id", textOrNull(device.pciId)},
        };
        if (context.withTests) {
            json tests = json::array();
            for (const TestRecord& test : device.tests) {
                tests.push_back(testOf(test, config));
            }
            entry["tests"] = tests;
            json skipped = json::array();
            for (const SkippedTest& test : device.skipped) {
                skipped.push_back({{"name", textOrNull(test.name)},
                                   {"round", test.round},
                                   {"verdict", describe(Outcome::NotRun).label},
                                   {"reason", textOrNull(test.reason)},
                                   {"outcome", describe(Outcome::NotRun).name}});
            }
            entry["skipped"] = skipped;
            // Why no test ran on the modem; null for a modem that was tested.
            entry["not_tested"] = device.tests.empty() ? json(device.notTestedReason()) : json(nullptr);
        }
        document["devices"].push_back(entry);
    }
    return dump(document);
}

std::string jsonInfo(const PackageIdentity& package, const PackageConfig& config, const std::string& logDir)
{
    json document = header();
    document["package"] = packageOf(package);
    document["manifest"] = config.path;
    document["plugin"] = config.libraryPath();
    document["log_folder"] = textOrNull(logDir);
    json tests = json::array();
    for (std::size_t i = 0; i < config.tests.size(); ++i) {
        const TestInfo& test = config.tests[i];
        tests.push_back({{"index", i},
                         {"name", test.name},
                         {"title", textOrNull(test.title)},
                         {"max_seconds", test.maxSeconds > 0.0 ? json(test.maxSeconds) : json(nullptr)}});
    }
    document["tests"] = tests;
    document["looks_for"] = {{"pci_id", textOrNull(config.hardware.pciId)},
                             {"driver", textOrNull(config.hardware.driver)},
                             {"ttys", textOrNull(config.hardware.ttys)}};
    return dump(document);
}

namespace {

// The five XML special characters and the carriage return escaped, in an
// attribute tab and line feed too. The report is declared UTF-8, and XML 1.0
// allows neither malformed characters, U+FFFE, U+FFFF nor control characters
// other than tab and line ends: each of their bytes becomes "?".
std::string xmlEscape(const std::string& text, bool inAttribute = false)
{
    return rewriteUtf8(
        text,
        [inAttribute](unsigned long codePoint, const std::string& bytes) {
            switch (codePoint) {
            case '&': return std::string("&amp;");
            case '<': return std::string("&lt;");
            case '>': return std::string("&gt;");
            case '"': return std::string("&quot;");
            case '\'': return std::string("&apos;");
            // A parser reads a literal carriage return as a line feed, and
            // in an attribute a literal tab or line feed as a blank.
            case '\r': return std::string("&#13;");
            case '\t': return inAttribute ? std::string("&#9;") : bytes;
            case '\n': return inAttribute ? std::string("&#10;") : bytes;
            }
            const bool allowed = codePoint >= 0x20 && codePoint != 0xFFFE && codePoint != 0xFFFF;
            return allowed ? bytes : std::string(bytes.size(), '?');
        },
        [](unsigned char) { return "?"; });
}

std::string attribute(const char* name, const std::string& value)
{
    return std::string(" ") + name + "=\"" + xmlEscape(value, true) + "\"";
}

std::string countAttributes(const Tally& tally)
{
    const std::size_t tests = std::accumulate(std::begin(tally.outcomes), std::end(tally.outcomes), std::size_t{0});
    return attribute("tests", std::to_string(tests)) + attribute("failures", std::to_string(tally[Outcome::Failed])) +
           attribute("errors", std::to_string(tally[Outcome::Unusual])) +
           attribute("skipped", std::to_string(tally[Outcome::Aborted] + tally[Outcome::NotRun])) +
           attribute("time", secondsText(tally.seconds));
}

std::string testCase(const std::string& name, const std::string& className, const std::string& time,
                     const std::string& body)
{
    return "    <testcase" + attribute("name", name) + attribute("classname", className) + attribute("time", time) +
           ">\n" + body + "    </testcase>\n";
}

std::string property(const char* name, const std::string& value)
{
    return "      <property" + attribute("name", name) + attribute("value", value) + "/>\n";
}

}  // namespace

std::string junitReport(const PackageIdentity& package, const std::vector<DeviceRecord>& devices,
                        const PackageConfig& config, const ReportContext& context)
{
    // Over several rounds each case names its round, so that the names stay apart.
    const auto caseName = [&context](const std::string& name, int round) {
        return context.roundsAsked > 1 ? name + " (round " + std::to_string(round) + ")" : name;
    };
    std::string suites;
    Tally all(devices);
    for (const DeviceRecord& device : devices) {
        std::string cases;
        const std::string className = "diaghost.modem" + std::to_string(device.index);
        for (const TestRecord& test : device.tests) {
            const Outcome outcome = outcomeOf(test);
            const std::string code = config.codeName(test.code);
            const std::string message = attribute("message", code + ": " + config.codeText(test.code));
            std::string body;
            if (outcome == Outcome::Aborted) {
                body = "      <skipped" + message + "/>\n";
            } else if (outcome != Outcome::Passed) {
                body = std::string("      <") + (outcome == Outcome::Failed ? "failure" : "error") + message +
                       attribute("type", code) + "/>\n";
            }
            std::string out;
            for (const EventRecord& event : test.events) {
                out += std::string(QuarnDiags::Diag::eventTypeName(event.type)) + " " + config.codeName(event.code) +
                       ": " + config.codeText(event.code) + "\n";
            }
            out += std::string("result ") + describe(outcome).label + " " + code + ", progress " +
                   std::to_string(progressOf(test)) + "% (the plug-in's verdict " +
                   QuarnDiags::Diag::testResultName(test.verdict) + ", progress " + std::to_string(test.progress) +
                   "%)\n";
            cases += testCase(caseName(test.name, test.round), className, secondsText(test.seconds),
                              body + "      <system-out>" + xmlEscape(out) + "</system-out>\n");
        }
        for (const SkippedTest& test : device.skipped) {
            cases += testCase(caseName(test.name, test.round), className, "0",
                              "      <skipped" + attribute("message", test.reason) + "/>\n");
        }
        Tally counts;
        counts.add(device);
        const std::string name =
            "modem " + std::to_string(device.index) + " (" + (device.tty.empty() ? "no tty" : device.tty) + ", " +
            device.location + ")";
        suites += "  <testsuite" + attribute("name", name) + countAttributes(counts) + ">\n" +
                  "    <properties>\n" + property("location", device.location) +
                  property("slot", std::to_string(device.slot)) +
                  property("slot_source", describe(device.slotSource).name) +
                  property("status", device.status) +
                  property("firmware_revision", device.fru.firmwareRevision) + "    </properties>\n" + cases +
                  "  </testsuite>\n";
    }

    if (devices.empty() && !context.noModemReason.empty()) {
        // A CI job that found no modem must not look green: one error.
        all.outcomes[static_cast<int>(Outcome::Unusual)] = 1;
        suites += "  <testsuite" + attribute("name", "modems") + countAttributes(all) + ">\n" +
                  testCase("find modems", "diaghost", secondsText(0.0),
                           "      <error" + attribute("message", context.noModemReason) +
                               attribute("type", "NO_MODEM") + "/>\n") +
                  "  </testsuite>\n";
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites" +
           attribute("name", package.name + " " + package.version) + countAttributes(all) + ">\n" + suites +
           "</testsuites>\n";
}

namespace {

void metricHeader(std::ostringstream& out, const char* name, const char* help)
{
    out << "# HELP " << name << ' ' << help << "\n# TYPE " << name << " gauge\n";
}

// A label, its value as the text format wants it: backslash, double quote
// and line feed escaped, and bytes that are not UTF-8 replaced by U+FFFD.
std::string label(const char* name, const std::string& value)
{
    const std::string escaped = rewriteUtf8(
        value,
        [](unsigned long codePoint, const std::string& bytes) {
            return codePoint == '\\' ? "\\\\" : codePoint == '"' ? "\\\"" : codePoint == '\n' ? "\\n" : bytes;
        },
        [](unsigned char) { return "\xEF\xBF\xBD"; });
    return std::string(name) + "=\"" + escaped + "\"";
}

std::string modemLabels(const DeviceRecord& device)
{
    return label("modem", std::to_string(device.index)) + "," + label("location", device.location) + "," +
           label("tty", device.tty);
}

std::string testLabels(const DeviceRecord& device, const std::string& test)
{
    return "{" + modemLabels(device) + "," + label("test", test);
}

// A test of a modem over all rounds: its worst outcome, and the first
// round that had it among those that ran (none when it never ran).
struct Worst {
    std::string name;
    Outcome outcome = Outcome::Passed;
    const TestRecord* record = nullptr;
};

int severity(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Passed: return 0;
    case Outcome::NotRun: return 1;
    case Outcome::Aborted: return 2;
    case Outcome::Unusual: return 3;
    case Outcome::Failed: return 4;
    }
    return 4;
}

std::vector<Worst> worstRounds(const DeviceRecord& device)
{
    std::vector<Worst> tests;
    const auto entry = [&tests](const std::string& name) -> Worst& {
        const auto found =
            std::find_if(tests.begin(), tests.end(), [&name](const Worst& test) { return test.name == name; });
        if (found != tests.end()) {
            return *found;
        }
        tests.push_back(Worst{name, Outcome::Passed, nullptr});
        return tests.back();
    };
    // The tests that ran first, in run order, so that one that ran gives its record.
    for (const TestRecord& test : device.tests) {
        Worst& worst = entry(test.name);
        const Outcome outcome = outcomeOf(test);
        if (worst.record == nullptr || severity(outcome) > severity(worst.outcome)) {
            worst.outcome = outcome;
            worst.record = &test;
        }
    }
    for (const SkippedTest& test : device.skipped) {
        Worst& worst = entry(test.name);
        if (worst.record == nullptr || severity(Outcome::NotRun) > severity(worst.outcome)) {
            worst.outcome = Outcome::NotRun;
            worst.record = nullptr;
        }
    }
    return tests;
}

}  // namespace

std::string metricsReport(const std::vector<DeviceRecord>& devices, std::size_t modemsFound, std::int64_t finishedAt,
                          const PackageConfig& config)
{
    std::ostringstream out;
    metricHeader(out, "modemdiag_modems_found", "Modems the last run found.");
    out << "modemdiag_modems_found " << modemsFound << '\n';
    metricHeader(out, "modemdiag_run_timestamp_seconds", "When the last run ended, in seconds since the epoch.");
    out << "modemdiag_run_timestamp_seconds " << finishedAt << '\n';

    metricHeader(out, "modemdiag_modem_info",
           "Each modem the last run tested: its status, firmware revision, slot and where the slot came from "
           "(kcore, firmware or sysfs; empty when not known).");
    for (const DeviceRecord& device : devices) {
        out << "modemdiag_modem_info{" << modemLabels(device) << "," << label("status", device.status) << ","
            << label("firmware", device.fru.firmwareRevision) << "," << label("slot", std::to_string(device.slot))
            << "," << label("slot_source", describe(device.slotSource).name) << "} 1\n";
    }

    // Only when it has a series: most runs find no lock.
    const auto locked = [](const DeviceRecord& device) { return device.lockedByPid != 0; };
    if (std::any_of(devices.begin(), devices.end(), locked)) {
        metricHeader(out, "modemdiag_modem_locked",
               "Modems not tested because another program held the port's lock; holder names that program "
               "(its PID, new each time, is left out).");
    }
    for (const DeviceRecord& device : devices) {
        if (locked(device)) {
            out << "modemdiag_modem_locked{" << modemLabels(device) << "," << label("holder", device.lockedByName)
                << "} 1\n";
        }
    }

    // Each test once per modem, however many rounds ran: the worst of its rounds.
    std::vector<std::vector<Worst>> worst;
    for (const DeviceRecord& device : devices) {
        worst.push_back(worstRounds(device));
    }
    metricHeader(out, "modemdiag_test_outcome",
           "Outcome of each test's last run: 1 for the outcome it had, 0 for the others.");
    for (std::size_t d = 0; d < devices.size(); ++d) {
        for (const Worst& test : worst[d]) {
            for (const OutcomeInfo& outcome : kOutcomes) {
                out << "modemdiag_test_outcome" << testLabels(devices[d], test.name) << ","
                    << label("outcome", outcome.name) << "} " << (&outcome == &describe(test.outcome) ? 1 : 0)
                    << '\n';
            }
        }
    }

    // One series per test that ran: the labels after the test's own, and the value.
    const auto perTest = [&](const char* name, const char* help, const auto& series) {
        metricHeader(out, name, help);
        for (std::size_t d = 0; d < devices.size(); ++d) {
            for (const Worst& test : worst[d]) {
                if (test.record != nullptr) {
                    out << name << testLabels(devices[d], test.name) << series(*test.record) << '\n';
                }
            }
        }
    };
    perTest("modemdiag_test_code", "Message code each test ended with; the label code names it.",
            [&config](const TestRecord& test) {
                return "," + label("code", config.codeName(test.code)) + "} " + std::to_string(test.code);
            });
    perTest("modemdiag_test_duration_seconds", "How long each test ran.",
            [](const TestRecord& test) { return "} " + secondsText(test.seconds); });
    perTest("modemdiag_test_last_run_timestamp_seconds",
            "When each test last ran (the end of its run), in seconds since the epoch.",
            [finishedAt](const TestRecord&) { return "} " + std::to_string(finishedAt); });
    return out.str();
}

}  // namespace diaghost
