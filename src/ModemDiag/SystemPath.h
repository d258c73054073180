// SystemPath.h - where an absolute system path really lives.
#pragma once

#include <string>

// The path to open for a logical system path such as "/proc/modules" or
// "/dev/ttySM0": the path itself, or the path below the folder named by the
// environment variable MODEMDIAG_SYSROOT when that is set and not empty.
// Relative paths are returned unchanged. Messages and stored records keep
// the logical path.
std::string SystemPath(const char* logicalPath);

// Opens a system file for reading, close-on-exec and without ever blocking
// on the open (a FIFO planted in its place must not hang the host); the
// descriptor, or -1.
int OpenSystemFile(const char* logicalPath);
