// ModemDiagnostic.cpp - name, version, the shared diagnostic log and the three registered tests.
#include "ModemDiagnostic.h"

#include <string>

#include "ExportClass.h"
#include "LogFile.h"
#include "ModemATCommandTest.h"
#include "ModemDialtoneDetectionTest.h"
#include "ModemLoopbackTest.h"
#include "PluginContract.h"

namespace QuarnDiags {
namespace ModemDiag {

std::ofstream ModemDiagnostic::s_logFile;
Uint ModemDiagnostic::s_logFileInitCount = 0;

ModemDiagnostic::ModemDiagnostic(bool diagLog, DeviceEnum::IDeviceEnumerator::DiagnosticMode diagMode)
    : IDiagnostics("Modem Test", "1.0", "Modem  Controller Test", diagLog, diagMode)
{
    if (diagLog) {
        if (!s_logFile.is_open()) {
            OpenLogFile(s_logFile, g_logDirPath + "/" + modemdiag::kDiagnosticLogName, LogCreation::Umasked);
        }
        ++s_logFileInitCount;
        if (s_logFile.is_open()) {
            WriteLogBanner(s_logFile);
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
