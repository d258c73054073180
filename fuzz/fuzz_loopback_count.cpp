// fuzz_loopback_count.cpp - the loopback test judging an arbitrary error count line.
//
// The modem on /dev/ttySM0 acknowledges the reset and the self test start;
// the input is its whole answer to the first "ath\r" that ends the self
// test: the count line and whatever follows. The verdict must agree with
// the count as the test reads it: the first line that is not empty, up to
// its carriage return within 256 bytes, read in base 10 and held to 32 bits.
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "FakeClock.h"
#include "FuzzModem.h"
#include "FuzzRoot.h"
#include "ModemDevice.h"
#include "ModemDiagMsg.h"
#include "ModemLoopbackTest.h"
#include "QuarnDiags/DiagnosticSettings.h"
#include "QuarnDiags/EventQueue.h"

namespace {

using namespace QuarnDiags;

// The result the test must reach for this reply.
Uint ExpectedCode(const std::string& reply)
{
    std::size_t start = 0;
    while (start < reply.size() && (reply[start] == '\r' || reply[start] == '\n')) {
        ++start;
    }
    const std::size_t end = reply.find('\r', start);
    if (end == std::string::npos || end - start >= 256) {
        return ModemDiag::INCORRECT_AT_RESPONSE_WARNING;
    }
    const std::string line = reply.substr(start, end - start);
    const long long count = std::strtoll(line.c_str(), nullptr, 10);
    return count != 0 ? ModemDiag::LOOPBACK_TEST_ERRORS_REPORTED : ModemDiag::TEST_COMPLETED_SUCCESSFULLY;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzzroot::Root();
    const std::string reply(reinterpret_cast<const char*>(data), size);
    if (!fuzzmodem::Modem::Instance().Script({{"at&f0\r", "\r\nOK\r\n"},
                                              {"ate0\r", "\r\nOK\r\n"},
                                              {"at&t8\r", "\r\nOK\r\n"},
                                              {"ath\r", reply}})) {
        return 0;
    }
    devDetailStruct details = {};
    std::memcpy(details.comPort, "/dev/ttySM0", sizeof "/dev/ttySM0");
    ModemDiag::ModemDevice device("TSY V.92 56K Modem", "", "", "", "", details.comPort, 0, &details);
    static std::ofstream sink("/dev/null");
    Diag::EventQueue events;
    ModemDiag::ModemLoopbackTest test(sink, events);
    std::unique_ptr<Diag::DiagnosticResult> result;
    {
        const fakeclock::Instant instant;
        result.reset(test.run(&device, Diag::DiagnosticSettings()));
    }
    fuzzroot::Expect(result != nullptr && result->getId() == ExpectedCode(reply));
    return 0;
}
