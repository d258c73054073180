// TestSupport.h - temporary folders and file helpers for the test suites.
#pragma once

#include <string>
#include <vector>

namespace testsupport {

// A fresh folder under $TMPDIR (or /tmp), removed with its content when the
// object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    // path() + "/" + name
    std::string file(const std::string& name) const;

private:
    std::string m_path;
};

// Removes a file or a folder tree; missing paths are fine.
void removeTree(const std::string& path);

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);
// Lines of a text file, without their line ends.
std::vector<std::string> readLines(const std::string& path);

// Replaces each ctime date ("Sat Dec  5 19:50:34 2026") by "<DATE>", so
// logs can be compared with golden files.
std::string maskDates(const std::string& text);

// Runs a shell command, returns its standard output; the exit status goes
// to *status when given.
std::string runCommand(const std::string& command, int* status = nullptr);

}  // namespace testsupport
