// fuzz_json_report.cpp - diaghost's JSON document over arbitrary device, test and event texts.
//
// Whatever bytes the plug-in, the modem or the manifest hand over, the
// document must parse, hold every device and test, and give back each text
// that was valid UTF-8 unchanged.
#include <nlohmann/json.hpp>

#include <cstdint>

#include "HostRecords.h"

namespace {

// The text as the document must carry it, or false when it is not UTF-8
// (the writer then replaces the bad bytes).
bool Utf8(const std::string& text)
{
    // Replacing and dropping bad bytes give the same text only when there
    // are none (asked this way, without the cost of an exception).
    const nlohmann::json value(text);
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) ==
           value.dump(-1, ' ', false, nlohmann::json::error_handler_t::ignore);
}

void ExpectText(const nlohmann::json& value, const std::string& text)
{
    if (!value.is_string() || (Utf8(text) && value.get<std::string>() != text)) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    diaghost::ReportContext context;
    context.withTests = input.ConsumeBool();
    const hostrecords::Run run = hostrecords::MakeRun(input);
    const std::string document = diaghost::jsonReport(run.package, run.devices, run.config, context);

    const nlohmann::json parsed = nlohmann::json::parse(document, nullptr, false);
    if (parsed.is_discarded() || !parsed["devices"].is_array() || parsed["devices"].size() != run.devices.size()) {
        __builtin_trap();
    }
    ExpectText(parsed["package"]["name"], run.package.name);
    for (std::size_t d = 0; d < run.devices.size(); ++d) {
        const diaghost::DeviceRecord& device = run.devices[d];
        const nlohmann::json& entry = parsed["devices"][d];
        ExpectText(entry["location"], device.location);
        ExpectText(entry["tty"], device.tty);
        ExpectText(entry["fru"]["firmware_revision"], device.fru.firmwareRevision);
        if (entry["index"] != device.index || entry["slot"] != device.slot) {
            __builtin_trap();
        }
        if (!context.withTests) {
            if (entry.contains("tests")) {
                __builtin_trap();
            }
            continue;
        }
        if (!entry["tests"].is_array() || entry["tests"].size() != device.tests.size()) {
            __builtin_trap();
        }
        for (std::size_t t = 0; t < device.tests.size(); ++t) {
            ExpectText(entry["tests"][t]["name"], device.tests[t].name);
            if (entry["tests"][t]["events"].size() != device.tests[t].events.size()) {
                __builtin_trap();
            }
        }
    }
    return 0;
}
