// fuzz_json_report.cpp - diaghost's JSON document over arbitrary device, test and event texts.
//
// Whatever bytes the plug-in, the modem or the manifest hand over, the
// document must parse, hold every device and test, and give back each text
// that was valid UTF-8 unchanged.
#include <nlohmann/json.hpp>

#include <cstdint>

#include "HostFuzz.h"

using fuzz::Expect;

namespace {

// An empty text is null; a text valid UTF-8 comes back as it was; others
// come back replaced.
void ExpectText(const nlohmann::json& value, const std::string& text)
{
    Expect(text.empty() ? value.is_null()
                        : value.is_string() && (!hostfuzz::ValidUtf8(text) || value.get<std::string>() == text));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    diaghost::ReportContext context;
    context.withTests = input.ConsumeBool();
    const hostfuzz::Run run = hostfuzz::MakeRun(input);
    const std::string document = diaghost::jsonReport(run.package, run.devices, run.config, context);

    const nlohmann::json parsed = nlohmann::json::parse(document, nullptr, false);
    Expect(!parsed.is_discarded() && parsed["devices"].is_array() && parsed["devices"].size() == run.devices.size());
    ExpectText(parsed["package"]["name"], run.package.name);
    for (std::size_t d = 0; d < run.devices.size(); ++d) {
        const diaghost::DeviceRecord& device = run.devices[d];
        const nlohmann::json& entry = parsed["devices"][d];
        ExpectText(entry["location"], device.location);
        ExpectText(entry["tty"], device.tty);
        ExpectText(entry["fru"]["firmware_revision"], device.fru.firmwareRevision);
        Expect(entry["index"] == device.index && entry["slot"] == device.slot);
        const char* source = diaghost::describe(device.slotSource).name;
        Expect(*source != '\0' ? entry["slot_source"] == source : entry["slot_source"].is_null());
        if (!context.withTests) {
            Expect(!entry.contains("tests"));
            continue;
        }
        Expect(entry["tests"].is_array() && entry["tests"].size() == device.tests.size());
        for (std::size_t t = 0; t < device.tests.size(); ++t) {
            ExpectText(entry["tests"][t]["name"], device.tests[t].name);
            Expect(entry["tests"][t]["events"].size() == device.tests[t].events.size());
        }
    }
    return 0;
}
