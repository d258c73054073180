// VelkLinux.h - Linux access to PCI configuration space, driver ttys, /proc/modules and BIOS memory.
#pragma once

// One file per access method stands behind these declarations: ProcPci.cpp
// (configuration files under /proc/bus/pci), ProcModules.cpp (the driver's
// use count), ProcKcore.cpp (BIOS memory) and DriverTtys.cpp (the driver's
// ttys and their version query).

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "PortComm.h"
#include "Velk.h"

// Driver registration handle (unused on Linux, kept in the record).
typedef std::int32_t HKEY;

// The driver's view of a device.
enum zephDevStatus : std::uint32_t {
    DEVSTATUS_ENABLED = 0,
    DEVSTATUS_DISABLED = 1,
    DEVSTATUS_PROBLEM = 2,
    DEVSTATUS_PRIVATEPROBLEM = 3,
    DEVSTATUS_NOTSTARTED = 4
};

// One modem as the driver side sees it. Text fields are NUL-terminated and
// zero-filled. On Linux only driverVersion, comPort, bus and deviceStatus
// are filled by discovery; slot and the PCI location come from the
// enumerator. An empty comPort means no driver tty belongs to the device.
struct devDetailStruct {
    char friendlyName[256];
    char driverVersion[256];
    char comPort[16];
    HKEY hkr;
    char infName[256];
    char infSection[256];
    char infSectionExt[256];
    std::uint32_t vendorId;
    std::uint32_t deviceId;
    std::uint32_t subsysId;
    Boolean pciLocationKnown;
    std::int32_t bus;
    std::int32_t device;
    std::int32_t function;
    std::uint32_t slot;
    char uiNumber[64];
    HKEY secondHkr;
    char secondInfName[256];
    char secondInfSection[256];
    char secondInfSectionExt[256];
    char osLocator[256];
    zephDevStatus deviceStatus;
};
static_assert(sizeof(zephDevStatus) == 4, "zephDevStatus is a 32-bit enum");
static_assert(offsetof(devDetailStruct, comPort) == 512, "devDetailStruct layout");
static_assert(offsetof(devDetailStruct, vendorId) == 1300, "devDetailStruct layout");
static_assert(offsetof(devDetailStruct, pciLocationKnown) == 1312, "devDetailStruct layout");
static_assert(offsetof(devDetailStruct, bus) == 1316, "devDetailStruct layout");
static_assert(offsetof(devDetailStruct, slot) == 1328, "devDetailStruct layout");
static_assert(offsetof(devDetailStruct, uiNumber) == 1332, "devDetailStruct layout");
static_assert(offsetof(devDetailStruct, deviceStatus) == 2424, "devDetailStruct layout");
static_assert(sizeof(devDetailStruct) == 2428, "devDetailStruct layout");

extern "C" {

// PCI configuration access. devMask: bus in bits 16-23, device in 11-15,
// function in 8-10 (bit 31 ignored); offset: only its low 8 bits are used.
MODEMDIAG_EXPORT Boolean InitPciAccess(const char* driverPath);
MODEMDIAG_EXPORT void ClosePciAccess(void);
MODEMDIAG_EXPORT void SCClose(void);
MODEMDIAG_EXPORT std::uint32_t PciCfgReadDword(std::uint32_t devMask, int offset);
MODEMDIAG_EXPORT std::uint16_t PciCfgReadWord(std::uint32_t devMask, int offset);
// Address (bit 31 set) of the nDev-th function (from 0) on buses 0-7 whose
// offset-0 dword equals DevID (device ID << 16 | vendor ID); 0 when none.
MODEMDIAG_EXPORT std::uint32_t PciFindDevice(std::uint32_t DevID, int nDev);

// Driver ttys "/dev/ttySM0" upward, each asked for its version. *numEntries
// holds the capacity on entry and the count found on return. Returns 0.
MODEMDIAG_EXPORT int BuildDeviceTable(devDetailStruct* devDetails, std::uint32_t* numEntries,
                                      const char* productName);
// True when the driver module is loaded and in use (nonzero use count).
MODEMDIAG_EXPORT Boolean ModemsInUse(void);

// BIOS memory through /proc/kcore, a physical address being the offset in
// that file. InitPhysMem returns the stream, or kInvalidPhysMem after
// reporting the failure. ReadPhysMem reads exactly nBytes: 0 on success,
// 0xFFFFFFFF after reporting a failed seek or a short read.
MODEMDIAG_EXPORT FILE* InitPhysMem(void);
MODEMDIAG_EXPORT int ClosePhysMem(FILE* fPhysMem);
MODEMDIAG_EXPORT std::uint32_t ReadPhysMem(FILE* fPhysMem, std::uint32_t address, void* buffer, std::size_t nBytes);

}  // extern "C"

// Internal to the plug-in from here on.

// The standard PCI configuration header: every field discovery reads lies
// in it (IDs at 0, class at 9, subsystem IDs at 0x2C and 0x2E).
const std::size_t kPciHeaderSize = 64;

// Called by PciScanDevices for each matching function with its address word
// (bit 31 set) and its configuration header; returns false to end the scan.
typedef bool (*PciMatchCallback)(void* context, std::uint32_t devMask, const std::uint8_t* header);

// Walks buses 0 to 7 in (bus, device, function) order and calls match for
// every function whose dword at offset 0 equals DevID. Only functions listed
// in the procfs folders are opened, each once; header bytes past the end of
// a short file read as 0, as PciCfgReadDword reads them.
void PciScanDevices(std::uint32_t DevID, PciMatchCallback match, void* context);

// Reads up to nBytes at a physical address without reporting anything;
// returns the number of bytes read (0 when even the seek fails).
std::size_t ReadPhysMemAvailable(FILE* fPhysMem, std::uint32_t address, void* buffer, std::size_t nBytes);

// Little-endian fields assembled byte by byte, whatever the alignment.
inline std::uint16_t LoadLe16(const std::uint8_t* bytes)
{
    return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}
inline std::uint32_t LoadLe32(const std::uint8_t* bytes)
{
    return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
           (static_cast<std::uint32_t>(bytes[2]) << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
}

// The invalid-stream marker of InitPhysMem: the value -1 in place of a stream.
inline FILE* const kInvalidPhysMem = reinterpret_cast<FILE*>(static_cast<std::intptr_t>(-1));

// Asks the modem on comPort for its version ("ati3"); copies the text after
// "Version " into version (at most cbVersion bytes, zero-padded). Internal
// to the plug-in.
BOOL CheckModemVersion(const char* comPort, char* version, long cbVersion);
