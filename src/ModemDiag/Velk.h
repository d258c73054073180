// Velk.h - reporting functions of the plug-in and the PCI hardware table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>

#include "PluginExport.h"

// Truth value of the low layers: 0 false, anything else true.
typedef std::uint8_t Boolean;

// One PCI function that matched the modem's IDs.
struct hwDevDetailStruct {
    std::uint16_t deviceID;           // the IDs searched for
    std::uint16_t vendorID;
    std::uint16_t subsystemVendorID;  // configuration word at 0x2C
    std::uint16_t subsystemID;        // configuration word at 0x2E
    std::uint32_t classCode;          // base class, subclass, prog-if (see BuildHWDeviceTable)
    std::int32_t bus;                 // 0-255
    std::int32_t device;              // 0-31
    std::int32_t function;            // 0-7
};
static_assert(sizeof(hwDevDetailStruct) == 24, "hwDevDetailStruct layout");
static_assert(offsetof(hwDevDetailStruct, classCode) == 8, "hwDevDetailStruct layout");
static_assert(offsetof(hwDevDetailStruct, bus) == 12, "hwDevDetailStruct layout");

// Entries BuildHWDeviceTable fills at the most: the size of the caller's table.
const std::uint32_t kHwDevTableCapacity = 32;

// Name of the operation in progress (at most 511 characters); when not
// empty it prefixes error and progress messages.
extern char gFunctionName[512];

// The log stream messages go to; null or closed drops them.
extern std::ofstream* gpLogFile;

#include <cstdarg>

// Formats into buffer, cut at size - 1 characters; a null format gives the
// empty text. Shared by every printf-style function of the plug-in.
void FormatText(char* buffer, std::size_t size, const char* format, va_list args) MODEMDIAG_PRINTF(3, 0);

// Copies text into line (size bytes, always terminated) so that it stays one
// log line whatever it holds: a line feed becomes "\n", a carriage return
// "\r", every other control character but the tab "\xHH". Text without
// control characters is copied unchanged; the copy stops before an escape
// that would not fit whole.
void EscapeLineText(const char* text, char* line, std::size_t size);

extern "C" {

// Each formats one message (cut at 511 characters) and appends it as one
// line to the current log stream, flushed.
MODEMDIAG_EXPORT void ErrorMessage(const char* errorMsg, ...) MODEMDIAG_PRINTF(1, 2);
MODEMDIAG_EXPORT void ProgressMessage(const char* errorMsg, ...) MODEMDIAG_PRINTF(1, 2);
MODEMDIAG_EXPORT void LogMessage(const char* msg, ...) MODEMDIAG_PRINTF(1, 2);
MODEMDIAG_EXPORT void SetFunctionName(const char* prefix);

// Scans PCI buses 0 to 7 for functions with the given IDs (low 16 bits of
// each) and fills hwDevDetails from index 0 in (bus, device, function)
// order, at most kHwDevTableCapacity entries; *numEntries receives the
// count. Returns 0, or -1 when PCI access cannot be initialised.
MODEMDIAG_EXPORT int BuildHWDeviceTable(hwDevDetailStruct* hwDevDetails, std::uint32_t* numEntries, int deviceID,
                                        int vendorID);

}  // extern "C"
