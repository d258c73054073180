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

void printDeviceTable(Console& console, const std::vector<DeviceRecord>& devices, const std::vector<std::string>& slotNotes);

// "No modem found", and what the plug-in looked for as the manifest says.
std::string noModemText(const PackageConfig& config, const std::string& sysroot);

// Everything known of each modem, FRU record included.
void printDeviceDetails(Console& console, const std::vector<DeviceRecord>& devices, const std::vector<std::string>& slotNotes);

}  // namespace diaghost
