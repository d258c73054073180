// LogCapture.h - the plug-in's logs in tests: a temporary message log, and the class-wide logs settled.
#pragma once

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "ExportClass.h"
#include "ModemDeviceEnumerator.h"
#include "ModemDiagnostic.h"
#include "TestSupport.h"
#include "Velk.h"

namespace testsupport {

// While it lives, the plug-in's messages go to a fresh file; the previous
// log stream and operation name come back when it goes. Not copyable, as
// its folder is not.
class LogCapture {
public:
    LogCapture()
    {
        gpLogFile = &m_stream;
        SetFunctionName("");
    }
    ~LogCapture()
    {
        gpLogFile = m_previous;
        SetFunctionName("");
    }

    std::ofstream& stream() { return m_stream; }
    std::string text() const { return readFile(m_dir.file("capture.log")); }
    std::vector<std::string> lines() const { return readLines(m_dir.file("capture.log")); }

private:
    TempDir m_dir;
    std::ofstream m_stream{m_dir.file("capture.log"), std::ios::out | std::ios::app};
    std::ofstream* const m_previous = gpLogFile;
};

// Brings the class-wide log of a plug-in class to a known state: count 0,
// file closed. Every destruction counts an object out, with or without
// logging, so a case that destroys a quiet one leaves the count one lower
// than it found it; below zero it wraps, and the shared log then stays open
// on an earlier case's folder. A wrapped count is brought back by logging
// objects held for the rest of the process; a log left open is closed by
// one more made and dropped.
template <typename Logging>
void settleSharedLog()
{
    static std::vector<std::unique_ptr<Logging>> held;
    const auto mode = QuarnDiags::DeviceEnum::IDeviceEnumerator::CUSTOMER;
    while (Logging::logFileInitCount() > 0x7FFFFFFFu) {
        held.push_back(std::make_unique<Logging>(true, mode));
    }
    if (Logging::logFileInitCount() == 0 && Logging::logFile().is_open()) {
        Logging(true, mode);
    }
}

// Settles the enumerator's and the diagnostic's logs, so that the objects
// of a case open their logs themselves whatever ran before in this process.
// Nothing is written while settling; the message log and the folders come
// back as they were, the log folder as logDir when one is given.
inline void settlePluginLogs(const std::string& logDir = "")
{
    std::ofstream* const messages = gpLogFile;
    const std::string logs = logDir.empty() ? g_logDirPath : logDir;
    const std::string package = g_packageDirPath;
    g_logDirPath = g_packageDirPath = "/nonexistent/modemdiag-settle";
    settleSharedLog<QuarnDiags::ModemDiag::ModemDeviceEnumerator>();
    settleSharedLog<QuarnDiags::ModemDiag::ModemDiagnostic>();
    g_logDirPath = logs;
    g_packageDirPath = package;
    gpLogFile = messages;
}

}  // namespace testsupport
