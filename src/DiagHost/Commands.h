// Commands.h - the info, list and run commands.
#pragma once

#include "Session.h"

namespace diaghost {

// Before a run: whether its report files (--json-file, --junit, --metrics)
// can be written (canWriteFile). Returns -1 when they can, else
// EXIT_CANTCREAT after a one-line error naming the option, file and reason.
int checkOutputFiles(const Options& options);

int commandInfo(Session& session);
int commandList(Session& session);
int commandRun(Session& session);

}  // namespace diaghost
