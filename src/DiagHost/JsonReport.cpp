// JsonReport.cpp - the JSON document of the list and run commands.
#include <nlohmann/json.hpp>

#include "Reports.h"

namespace diaghost {

std::string jsonReport(const PackageIdentity& package, const std::vector<DeviceRecord>& devices,
                       const PackageConfig& config, bool withTests)
{
    // Keys in the documented order, for people reading the document.
    using json = nlohmann::ordered_json;
    json document;
    document["package"] = {
        {"name", package.name}, {"version", package.version}, {"description", package.description}};
    document["devices"] = json::array();
    for (const DeviceRecord& device : devices) {
        json entry = {
            {"index", device.index},
            {"location", device.location},
            {"tty", device.tty},
            {"slot", device.slot},
            {"status", device.status},
            {"fru",
             {{"manufacturer", device.fru.manufacturer},
              {"device_name", device.fru.deviceName},
              {"description", device.fru.description},
              {"firmware_revision", device.fru.firmwareRevision},
              {"serial_number", device.fru.serialNumber},
              {"model_number", device.fru.modelNumber},
              {"asset_tag", device.fru.assetTag},
              {"sku_number", device.fru.skuNumber}}},
        };
        if (withTests) {
            json tests = json::array();
            for (const TestRecord& test : device.tests) {
                json events = json::array();
                for (const EventRecord& event : test.events) {
                    events.push_back(
                        {{"code", config.codeName(event.code)}, {"type", QuarnDiags::Diag::eventTypeName(event.type)}});
                }
                tests.push_back({{"index", test.index},
                                 {"name", test.name},
                                 {"verdict", QuarnDiags::Diag::testResultName(test.verdict)},
                                 {"code", config.codeName(test.code)},
                                 {"type", QuarnDiags::Diag::eventTypeName(test.type)},
                                 {"progress", test.progress},
                                 {"events", events}});
            }
            entry["tests"] = tests;
        }
        document["devices"].push_back(entry);
    }
    // Texts come from the plug-in and the modem; bytes that are not UTF-8
    // are replaced rather than ending the run with an exception.
    return document.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

}  // namespace diaghost
