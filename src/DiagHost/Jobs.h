// Jobs.h - run --jobs N: one child process per modem, merged by the parent in modem order.
#pragma once

#include <string>
#include <vector>

#include "Runner.h"
#include "Session.h"

namespace diaghost {

// The parent: tests the plan's targets in child processes, at most jobs at
// once. Each child enumerates the modems itself, one after another before
// any test starts (an enumeration talks to every modem), then runs its
// modem's tests when told to. The view shows the modems in order: the
// first unfinished one live, the others as soon as those before them are
// done. Ctrl-C is passed on to the children once; a second one ends all.
RunOutcome runJobs(Session& session, const RunPlan& plan, int jobs, RunView& view);

// The child (run --job, a hidden option): runs the tests of --device on one
// modem and reports each step to its parent on stdout (JobLines.h).
// Returns the exit status.
int runJob(Session& session);

}  // namespace diaghost
