// Commands.h - the info, list and run commands.
#pragma once

#include "Session.h"

namespace diaghost {

// Before a run: the report files it is to write (--json-file, --junit,
// --metrics) can be written, each tried with a file made and removed in its
// folder. Returns -1 when they can, else EXIT_CANTCREAT after a one-line
// error that names the option, the file and the reason.
int checkOutputFiles(const Options& options);

int commandInfo(Session& session);
int commandList(Session& session);
int commandRun(Session& session);

}  // namespace diaghost
