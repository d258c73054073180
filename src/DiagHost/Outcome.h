// Outcome.h - what a test's result means to a person: one table of names, labels, colours and meanings.
#pragma once

#include "Console.h"
#include "Records.h"

namespace diaghost {

// A verdict PASSED with the code TEST_ABORTED is a test that was stopped,
// not a pass. Every output (terminal, JSON, JUnit, metrics, exit status)
// classifies results through outcomeOf() and names them from the table, so
// that they agree.
enum class Outcome { Passed, Unusual, Failed, Aborted, NotRun };

struct OutcomeInfo {
    const char* name;     // in JSON and metrics: "passed", "not-run"
    const char* label;    // on the terminal: "PASSED", "NOT RUN"
    Colour colour;        // of the label
    const char* meaning;  // one sentence for the summary
};

// One row per outcome, in the order of the enumeration.
extern const OutcomeInfo kOutcomes[5];

inline const OutcomeInfo& describe(Outcome outcome)
{
    return kOutcomes[static_cast<int>(outcome)];
}

Outcome outcomeOf(const TestRecord& test);

}  // namespace diaghost
