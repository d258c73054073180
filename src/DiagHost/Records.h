// Records.h - what diaghost found and ran, decoded from the plug-in's objects for output.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "QuarnDiags/IDevice.h"
#include "QuarnDiags/Types.h"

namespace diaghost {

struct EventRecord {
    QuarnDiags::Uint code = 0;
    QuarnDiags::Diag::EventType type = QuarnDiags::Diag::INFORMATION_EVENT;
    std::int64_t timeMs = 0;
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

// A selected test that did not run on a device, and why.
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
    std::string pciAddress;  // "0000:00:0a.0" (domain:bus:device.function), "" when location names none
    std::string pciId;       // "e7a5:0418" (vendor:device) from its configuration space, "" when unreadable
    std::string tty;  // logical path, "" for a modem without driver tty
    int slot = 0;     // 0 when unknown
    std::string status;
    std::string deviceClass;
    std::string parentLocation;
    std::string additionalInfo;
    FruRecord fru;
    std::vector<TestRecord> tests;      // the tests that ran, in run order
    std::vector<SkippedTest> skipped;  // selected tests that did not run
    // Not tested because another program holds the port's lock: its PID
    // (0 when not locked) and program name.
    int lockedByPid = 0;
    std::string lockedByName;
};

// The device's texts as a record; index is its position in the enumerator's list.
DeviceRecord describeDevice(const QuarnDiags::DeviceEnum::IDevice& device, int index);

// The PCI address of a location text "PCI Bus <b>, Device <d>, Function <f>"
// (decimal numbers, bus up to 255, device up to 31, function up to 7) as
// lspci writes it with its domain ("0000:00:0a.0"); "" for any other text.
std::string pciAddressOf(const std::string& location);

// The address without its domain when that is 0000, as lspci shows it.
std::string shortPciAddress(const std::string& address);

// "vendor:device" of the PCI function at address, read from the first four
// bytes of its configuration file under sysroot + /proc/bus/pci (sysroot ""
// for the real one); "" when there is no such file or address is not in
// the form pciAddressOf gives.
std::string readPciId(const std::string& sysroot, const std::string& address);

// Slot number from an additional hardware information text "PCI Slot <n>"
// (n decimal, 1 up to INT_MAX); 0 for any other text.
int slotFromHWInfo(const std::string& text);

// What a test's result means to a person: a verdict PASSED with the code
// TEST_ABORTED is a test that was stopped, not a pass. Every output (terminal,
// JSON, JUnit, metrics, exit status) classifies results through this one
// function so that they agree.
enum class Outcome { Passed, Unusual, Failed, Aborted, NotRun };

Outcome outcomeOf(const TestRecord& test);
// "passed", "unusual", "failed", "aborted", "not-run".
const char* outcomeName(Outcome outcome);

// Worst verdict among the tests that ran; PASSED when none ran.
QuarnDiags::Diag::TestResult worstVerdict(const std::vector<DeviceRecord>& devices);

}  // namespace diaghost
