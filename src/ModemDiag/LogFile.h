// LogFile.h - the plug-in's class-wide log files: opened for appending, each run under a dated banner.
#pragma once

#include <fstream>
#include <string>

// How a missing log file gets its permissions: 0664 less the process's
// umask, or exactly 0664 (so the group can always append).
enum class LogCreation { Umasked, GroupWritable };

// Opens path for appending into log, creating it when absent. A path that
// is neither a regular file nor a character device is refused: a FIFO in
// its place would block the host in open(), or kill it with SIGPIPE once
// its reader went away. False when the stream did not open.
bool OpenLogFile(std::ofstream& log, const std::string& path, LogCreation creation);

// An empty line, "******************** " with the local date in ctime form,
// and another empty line; flushed.
void WriteLogBanner(std::ofstream& log);
