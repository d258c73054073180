// ModemDiagnostic.cpp - name, version, the shared diagnostic log and the three registered tests.
#include "ModemDiagnostic.h"

#include <ctime>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include "ExportClass.h"
#include "ModemATCommandTest.h"
#include "ModemDialtoneDetectionTest.h"
#include "ModemLoopbackTest.h"

namespace QuarnDiags {
namespace ModemDiag {

std::ofstream ModemDiagnostic::s_logFile;
Uint ModemDiagnostic::s_logFileInitCount = 0;

namespace {

// Opens a log file for appending; a missing file is created with mode 0664
// (less the umask), which a plain stream open cannot ask for.
void OpenAppending(std::ofstream& stream, const std::string& path)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0664);
    if (fd >= 0) {
        ::close(fd);
    }
    stream.open(path, std::ios::out | std::ios::app);
}

}  // namespace

ModemDiagnostic::ModemDiagnostic(bool diagLog, DeviceEnum::IDeviceEnumerator::DiagnosticMode diagMode)
    : IDiagnostics("Modem Test", "1.0", "Modem  Controller Test", diagLog, diagMode)
{
    if (diagLog) {
        if (!s_logFile.is_open()) {
            s_logFile.clear();
            OpenAppending(s_logFile, g_logDirPath + "/TSYmodemDiagnostic.log");
        }
        ++s_logFileInitCount;
        if (s_logFile.is_open()) {
            const std::time_t now = std::time(nullptr);
            s_logFile << "\n" << "******************** " << std::ctime(&now) << std::endl;
        }
    }

    // The tests are created one by one; if one cannot be, those made so far
    // go again before the failure leaves the constructor.
    try {
        m_tests.reserve(3);
        m_tests.push_back(new ModemDialtoneDetectionTest(s_logFile, m_eventQueue));
        m_tests.push_back(new ModemLoopbackTest(s_logFile, m_eventQueue));
        m_tests.push_back(new ModemATCommandTest(s_logFile, m_eventQueue));
    } catch (...) {
        for (Diag::IFunctionalTest* test : m_tests) {
            delete test;
        }
        m_tests.clear();
        throw;
    }
    m_options = 0;
}

ModemDiagnostic::~ModemDiagnostic()
{
    for (Diag::IFunctionalTest* test : m_tests) {
        delete test;
    }
    m_tests.clear();
    // Every diagnostic counts itself out, whether or not it logged.
    if (--s_logFileInitCount == 0) {
        s_logFile.close();
    }
}

}  // namespace ModemDiag
}  // namespace QuarnDiags
