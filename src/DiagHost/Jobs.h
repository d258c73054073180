// Jobs.h - run --jobs N: one child process per modem, merged by the parent in modem order.
#pragma once

#include <string>
#include <vector>

#include "Runner.h"
#include "Session.h"

namespace diaghost {

// The hidden option that makes diaghost a job: it runs one modem's tests
// and reports each step to its parent on stdout, in the line format below.
constexpr const char* kJobOption = "--job";

// One message as a line without its line end, and back; false for a line
// that is not a message.
std::string encodeMessage(const RunMessage& message);
bool decodeMessage(const std::string& line, RunMessage& message);

// The parent: tests the plan's targets in child processes, at most jobs at
// once. Each child enumerates the modems itself, one after another before
// any test starts (an enumeration talks to every modem), then runs its
// modem's tests when told to. The view shows the modems in order: the
// first unfinished one live, the others as soon as those before them are
// done. Ctrl-C is passed on to the children once; a second one ends all.
RunOutcome runJobs(Session& session, const RunPlan& plan, int jobs, RunView& view);

// The child: runs the tests of --device on one modem. Returns the exit status.
int runJob(Session& session);

}  // namespace diaghost
