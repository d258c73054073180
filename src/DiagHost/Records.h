// Records.h - what diaghost found and ran, decoded from the plug-in's objects for output.
#pragma once

#include <string>
#include <vector>

#include "PciAddress.h"
#include "SlotLookup.h"
#include "QuarnDiags/IDevice.h"
#include "QuarnDiags/Types.h"

namespace diaghost {

struct EventRecord {
    QuarnDiags::Uint code = 0;
    QuarnDiags::Diag::EventType type = QuarnDiags::Diag::INFORMATION_EVENT;
};

struct TestRecord {
    int index = -1;
    std::string name;
    QuarnDiags::Diag::TestResult verdict = QuarnDiags::Diag::PASSED;
    QuarnDiags::Uint code = 0;
    QuarnDiags::Diag::EventType type = QuarnDiags::Diag::INFORMATION_EVENT;
    QuarnDiags::Uint progress = 0;
    double seconds = 0.0;
    std::vector<EventRecord> events;
};

struct SkippedTest {
    std::string name;
    std::string reason;
};

struct FruRecord {
    std::string manufacturer;
    std::string deviceName;
    std::string description;
    std::string firmwareRevision;
    std::string serialNumber;
    std::string modelNumber;
    std::string assetTag;
    std::string skuNumber;
};

struct DeviceRecord {
    int index = 0;
    std::string name;
    std::string description;
    std::string location;
    PciAddress pciAddress;  // not valid when location names none
    std::string pciId;      // "e7a5:0418" (vendor:device) from its configuration space, "" when unreadable
    std::string tty;  // logical path, "" for a modem without driver tty
    int slot = 0;     // 0: built into the system board, or unknown when slotSource is
    SlotSource slotSource = SlotSource::Unknown;
    std::string status;
    std::string deviceClass;
    std::string parentLocation;
    std::string additionalInfo;
    FruRecord fru;
    std::vector<TestRecord> tests;      // the tests that ran, in run order
    std::vector<SkippedTest> skipped;  // selected tests that did not run
    int lockedByPid = 0;        // not tested: another program holds the port's lock (0: none)
    std::string lockedByName;  // that program's name

    // The PCI address as lspci shows it, or the location when it names none.
    std::string shownAddress() const { return pciAddress.valid ? pciAddress.shortText() : location; }
    // Why no test ran on it (meaningful when none did).
    std::string notTestedReason() const
    {
        return skipped.empty() ? std::string("no selected test ran") : skipped.front().reason;
    }
};

// The device's texts as a record; index is its position in the enumerator's list.
DeviceRecord describeDevice(const QuarnDiags::DeviceEnum::IDevice& device, int index);

// Gives the modems whose slot the plug-in did not know the slot diaghost
// finds below sysroot. Returns the lines that explain markedSlot's marks and
// why a slot stays unknown (none when every slot came from the plug-in).
std::vector<std::string> findMissingSlots(std::vector<DeviceRecord>& records, const std::string& sysroot);

// The slot as people read it: "4", "4 (the firmware's table, read through
// /dev/mem)", "unknown"; marked, for a table column: "4", "4*", "4+", "-".
std::string slotText(const DeviceRecord& device);
std::string markedSlot(const DeviceRecord& device);

}  // namespace diaghost
