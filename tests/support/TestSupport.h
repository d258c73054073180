// TestSupport.h - temporary folders and file helpers for the test suites.
#pragma once

#include <memory>
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

// Brings the class-wide log of a plug-in class to a known state: count 0,
// file closed. Every destruction counts an object out, with or without
// logging, so a case that destroys a quiet one leaves the count one lower
// than it found it; below zero it wraps, and the shared log then stays open
// on an earlier case's folder. A wrapped count is brought back by logging
// objects held for the rest of the process; a log left open is closed by
// one more made and dropped. The caller points the log folder where nothing
// is written first.
template <typename Logging, typename Mode>
void settleSharedLog(Mode mode)
{
    static std::vector<std::unique_ptr<Logging>> held;
    while (Logging::logFileInitCount() > 0x7FFFFFFFu) {
        held.push_back(std::make_unique<Logging>(true, mode));
    }
    if (Logging::logFileInitCount() == 0 && Logging::logFile().is_open()) {
        Logging(true, mode);
    }
}

}  // namespace testsupport
