// ProcKcore.cpp - physical memory through /proc/kcore, a physical address being the offset in that file.
#include "VelkLinux.h"

#include <cstdio>
#include <unistd.h>

#include "SystemPath.h"

extern "C" FILE* InitPhysMem(void)
{
    // Not blocking on open keeps a FIFO in its place from hanging the host.
    const int fd = OpenSystemFile("/proc/kcore");
    FILE* kcore = fd >= 0 ? fdopen(fd, "rb") : nullptr;
    if (kcore == nullptr) {
        if (fd >= 0) {
            close(fd);
        }
        ErrorMessage("Failed to open /proc/kcore");
        return kInvalidPhysMem;
    }
    return kcore;
}

extern "C" int ClosePhysMem(FILE* fPhysMem)
{
    if (fPhysMem == nullptr || fPhysMem == kInvalidPhysMem || std::fclose(fPhysMem) != 0) {
        ErrorMessage("Error closing /proc/kcore");
        return -1;
    }
    return 0;
}

extern "C" std::uint32_t ReadPhysMem(FILE* fPhysMem, std::uint32_t address, void* buffer, std::size_t nBytes)
{
    if (fPhysMem == nullptr || fPhysMem == kInvalidPhysMem ||
        fseeko(fPhysMem, static_cast<off_t>(address), SEEK_SET) != 0) {
        ErrorMessage("Failed to seek in /proc/kcore");
        return 0xFFFFFFFFu;
    }
    if (std::fread(buffer, 1, nBytes, fPhysMem) != nBytes) {
        ErrorMessage("Failed to read in /proc/kcore");
        return 0xFFFFFFFFu;
    }
    return 0;
}

std::size_t ReadPhysMemAvailable(FILE* fPhysMem, std::uint32_t address, void* buffer, std::size_t nBytes)
{
    if (fPhysMem == nullptr || fPhysMem == kInvalidPhysMem ||
        fseeko(fPhysMem, static_cast<off_t>(address), SEEK_SET) != 0) {
        return 0;
    }
    const std::size_t got = std::fread(buffer, 1, nBytes, fPhysMem);
    std::clearerr(fPhysMem);
    return got;
}
