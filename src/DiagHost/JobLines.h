// JobLines.h - the line format in which a run --jobs child reports to its parent.
#pragma once

#include <string>

#include "Runner.h"

namespace diaghost {

// The child says it has found the modems; the parent tells it to start.
constexpr const char* kJobReady = "ready";
constexpr const char* kJobGo = "go\n";

// One message as a line without its line end ("event 1 10 0 1500"), and
// back; false for a line that is not a message.
std::string encodeMessage(const RunMessage& message);
bool decodeMessage(const std::string& line, RunMessage& message);

// Writes all of text, retrying short writes; false when the reader is gone.
bool writeAll(int fd, const std::string& text);

}  // namespace diaghost
