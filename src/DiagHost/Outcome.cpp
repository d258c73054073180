// Outcome.cpp - the outcome table and the classification of a test's result.
#include "Outcome.h"

namespace diaghost {

const OutcomeInfo kOutcomes[5] = {
    {"passed", "PASSED", Colour::Green, "the modem answered as a working modem does"},
    {"unusual", "UNUSUAL", Colour::Yellow,
     "the test could not judge the modem (busy or missing port, no dial tone, no answer): "
     "check the setup and run it again"},
    {"failed", "FAILED", Colour::Red, "the modem answered wrongly: it is faulty or misconfigured"},
    {"aborted", "ABORTED", Colour::Cyan,
     "the test was stopped before it finished and says nothing about the modem: run it again for a verdict"},
    {"not-run", "NOT RUN", Colour::Dim, "the test could not run on this modem: its row says why"},
};

Outcome outcomeOf(const TestRecord& test)
{
    switch (test.verdict) {
    case QuarnDiags::Diag::PASSED:
        return test.code == QuarnDiags::Diag::TEST_ABORTED ? Outcome::Aborted : Outcome::Passed;
    case QuarnDiags::Diag::UNUSUAL_STATUS:
        return Outcome::Unusual;
    case QuarnDiags::Diag::FAILED:
        break;
    }
    return Outcome::Failed;
}

}  // namespace diaghost
