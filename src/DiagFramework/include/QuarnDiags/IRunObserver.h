// IRunObserver.h - what a host hears of a diagnostic run while it happens.
#pragma once

#include <utility>
#include <vector>

#include "QuarnDiags/DiagnosticEvent.h"
#include "QuarnDiags/DiagnosticResult.h"

namespace QuarnDiags {
namespace Diag {

// Why a test chosen for a run did not run.
enum NotRunReason {
    NOT_SUPPORTED = 0,    // the test does not support the device (or no such test)
    HALTED_ON_ERROR = 1,  // halt on error: an earlier test of the run FAILED
    RUN_ABORTED = 2       // the run was aborted before the test could start
};

// How a run went, test by test.
struct RunSummary {
    std::vector<int> ran;  // in run order
    // The unsupported tests first, then those the run did not reach; each
    // group in the order chosen.
    std::vector<std::pair<int, NotRunReason>> notRun;
    bool aborted = false;  // an abort ended the run (or reached its last test)
    bool halted = false;   // a test FAILED with halt on error set
};

// Every call comes on the thread that runs the diagnostic, in this order:
// for each test that the run reaches, testStarting; for each test that
// runs, testStarted, its events as they are posted and testFinished; then
// runFinished once. An observer must return promptly (testStarting may
// wait, bounded, for the device to be ready): the run waits for it. The
// default implementations do nothing.
class QUARNDIAGS_API IRunObserver {
public:
    virtual ~IRunObserver();

    virtual void testStarted(int testIndex);
    virtual void eventPosted(const DiagnosticEvent& event);
    // The result stays the diagnostic's (valid until its next run); null
    // when the test returned none.
    virtual void testFinished(int testIndex, const DiagnosticResult* result);
    virtual void runFinished(const RunSummary& summary);

    // ---- Operations of our own, after the documented ones.

    // Before a test starts, on the run thread: the place for a host to wait
    // until the device is free again (a port the previous test closed may
    // be released by the system a moment later). An abort requested during
    // the wait ends the run before the test starts.
    virtual void testStarting(int testIndex);
};

}  // namespace Diag
}  // namespace QuarnDiags
