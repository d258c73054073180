// Commands.h - the info, list and run commands.
#pragma once

#include "Session.h"

namespace diaghost {

int commandInfo(Session& session);
int commandList(Session& session);
int commandRun(Session& session);

}  // namespace diaghost
