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
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

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

// How many descriptors this process has open on target, or at all for "".
int openDescriptors(const std::string& target = "");

}  // namespace testsupport
