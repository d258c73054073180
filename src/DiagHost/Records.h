// Records.h - what diaghost found and ran, decoded from the plug-in's objects for output, and what a test's
// result means to a person: one table of outcomes' names, labels, colours and meanings.
#pragma once

#include <iterator>
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
    QuarnDiags::Diag::TestResult verdict = QuarnDiags::Diag::PASSED;  // the plug-in's own: see outcomeOf()
    QuarnDiags::Uint code = 0;
    QuarnDiags::Diag::EventType type = QuarnDiags::Diag::INFORMATION_EVENT;
    QuarnDiags::Uint progress = 0;
    double seconds = 0.0;
    std::vector<EventRecord> events;
    std::vector<std::string> log;  // the plug-in's log lines of the test, as the terminal shows them
    int round = 1;                 // of run --repeat, from 1
};

struct SkippedTest {
    std::string name;
    std::string reason;
    int round = 1;
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

// A verdict PASSED with the code TEST_ABORTED is a test that was stopped,
// not a pass. Every output classifies results through outcomeOf() and names
// them from the table, so that they agree.
enum class Outcome { Passed, Unusual, Failed, Aborted, NotRun };

// The plug-in's verdict beside the code decides which; every output names
// an outcome by its name or label only, never by the plug-in's verdict.
struct OutcomeInfo {
    const char* name;     // in JSON and metrics: "passed", "not-run"
    const char* label;    // on the terminal, and the JSON's "verdict": "PASSED", "NOT RUN"
    const char* meaning;  // one sentence for the summary; the codes the run gave follow it
};

// One row per outcome, in the order of the enumeration. A meaning names no
// cause: which codes lead to which outcome is the plug-in's to decide, and
// the summary lists under each outcome the codes that led to it.
inline constexpr OutcomeInfo kOutcomes[] = {
    {"passed", "PASSED", "the modem answered as a working modem does"},
    {"unusual", "UNUSUAL", "the test could not judge the modem: check the setup and run it again"},
    {"failed", "FAILED", "the modem answered wrongly or not at all: it is faulty or misconfigured"},
    {"aborted", "ABORTED",
     "the test was stopped before it finished and says nothing about the modem: run it again for a verdict"},
    {"not-run", "NOT RUN", "the test did not run on this modem: its row says why"},
};

inline const OutcomeInfo& describe(Outcome outcome)
{
    return kOutcomes[static_cast<int>(outcome)];
}

// Any verdict the framework does not name counts as a failure.
inline Outcome outcomeOf(const TestRecord& test)
{
    if (test.verdict == QuarnDiags::Diag::PASSED) {
        return test.code == QuarnDiags::Diag::TEST_ABORTED ? Outcome::Aborted : Outcome::Passed;
    }
    return test.verdict == QuarnDiags::Diag::UNUSUAL_STATUS ? Outcome::Unusual : Outcome::Failed;
}

// The progress a finished test shows: 100 % once it ran to its end, whatever
// the plug-in's last figure was (a test may end before its last step
// reports); a stopped test keeps how far it got.
inline QuarnDiags::Uint progressOf(const TestRecord& test)
{
    return outcomeOf(test) == Outcome::Aborted ? test.progress : 100;
}

// "Result: 4 passed, 1 unusual, 1 failed, 0 aborted, 3 not run; 1 modem not
// tested", with the rounds when there were several: the terminal's and the
// page's line alike, every outcome named as the JSON's summary counts it.
std::string resultLine(const long long (&outcomes)[std::size(kOutcomes)], long long untested, bool interrupted,
                       long long roundsRun, long long roundsAsked);

// Devices' selected tests counted by outcome (one that did not run is
// NotRun), the time they ran, and the devices that ran none.
struct Tally {
    std::size_t outcomes[std::size(kOutcomes)] = {};
    double seconds = 0.0;
    std::size_t untested = 0;

    Tally() = default;
    explicit Tally(const std::vector<DeviceRecord>& devices)
    {
        for (const DeviceRecord& device : devices) {
            add(device);
        }
    }
    void add(const DeviceRecord& device)
    {
        for (const TestRecord& test : device.tests) {
            ++outcomes[static_cast<int>(outcomeOf(test))];
            seconds += test.seconds;
        }
        outcomes[static_cast<int>(Outcome::NotRun)] += device.skipped.size();
        untested += device.tests.empty() ? 1 : 0;
    }
    std::size_t operator[](Outcome outcome) const { return outcomes[static_cast<int>(outcome)]; }
};

}  // namespace diaghost
