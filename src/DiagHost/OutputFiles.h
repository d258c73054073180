// OutputFiles.h - report files checked before a run and replaced in one step after it; standard output checked at exit.
#pragma once

#include <cstdio>
#include <string>

namespace diaghost {

std::string parentFolder(const std::string& path);  // "." for a bare name, "/" for a name in the root

std::string absolutePath(const std::string& path);  // against the working folder, links left as they are

// Whether a report could replace path now: no file there, or a regular one,
// and a new file can be made in its folder (it is tried). Else false with
// the reason ("a folder, not a file", "cannot create a file in FOLDER: ...").
bool canWriteFile(const std::string& path, std::string& reason);

// Replaces path with content through a temporary file beside it, fsync and
// a rename: a reader sees the old file or the new one, never a part. The
// file is 0644: node_exporter's collector runs as another user. error is
// canWriteFile()'s reason or "cannot replace it: REASON".
bool writeFileAtomically(const std::string& path, const std::string& content, std::string& error);

// Moves the file from into to's place in one step: a rename, or across file
// systems a whole copy through writeFileAtomically() and then from removed.
// Either way a reader of to sees the old file or the new one. False with
// "cannot replace TO: REASON", "cannot read FROM" or writeFileAtomically()'s
// error.
bool moveFileWhole(const std::string& from, const std::string& to, std::string& error);

// Flushes stream; a failure on standard output is kept for finishStandardOutput.
void flushOutput(std::FILE* stream);

void printOutput(const std::string& text);

// Before the program ends: status when everything written to standard
// output arrived, EXIT_CLOSED_PIPE without a word when its reader had gone,
// else EXIT_IOERR after "diaghost: cannot write standard output: REASON".
int finishStandardOutput(int status);

}  // namespace diaghost
