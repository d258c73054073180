// ModemLoopbackTest.cpp - start the self test, let it run, stop it, read and judge the error count.
#include "ModemLoopbackTest.h"

#include <cstdint>
#include <cstdlib>
#include <limits>

#include "QuarnDiags/SysUtil.h"

namespace QuarnDiags {
namespace ModemDiag {

namespace {

// The count as strtol reads it in base 10 (leading blanks, a sign, digits
// up to the first non-digit; 0 when there is no number), held to the
// signed 32-bit range whatever the width of long.
std::int32_t ErrorCount(const char* line)
{
    const long long value = std::strtoll(line, nullptr, 10);
    if (value > std::numeric_limits<std::int32_t>::max()) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (value < std::numeric_limits<std::int32_t>::min()) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(value);
}

}  // namespace

ModemLoopbackTest::ModemLoopbackTest(std::ofstream& logFile, Diag::EventQueue& eventQueue)
    : ModemTestFrame(logFile, eventQueue, "ModemLoopbackTest", "CheckLoopback")
{
}

ModemLoopbackTest::~ModemLoopbackTest() = default;

Diag::DiagnosticResult* ModemLoopbackTest::runCheck(char* comPort, const Diag::DiagnosticSettings& /*settings*/)
{
    return CheckLoopback(comPort);
}

Diag::DiagnosticResult* ModemLoopbackTest::CheckLoopback(char* comPort)
{
    const int selfTestSteps = 30;
    char buf[256];

    Check check;
    if (!openModem(check, comPort)) {
        return abortExit(check);
    }

    PortPrintf(check.hPort, "at&t8\r");
    if (!PortWaitFor(check.hPort, "OK\r", 3000)) {
        postEvent(INCORRECT_AT_RESPONSE_WARNING, Diag::WARNING_EVENT);
        check.presult = makeResult(Diag::UNUSUAL_STATUS, INCORRECT_AT_RESPONSE_WARNING, Diag::WARNING_EVENT);
        return abortExit(check);
    }

    // The self test runs for 30 steps of 100 ms; an abort request is seen
    // within one step.
    for (int iteration = 0; iteration < selfTestSteps; ++iteration) {
        System::SysUtil::sleepForMilliseconds(100);
        if (abortRequested()) {
            break;
        }
        m_status.setProgress(static_cast<Uint>(((iteration + 1) * 100) / selfTestSteps));
    }

    // Hanging up ends the self test, aborted or not; the modem then sends
    // its error count as the first non-empty line.
    PortPrintf(check.hPort, "ath\r");
    if (!PortReadLine(check.hPort, buf, sizeof buf, 5000)) {
        postEvent(INCORRECT_AT_RESPONSE_WARNING, Diag::WARNING_EVENT);
        check.presult = makeResult(Diag::UNUSUAL_STATUS, INCORRECT_AT_RESPONSE_WARNING, Diag::WARNING_EVENT);
        return abortExit(check);
    }

    // The "OK" after the count; a modem that misses it is asked again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (PortWaitFor(check.hPort, "OK\r", 3000)) {
            break;
        }
        PortPrintf(check.hPort, "ath\r");
    }

    if (abortRequested()) {
        check.presult = makeResult(Diag::PASSED, TEST_ABORTED, Diag::INFORMATION_EVENT);
        return abortExit(check);
    }

    const std::int32_t count = ErrorCount(buf);
    logLine(check.funcName, std::to_string(count) + " loopback errors reported");
    if (count != 0) {
        postEvent(LOOPBACK_TEST_ERRORS_REPORTED, Diag::ERROR_EVENT);
        check.presult = makeResult(Diag::FAILED, LOOPBACK_TEST_ERRORS_REPORTED, Diag::ERROR_EVENT);
    } else {
        postEvent(LOOPBACK_TEST_NO_ERRORS_REPORTED, Diag::INFORMATION_EVENT);
    }

    PortWaitFor(check.hPort, "OK\r", 1000);
    return normalExit(check, 0);
}

}  // namespace ModemDiag
}  // namespace QuarnDiags
