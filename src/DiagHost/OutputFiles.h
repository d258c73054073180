// OutputFiles.h - report files: checked before a run, written after it.
#pragma once

#include <string>

namespace diaghost {

// Whether a report could be written to path now, without creating or
// changing anything: an existing file must open for writing, a new one
// needs a folder that takes files. Else false with the system's reason
// ("Permission denied", "No such file or directory", "Is a directory").
bool canWriteFile(const std::string& path, std::string& reason);

// Replaces the file's content; false with the system's reason on failure.
bool writeFile(const std::string& path, const std::string& content, std::string& reason);

}  // namespace diaghost
