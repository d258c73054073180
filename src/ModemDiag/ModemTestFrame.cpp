// ModemTestFrame.cpp - run, control, the common opening and the two exits of the modem tests.
#include "ModemTestFrame.h"

#include <cstdio>
#include <cstring>

#include "ModemDevice.h"
#include "PluginContract.h"
#include "QuarnDiags/SysUtil.h"
#include "Velk.h"
#include "VelkLinux.h"

namespace QuarnDiags {
namespace ModemDiag {

using Diag::DiagnosticResult;

namespace {

// The device's tty path, or "" for a device that is not one of our modems.
std::string TtyOf(const DeviceEnum::IDevice* pDevice)
{
    const auto* modem = dynamic_cast<const ModemDevice*>(pDevice);
    if (modem == nullptr) {
        return std::string();
    }
    const char* comPort = modem->getDevDetails().comPort;
    return std::string(comPort, strnlen(comPort, sizeof modem->getDevDetails().comPort));
}

}  // namespace

ModemTestFrame::ModemTestFrame(std::ofstream& logFile, Diag::EventQueue& eventQueue, const char* className,
                               const char* checkName)
    : IFunctionalTest(logFile, eventQueue), m_className(className), m_checkName(checkName)
{
}

ModemTestFrame::~ModemTestFrame() = default;

DiagnosticResult* ModemTestFrame::run(const DeviceEnum::IDevice* pDevice, const Diag::DiagnosticSettings& settings)
{
    const std::string tty = TtyOf(pDevice);
    char funcName[256];
    modemdiag::FormatTestLineHead(funcName, sizeof funcName, m_className, modemdiag::kTestRunFunction, tty.c_str(),
                                  false);

    gpLogFile = &m_logFile;
    logLine(funcName, "");

    char comPort[64];
    std::snprintf(comPort, sizeof comPort, "%s", tty.c_str());

    DiagnosticResult* result;
    if (comPort[0] == '\0') {
        logLine(funcName, std::string(modemdiag::kTestLineText) + "Invalid device reference, aborting test");
        result = makeResult(Diag::FAILED, INVALID_DEVICE_REFERENCE, Diag::INFORMATION_EVENT);
    } else {
        m_status.setStatus(Diag::DiagnosticStatus::EXECUTING);
        result = runCheck(comPort, settings);
    }
    logLine(funcName, std::string(modemdiag::kTestLineText) + "Normal exit  ");

    gpLogFile = nullptr;
    return result;
}

bool ModemTestFrame::isDeviceSupported(const DeviceEnum::IDevice* pDevice,
                                       DeviceEnum::IDeviceEnumerator::DiagnosticMode /*diagMode*/)
{
    return !TtyOf(pDevice).empty();
}

void ModemTestFrame::abortTest()
{
    m_abort.store(true);
}

void ModemTestFrame::suspendTest()
{
    m_suspend.store(true);
}

void ModemTestFrame::resumeTest()
{
    if (m_suspend.load()) {
        m_suspend.store(false);
    }
}

void ModemTestFrame::logLine(const char* prefix, const std::string& text)
{
    if (m_logFile.is_open()) {
        // One line whatever the text holds (see EscapeLineText).
        const std::string whole = prefix + text;
        std::string line(whole.size() * 4 + 1, '\0');
        EscapeLineText(whole.c_str(), &line[0], line.size());
        line.resize(std::strlen(line.c_str()));
        m_logFile << line << std::endl;
    }
}

void ModemTestFrame::postEvent(Uint code, Diag::EventType type)
{
    addDiagnosticEvent(new Diag::DiagnosticEvent(code, type));
}

DiagnosticResult* ModemTestFrame::makeResult(Diag::TestResult verdict, Uint code, Diag::EventType type)
{
    return new DiagnosticResult(verdict, code, type);
}

bool ModemTestFrame::openModem(Check& check, const char* comPort)
{
    modemdiag::FormatTestLineHead(check.funcName, sizeof check.funcName, m_className, m_checkName, comPort, true);
    check.hPort = -1;
    check.presult = nullptr;
    logLine(check.funcName, "Started");

    if (ModemsInUse()) {
        postEvent(MODEMS_IN_USE, Diag::WARNING_EVENT);
        check.presult = makeResult(Diag::UNUSUAL_STATUS, MODEMS_IN_USE, Diag::WARNING_EVENT);
        return false;
    }

    check.hPort = PortOpen(comPort);
    if (check.hPort == -1) {
        postEvent(CANT_OPEN_PORT, Diag::WARNING_EVENT);
        check.presult = makeResult(Diag::UNUSUAL_STATUS, CANT_OPEN_PORT, Diag::WARNING_EVENT);
        logLine(check.funcName, std::string("Unable to open port ") + comPort);
        return false;
    }

    if (!PortSetup(check.hPort)) {
        postEvent(CANT_INIT_PORT, Diag::WARNING_EVENT);
        check.presult = makeResult(Diag::UNUSUAL_STATUS, CANT_INIT_PORT, Diag::WARNING_EVENT);
        return false;
    }
    logLine(check.funcName, std::string("Port ") + comPort + " opened succesfully");

    // Factory settings, then echo off. A modem that does not answer these is
    // not at fault here; the waits only bound the time spent.
    PortFlush(check.hPort);
    PortPrintf(check.hPort, "at&f0\r");
    PortWaitFor(check.hPort, "OK", 1000);
    PortPrintf(check.hPort, "ate0\r");
    PortWaitFor(check.hPort, "OK\r", 1000);
    return true;
}

DiagnosticResult* ModemTestFrame::abortExit(Check& check)
{
    if (check.presult == nullptr) {
        check.presult = makeResult(Diag::FAILED, TEST_FAILED, Diag::ERROR_EVENT);
    }
    if (check.hPort != -1) {
        PortClose(check.hPort);
        check.hPort = -1;
    }
    logLine(check.funcName, "Aborting test");
    return check.presult;
}

DiagnosticResult* ModemTestFrame::normalExit(Check& check, Uint pauseMs)
{
    PortClose(check.hPort);
    check.hPort = -1;
    if (pauseMs > 0) {
        System::SysUtil::sleepForMilliseconds(pauseMs);
    }
    logLine(check.funcName, "Normal exit");
    if (check.presult == nullptr) {
        check.presult = makeResult(Diag::PASSED, TEST_COMPLETED_SUCCESSFULLY, Diag::INFORMATION_EVENT);
    }
    return check.presult;
}

}  // namespace ModemDiag
}  // namespace QuarnDiags
