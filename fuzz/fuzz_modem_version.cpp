// fuzz_modem_version.cpp - the firmware text taken from an arbitrary ati3 reply.
//
// The input is the modem's whole answer to "ati3\r" on /dev/ttySM0 (it
// answers "ate0\r" with OK). The driver table is built over it and the
// modem device made from its entry, as an enumeration does. The firmware
// text must be a terminated string the modem actually sent, the device
// must carry it unchanged, and its log line must stay one line.
#include <cstdint>
#include <cstring>
#include <string>

#include "FakeClock.h"
#include "FuzzModem.h"
#include "FuzzRoot.h"
#include "ModemDevice.h"
#include "Velk.h"
#include "VelkLinux.h"

using fuzzroot::Expect;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzzroot::Root();
    const std::string reply(reinterpret_cast<const char*>(data), size);
    if (!fuzzmodem::Modem::Instance().Script({{"ate0\r", "\r\nOK\r\n"}, {"ati3\r", reply}})) {
        return 0;
    }
    devDetailStruct table[2];
    std::uint32_t count = 2;
    {
        const fakeclock::Instant instant;
        Expect(BuildDeviceTable(table, &count, "") == 0 && count == 1);
    }
    const devDetailStruct& entry = table[0];
    const std::size_t length = strnlen(entry.driverVersion, sizeof entry.driverVersion);
    Expect(length < sizeof entry.driverVersion);  // always a terminated string
    // Only text the modem sent.
    Expect(length == 0 || reply.find(std::string(entry.driverVersion, length)) != std::string::npos);

    QuarnDiags::ModemDiag::ModemDevice device("TSY V.92 56K Modem", "", "", "", "", entry.comPort, 0, &entry);
    Expect(device.getDeviceFruInfo().getDeviceFirmwareRevisionLevel() == entry.driverVersion);
    char line[512];
    EscapeLineText(entry.driverVersion, line, sizeof line);
    Expect(std::strpbrk(line, "\r\n\x1b") == nullptr);  // one log line, no terminal escapes
    return 0;
}
