// OutputFiles.h - report files checked before a run and replaced after it; standard output checked at exit.
#pragma once

#include <cstdio>
#include <string>

namespace diaghost {

// Whether a report could replace path now, without creating or changing
// anything: its folder must take new files (the report is written beside
// it and renamed over it), and what is there already must be a regular
// file. Else false with the reason ("Permission denied", "No such file or
// directory", "Is a directory", "not a regular file").
bool canWriteFile(const std::string& path, std::string& reason);

// Flushes stream. The first failure on standard output is remembered, with
// its reason, for finishStandardOutput.
void flushOutput(std::FILE* stream);

// Prints a document (JSON) on standard output and flushes it.
void printOutput(const std::string& text);

// Flushes standard output and closes a copy of it (which reports what the
// file system kept back) before the program ends. Returns
// status when everything written there arrived; else prints "diaghost:
// cannot write standard output: REASON" on standard error and returns
// EXIT_IOERR, whatever status was.
int finishStandardOutput(int status);

}  // namespace diaghost
