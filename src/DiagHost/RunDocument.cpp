// RunDocument.cpp - reads a run's JSON document into its record; what is not a run's is refused with its reason.
#include "RunDocument.h"

#include <nlohmann/json.hpp>

#include "Text.h"

namespace diaghost {

namespace {

using json = nlohmann::json;

// Why the document is not a run's; thrown while reading it, caught at the top.
struct BadDocument {
    std::string reason;
};

[[noreturn]] void refuse(const std::string& reason)
{
    throw BadDocument{reason};
}

std::string pathOf(const std::string& path, const char* key)
{
    return path.empty() ? key : path + "." + key;
}

// A member of an object; null when it is missing.
const json& member(const json& object, const char* key)
{
    static const json missing;
    const auto found = object.find(key);
    return found == object.end() ? missing : *found;
}

const json& required(const json& object, const char* key, const std::string& path)
{
    const json& value = member(object, key);
    if (value.is_null()) {
        refuse(pathOf(path, key) + " is missing");
    }
    return value;
}

// A text: "" for null or missing, unless required.
std::string textOf(const json& object, const char* key, const std::string& path, bool needed = false)
{
    const json& value = needed ? required(object, key, path) : member(object, key);
    if (value.is_null()) {
        return std::string();
    }
    if (!value.is_string()) {
        refuse(pathOf(path, key) + " is not a text");
    }
    return value.get<std::string>();
}

long long numberOf(const json& object, const char* key, const std::string& path, bool needed = false,
                   long long absent = -1)
{
    const json& value = needed ? required(object, key, path) : member(object, key);
    if (value.is_null()) {
        return absent;
    }
    if (!value.is_number_integer()) {
        refuse(pathOf(path, key) + " is not a whole number");
    }
    return value.get<long long>();
}

const json& arrayOf(const json& object, const char* key, const std::string& path, bool needed = false)
{
    static const json empty = json::array();
    const json& value = needed ? required(object, key, path) : member(object, key);
    if (value.is_null()) {
        return empty;
    }
    if (!value.is_array()) {
        refuse(pathOf(path, key) + " is not a list");
    }
    return value;
}

void needObject(const json& value, const std::string& path)
{
    if (!value.is_object()) {
        refuse(path + " is not an object");
    }
}

std::string item(const std::string& path, std::size_t index)
{
    return path + "[" + std::to_string(index) + "]";
}

// "passed" ... "not-run" as the document names them.
bool outcomeNamed(const std::string& name, Outcome& outcome)
{
    for (const OutcomeInfo& info : kOutcomes) {
        if (name == info.name) {
            outcome = static_cast<Outcome>(&info - kOutcomes);
            return true;
        }
    }
    return false;
}

DocumentTest readTest(const json& entry, const std::string& path, long long schema)
{
    needObject(entry, path);
    DocumentTest test;
    test.name = textOf(entry, "name", path);
    test.round = numberOf(entry, "round", path, false, 1);
    // Version 3 named the plug-in's verdict "verdict"; 4 names diaghost's so.
    test.pluginVerdict = textOf(entry, schema == 3 ? "verdict" : "plugin_verdict", path);
    test.code = textOf(entry, "code", path);
    test.text = textOf(entry, "text", path);
    test.progress = numberOf(entry, "progress", path);
    test.durationMs = numberOf(entry, "duration_ms", path);
    const std::string outcome = textOf(entry, "outcome", path);
    if (outcome.empty()) {
        // As diaghost classifies a result: any verdict it does not name is a failure.
        test.outcome = test.pluginVerdict == "PASSED"           ? Outcome::Passed
                       : test.pluginVerdict == "UNUSUAL_STATUS" ? Outcome::Unusual
                                                                : Outcome::Failed;
    } else if (!outcomeNamed(outcome, test.outcome) || test.outcome == Outcome::NotRun) {
        refuse(pathOf(path, "outcome") + " is not the outcome of a test that ran: '" + printable(outcome) + "'");
    }
    // A stopped test is never shown as a pass, whatever wrote the document.
    if (test.pluginVerdict == "PASSED" && test.code == "TEST_ABORTED") {
        test.outcome = Outcome::Aborted;
    }
    // Version 3 gave the plug-in's last figure: a test that ran to its end is done.
    if (schema == 3 && test.progress >= 0 && test.outcome != Outcome::Aborted) {
        test.progress = 100;
    }
    const json& events = arrayOf(entry, "events", path);
    for (std::size_t i = 0; i < events.size(); ++i) {
        const std::string at = item(pathOf(path, "events"), i);
        needObject(events[i], at);
        test.events.push_back({textOf(events[i], "type", at), textOf(events[i], "code", at), textOf(events[i], "text", at)});
    }
    test.logKnown = !member(entry, "log").is_null();
    const json& log = arrayOf(entry, "log", path);
    for (std::size_t i = 0; i < log.size(); ++i) {
        if (!log[i].is_string()) {
            refuse(item(pathOf(path, "log"), i) + " is not a text");
        }
        test.log.push_back(log[i].get<std::string>());
    }
    return test;
}

DocumentDevice readDevice(const json& entry, const std::string& path, long long schema)
{
    needObject(entry, path);
    DocumentDevice device;
    device.index = numberOf(entry, "index", path, true);
    device.location = textOf(entry, "location", path);
    device.tty = textOf(entry, "tty", path);
    device.slot = numberOf(entry, "slot", path, false, 0);
    device.slotSource = textOf(entry, "slot_source", path);
    device.status = textOf(entry, "status", path);
    device.pciAddress = textOf(entry, "pci_address", path);
    device.pciId = textOf(entry, "pci_id", path);
    device.notTested = textOf(entry, "not_tested", path);
    const json& fru = member(entry, "fru");
    if (!fru.is_null()) {
        const std::string at = pathOf(path, "fru");
        needObject(fru, at);
        static const std::pair<const char*, const char*> kFields[] = {
            {"manufacturer", "Manufacturer"},   {"device_name", "Device name"},
            {"description", "Description"},     {"firmware_revision", "Firmware revision"},
            {"serial_number", "Serial number"}, {"model_number", "Model number"},
            {"asset_tag", "Asset tag"},         {"sku_number", "SKU number"},
        };
        for (const auto& field : kFields) {
            device.fru.emplace_back(field.second, textOf(fru, field.first, at));
        }
    }
    const json& tests = arrayOf(entry, "tests", path, true);
    for (std::size_t i = 0; i < tests.size(); ++i) {
        device.tests.push_back(readTest(tests[i], item(pathOf(path, "tests"), i), schema));
    }
    const json& skipped = arrayOf(entry, "skipped", path);
    for (std::size_t i = 0; i < skipped.size(); ++i) {
        const std::string at = item(pathOf(path, "skipped"), i);
        needObject(skipped[i], at);
        device.skipped.push_back({textOf(skipped[i], "name", at), textOf(skipped[i], "reason", at),
                                  numberOf(skipped[i], "round", at, false, 1)});
    }
    return device;
}

RunDocument readRun(const json& document)
{
    if (!document.is_object()) {
        refuse("not a run document: its JSON is not an object");
    }
    RunDocument run;
    run.schemaVersion = numberOf(document, "schema_version", "", true);
    if (run.schemaVersion < kOldestRunSchema || run.schemaVersion > kJsonSchemaVersion) {
        refuse("schema version " + std::to_string(run.schemaVersion) + ": this diaghost reads run documents of versions " +
               std::to_string(kOldestRunSchema) + " to " + std::to_string(kJsonSchemaVersion));
    }
    const json& summary = member(document, "summary");
    if (summary.is_null()) {
        refuse(document.contains("devices") ? "a list document (list --json), not a run's: it has no summary"
                                            : "not a run document: it has no summary");
    }
    needObject(summary, "summary");
    const json& outcomes = required(summary, "outcomes", "summary");
    needObject(outcomes, "summary.outcomes");
    for (const OutcomeInfo& info : kOutcomes) {
        run.outcomes[&info - kOutcomes] = numberOf(outcomes, info.name, "summary.outcomes", true);
    }
    run.modemsFound = numberOf(summary, "modems_found", "summary", true);
    run.modemsTested = numberOf(summary, "modems_tested", "summary", true);
    run.modemsNotTested = numberOf(summary, "modems_not_tested", "summary", true);
    run.exitStatus = numberOf(summary, "exit_status", "summary", true);
    run.rounds = numberOf(summary, "rounds", "summary", false, 1);
    run.roundsRun = numberOf(summary, "rounds_run", "summary", false, run.rounds);

    const json& tool = member(document, "tool");
    if (!tool.is_null()) {
        needObject(tool, "tool");
        run.toolVersion = textOf(tool, "version", "tool");
    }
    run.started = textOf(document, "started", "");
    run.finished = textOf(document, "finished", "");
    const json& interrupted = member(document, "interrupted");
    if (!interrupted.is_null() && !interrupted.is_boolean()) {
        refuse("interrupted is not true or false");
    }
    run.interrupted = interrupted.is_boolean() && interrupted.get<bool>();
    const json& machine = member(document, "machine");
    if (!machine.is_null()) {
        needObject(machine, "machine");
        run.machineKnown = true;
        run.machine.hostname = textOf(machine, "hostname", "machine");
        run.machine.kernel = textOf(machine, "kernel", "machine");
        run.machine.kernelVersion = textOf(machine, "kernel_version", "machine");
        run.machine.architecture = textOf(machine, "architecture", "machine");
        run.machine.simulated = textOf(machine, "simulated", "machine");
    }
    run.noModem = textOf(document, "no_modem", "");
    const json& package = member(document, "package");
    if (!package.is_null()) {
        needObject(package, "package");
        run.packageName = textOf(package, "name", "package");
        run.packageVersion = textOf(package, "version", "package");
        run.packageDescription = textOf(package, "description", "package");
    }
    const json& devices = arrayOf(document, "devices", "", true);
    for (std::size_t i = 0; i < devices.size(); ++i) {
        run.devices.push_back(readDevice(devices[i], item("devices", i), run.schemaVersion));
    }
    return run;
}

// A parser's complaint as one line: where the text goes wrong, or that it
// ends before the document does (a file cut short by a full disk or a copy).
std::string parseProblem(const std::string& text, const json::parse_error& error)
{
    if (text.find_first_not_of(" \t\r\n") == std::string::npos) {
        return "empty: no run document";
    }
    if (error.byte >= text.size()) {
        return "cut short: the JSON ends after " + std::to_string(text.size()) + " bytes, before the document does";
    }
    // nlohmann's text after its "[json.exception.parse_error.101] parse error at ":
    // "line 1, column 2: syntax error while parsing value - invalid literal; last read: 'th'".
    const std::string what = error.what();
    const std::size_t at = what.find(" at line ");
    const std::string detail = at == std::string::npos ? what : what.substr(at + 4);
    return "not JSON: " + printable(detail);
}

}  // namespace

bool readRunDocument(const std::string& text, RunDocument& run, std::string& error)
{
    json parsed;
    try {
        parsed = json::parse(text);
    } catch (const json::parse_error& e) {
        error = parseProblem(text, e);
        return false;
    }
    try {
        run = readRun(parsed);
    } catch (const BadDocument& bad) {
        error = bad.reason;
        return false;
    } catch (const json::exception& e) {
        error = std::string("not a run document: ") + e.what();
        return false;
    }
    return true;
}

}  // namespace diaghost
