// SimSysfsSlots.h - one of the kernel's PCI slot records, as /sys/bus/pci/slots shows it.
#pragma once

#include <string>

namespace modemsim {

// A slot the kernel knows, sys/bus/pci/slots/<name>/address. A hotplug
// driver registers each slot the firmware describes, with or without a card
// in it (ACPI's names them by the firmware's slot number, _SUN); the
// address names the bus and the device number the slot gives its card.
struct PciSlotRecord {
    std::string name;
    int domain = 0;
    int bus = 0;
    int device = 0;  // 0-31
};

}  // namespace modemsim
