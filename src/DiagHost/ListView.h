// ListView.h - the info and list commands' text output.
#pragma once

#include <string>
#include <vector>

#include "Console.h"
#include "PackageConfig.h"
#include "Records.h"
#include "Reports.h"

namespace diaghost {

void printInfo(Console& console, const PackageIdentity& package, const PackageConfig& config,
               const std::string& logDir);

void printDeviceTable(Console& console, const std::vector<DeviceRecord>& devices);

// "No modem found", and what the plug-in looked for as the manifest says.
std::string noModemText(const PackageConfig& config, const std::string& sysroot);

void printDeviceDetails(Console& console, const std::vector<DeviceRecord>& devices);

}  // namespace diaghost
