// LogCapture.h - installs a temporary log file as the plug-in's message log.
#pragma once

#include <fstream>
#include <string>
#include <vector>

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

}  // namespace testsupport
