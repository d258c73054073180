// DriverTtys.cpp - the modem driver's ttys /dev/ttySM0 upward, each asked for its version.
#include "VelkLinux.h"

#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include "SystemPath.h"

namespace {

// What a tty node is when it is not a character device, for the report.
const char* NodeKind(mode_t mode)
{
    if (S_ISREG(mode)) {
        return "regular file";
    }
    if (S_ISDIR(mode)) {
        return "folder";
    }
    if (S_ISFIFO(mode)) {
        return "FIFO";
    }
    if (S_ISSOCK(mode)) {
        return "socket";
    }
    return "special file";
}

}  // namespace

BOOL CheckModemVersion(const char* comPort, char* version, long cbVersion)
{
    const HANDLE port = PortOpen(comPort);
    if (port == -1) {
        return FALSE;
    }
    if (!PortSetup(port)) {
        PortClose(port);
        return FALSE;
    }
    PortPrintf(port, "ate0\r");
    PortWaitFor(port, "OK\r", 1000);

    // One spare zero byte keeps the line a string even when PortReadLine
    // fills all 256 bytes without a carriage return.
    char line[257];
    std::memset(line, 0, sizeof line);
    PortPrintf(port, "ati3\r");
    PortReadLine(port, line, 256, 1000);
    PortWaitFor(port, "OK\r", 1000);

    static const char kVersionTag[] = "Version ";
    const char* found = std::strstr(line, kVersionTag);
    if (found == nullptr || version == nullptr || cbVersion <= 0) {
        PortClose(port);
        return FALSE;
    }
    std::strncpy(version, found + sizeof kVersionTag - 1, static_cast<std::size_t>(cbVersion));
    PortClose(port);
    return TRUE;
}

extern "C" int BuildDeviceTable(devDetailStruct* devDetails, std::uint32_t* numEntries, const char* /*productName*/)
{
    ProgressMessage("Function started");
    if (devDetails == nullptr || numEntries == nullptr) {
        ErrorMessage("No table to fill");
        return -1;
    }
    const std::uint32_t capacity = *numEntries;
    std::memset(devDetails, 0, capacity * sizeof *devDetails);

    // The ttys are numbered without gaps from 0: the first missing number
    // ends the table, so entry n always describes the tty numbered n.
    std::uint32_t count = 0;
    while (count < capacity) {
        char path[64];
        std::snprintf(path, sizeof path, "/dev/ttySM%u", static_cast<unsigned>(count));
        struct stat info;
        if (stat(SystemPath(path).c_str(), &info) != 0) {
            break;
        }
        devDetailStruct& entry = devDetails[count];
        // At most 16 bytes; the cleared entry supplies the zero padding.
        std::memcpy(entry.comPort, path, strnlen(path, sizeof entry.comPort));
        // Any node counts, as the contract says; one that is no tty gets its
        // version query refused by the serial layer at once. It is named in
        // one line beyond the contract's: only a broken system has such a
        // node, and the log then says why its modem did not answer.
        if (!S_ISCHR(info.st_mode)) {
            ErrorMessage("%s is a %s, not a tty", path, NodeKind(info.st_mode));
        }
        CheckModemVersion(entry.comPort, entry.driverVersion, sizeof entry.driverVersion);
        entry.bus = -1;
        ++count;
    }

    *numEntries = count;
    ProgressMessage("Normal exit");
    return 0;
}
