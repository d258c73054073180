// LogFile.h - the plug-in's class-wide log files: opened for appending, each run under a dated banner.
#pragma once

#include <fstream>
#include <string>

// How a missing log file gets its permissions: 0664 less the process's
// umask, or exactly 0664 (so the group can always append).
enum class LogCreation { Umasked, GroupWritable };

// Opens path for appending into log, creating it when absent. The log
// folder may be writable by a whole group, so only the file itself is
// trusted, and only when it is a regular file with a single link, reached
// without following a symbolic link in the last path component. Anything
// else (a link, a FIFO, a device, a folder, a file with more links) is
// refused without blocking and without writing to it. False when the
// stream did not open.
bool OpenLogFile(std::ofstream& log, const std::string& path, LogCreation creation);

// An empty line, "******************** " with the local date in ctime form,
// and another empty line; flushed.
void WriteLogBanner(std::ofstream& log);
