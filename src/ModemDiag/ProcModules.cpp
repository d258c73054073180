// ProcModules.cpp - the driver module's use count, read from /proc/modules.
#include "VelkLinux.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "SystemPath.h"

namespace {

// The driver module whose use count tells whether the modems are busy.
const char kDriverModule[] = "TSYSM";
const std::size_t kDriverModuleLength = sizeof kDriverModule - 1;

// What is kept of each line: its name and the two numbers after it always
// fit, and a line longer than this (a module that many others use lists
// them all) is read to its end and then judged by its start.
const std::size_t kLineStart = 511;

// A real module list is a few kilobytes. A list that is still going after
// this much is no module list (an endless stream put in its place), and the
// read stops there with one line rather than reading forever.
const std::size_t kMaxListBytes = 16u << 20;

// Judges one line, cut to its first kLineStart bytes: true when it is the
// driver's line ("TSYSM" then white space, so "TSYSMX" is another module)
// with a nonzero size and a nonzero use count. Numbers beyond their range
// saturate, and so still count as nonzero.
bool DriverLineInUse(const char* line)
{
    if (std::strncmp(line, kDriverModule, kDriverModuleLength) != 0 ||
        !std::isspace(static_cast<unsigned char>(line[kDriverModuleLength]))) {
        return false;
    }
    const char* sizeText = line + kDriverModuleLength;
    char* end = nullptr;
    const long long size = std::strtoll(sizeText, &end, 10);
    return size != 0 && std::strtoll(end, nullptr, 10) != 0;
}

}  // namespace

extern "C" Boolean ModemsInUse(void)
{
    const int fd = OpenSystemFile("/proc/modules");
    if (fd < 0) {
        return 0;
    }
    // Lines are gathered from whole-block reads; each keeps its start only.
    Boolean inUse = 0;
    char line[kLineStart + 1];
    std::size_t kept = 0;
    std::size_t total = 0;
    char block[4096];
    for (;;) {
        const ssize_t got = read(fd, block, sizeof block);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        for (ssize_t i = 0; i < got; ++i) {
            if (block[i] == '\n') {
                line[kept] = '\0';
                inUse = DriverLineInUse(line) ? 1 : inUse;
                kept = 0;
            } else if (kept < kLineStart) {
                line[kept++] = block[i];
            }
        }
        total += static_cast<std::size_t>(got);
        if (total >= kMaxListBytes) {
            ErrorMessage("/proc/modules goes on past %u MiB, read stopped", static_cast<unsigned>(kMaxListBytes >> 20));
            kept = 0;
            break;
        }
    }
    // The last line may lack its line end.
    line[kept] = '\0';
    inUse = DriverLineInUse(line) ? 1 : inUse;
    close(fd);
    return inUse;
}
