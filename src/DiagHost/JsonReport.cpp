// JsonReport.cpp - the JSON documents of the info, list and run commands.
#include <cmath>
#include <ctime>
#include <nlohmann/json.hpp>

#include "Outcome.h"
#include "Reports.h"

namespace diaghost {

namespace {

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
    return {{"index", test.index},
            {"name", textOrNull(test.name)},
            {"verdict", QuarnDiags::Diag::testResultName(test.verdict)},
            {"code", config.codeName(test.code)},
            {"type", QuarnDiags::Diag::eventTypeName(test.type)},
            {"progress", test.progress},
            {"events", events},
            {"outcome", describe(outcomeOf(test)).name},
            {"text", textOrNull(config.codeText(test.code))},
            {"duration_ms", static_cast<std::int64_t>(std::llround(test.seconds * 1000.0))}};
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

std::string jsonReport(const PackageIdentity& package, const std::vector<DeviceRecord>& devices,
                       const PackageConfig& config, const ReportContext& context)
{
    json document = header();
    document["started"] = textOrNull(context.started);
    document["interrupted"] = context.interrupted;
    if (context.withTests) {
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

}  // namespace diaghost
