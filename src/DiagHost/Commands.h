// Commands.h - the info, list and run commands.
#pragma once

#include "Session.h"

namespace diaghost {

// Before a run: the report files it is to write (--junit, --metrics) can
// be written. Returns -1 when they can, else EXIT_CANTCREAT after a
// one-line error with the system's reason.
int checkOutputFiles(const Options& options);

int commandInfo(Session& session);
int commandList(Session& session);
int commandRun(Session& session);

}  // namespace diaghost
