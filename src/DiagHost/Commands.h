// Commands.h - the info, list and run commands.
#pragma once

#include "Session.h"

namespace diaghost {

// Before a run: -1 when its report files can be written, else EXIT_CANTCREAT
// after a one-line error naming the option, file and reason.
int checkOutputFiles(const Options& options);

int commandInfo(Session& session);
int commandList(Session& session);
int commandRun(Session& session);

}  // namespace diaghost
