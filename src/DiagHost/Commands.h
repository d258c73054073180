// Commands.h - the info, list and run commands.
#pragma once

#include "Session.h"

namespace diaghost {

// Before a run: whether its report files can be written; if not, a one-line
// error names the option, the file and the reason.
bool checkOutputFiles(const Options& options);

int commandInfo(Session& session);
int commandList(Session& session);
int commandRun(Session& session);

}  // namespace diaghost
