// fuzz_proc_modules.cpp - the driver use count read from arbitrary /proc/modules contents.
#include <cstdint>

#include "FuzzRoot.h"
#include "VelkLinux.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzzroot::WriteFile("/proc/modules", data, size);
    const Boolean inUse = ModemsInUse();
    if (inUse > 1) {
        __builtin_trap();
    }
    return 0;
}
