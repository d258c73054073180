// Outcome.h - what a test's result means to a person: one table of names, labels, colours and meanings.
#pragma once

#include <iterator>
#include <vector>

#include "Console.h"
#include "Records.h"

namespace diaghost {

// A verdict PASSED with the code TEST_ABORTED is a test that was stopped,
// not a pass. Every output classifies results through outcomeOf() and names
// them from the table, so that they agree.
enum class Outcome { Passed, Unusual, Failed, Aborted, NotRun };

struct OutcomeInfo {
    const char* name;     // in JSON and metrics: "passed", "not-run"
    const char* label;    // on the terminal: "PASSED", "NOT RUN"
    Colour colour;        // of the label
    const char* meaning;  // one sentence for the summary
};

// One row per outcome, in the order of the enumeration.
inline constexpr OutcomeInfo kOutcomes[] = {
    {"passed", "PASSED", Colour::Green, "the modem answered as a working modem does"},
    {"unusual", "UNUSUAL", Colour::Yellow,
     "the test could not judge the modem (busy or missing port, no dial tone, no answer): "
     "check the setup and run it again"},
    {"failed", "FAILED", Colour::Red, "the modem answered wrongly: it is faulty or misconfigured"},
    {"aborted", "ABORTED", Colour::Cyan,
     "the test was stopped before it finished and says nothing about the modem: run it again for a verdict"},
    {"not-run", "NOT RUN", Colour::Dim, "the test could not run on this modem: its row says why"},
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
