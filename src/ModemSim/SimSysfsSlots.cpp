// SimSysfsSlots.cpp - writes a simulated machine's sys/bus/pci/slots records.
#include "SimulatedRoot.h"

#include <cstdio>
#include <stdexcept>
#include <sys/stat.h>

#include "RootFiles.h"

namespace modemsim {

using namespace rootfiles;

// The kernel writes "%04x:%02x:%02x\n" (domain, bus, device) whether or not
// a card sits in the slot; only a slot whose device number it cannot tell
// shows "%04x:%02x\n", which no x86 hotplug driver registers.
void SimulatedRoot::setSlotRecords(const std::vector<PciSlotRecord>& records)
{
    const std::string folder = file("/sys/bus/pci/slots");
    RemoveTree(folder);
    MakeFolders(folder);
    for (const PciSlotRecord& record : records) {
        if (record.name.empty() || record.name.find('/') != std::string::npos || record.name[0] == '.') {
            throw std::invalid_argument("simulated root: no slot name '" + record.name + "'");
        }
        const std::string slot = folder + "/" + record.name;
        MakeFolders(slot);
        char address[32];
        const int length = std::snprintf(address, sizeof address, "%04x:%02x:%02x\n",
                                         static_cast<unsigned>(record.domain) & 0xFFFF,
                                         static_cast<unsigned>(record.bus) & 0xFF,
                                         static_cast<unsigned>(record.device) & 0x1F);
        WriteWhole(slot + "/address", address, static_cast<std::size_t>(length));
        chmod((slot + "/address").c_str(), 0444);
    }
}

}  // namespace modemsim
