// FuzzRoot.h - a simulated system root and a message log for the fuzz targets.
#pragma once

#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "Velk.h"

namespace fuzzroot {

// A folder that MODEMDIAG_SYSROOT names for the whole run, with the
// folders below it that a target writes to. Messages go to /dev/null, so
// that their formatting runs too.
inline const std::string& Root()
{
    static const std::string root = [] {
        // $TMPDIR first: on a memory file system the files each input
        // writes cost far less.
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") + "/modemdiag-fuzz-XXXXXX";
        const std::string path = mkdtemp(&pattern[0]) != nullptr ? pattern : "/tmp";
        for (const char* folder : {"/proc", "/proc/bus", "/proc/bus/pci", "/proc/bus/pci/00", "/dev"}) {
            mkdir((path + folder).c_str(), 0755);
        }
        setenv("MODEMDIAG_SYSROOT", path.c_str(), 1);
        static std::ofstream sink("/dev/null");
        gpLogFile = &sink;
        return path;
    }();
    return root;
}

// A broken promise stops the run; libFuzzer keeps the input.
inline void Expect(bool holds)
{
    if (!holds) {
        __builtin_trap();
    }
}

inline void WriteFile(const std::string& logicalPath, const void* data, std::size_t size)
{
    std::ofstream out(Root() + logicalPath, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace fuzzroot
