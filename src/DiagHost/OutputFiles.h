// OutputFiles.h - report files checked before a run and replaced in one step after it; standard output checked at exit.
#pragma once

#include <cstdio>
#include <string>

namespace diaghost {

// The folder holding path: "." for a bare name, "/" for a name in the root.
std::string parentFolder(const std::string& path);

// The path made absolute against the working folder, links left as they are.
std::string absolutePath(const std::string& path);

// Whether a report could replace path now, without creating or changing
// anything: its folder must take new files (the report is written beside
// it and renamed over it), and what is there already must be a regular
// file. Else false with the reason ("Permission denied", "No such file or
// directory", "Is a directory", "not a regular file").
bool canWriteFile(const std::string& path, std::string& reason);

// Replaces path with content in one step, through a temporary file in the
// same folder (a dot name, which node_exporter's textfile collector
// ignores), fsync and a rename, so that a reader sees the old file or the
// new one, never a part. The file is 0644: the collector runs as another
// user. On failure, sets error ("cannot write PATH: REASON").
bool writeFileAtomically(const std::string& path, const std::string& content, std::string& error);

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
