// Velk.cpp - message functions (prefix, cut at 511 characters, one line each) and the PCI hardware table.
#include "Velk.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "ExportClass.h"
#include "PluginContract.h"
#include "VelkLinux.h"

char gFunctionName[512];
std::ofstream* gpLogFile = nullptr;

namespace {

const std::size_t kMessageSize = 512;

enum MessageKind { kError, kProgress };

// Logs one message behind the operation name, or behind the fixed tag of
// its kind when no operation is named.
void ReportPrefixed(MessageKind kind, const char* format, va_list args) MODEMDIAG_PRINTF(2, 0);

void ReportPrefixed(MessageKind kind, const char* format, va_list args)
{
    char text[kMessageSize];
    FormatText(text, sizeof text, format, args);
    if (gFunctionName[0] != '\0') {
        LogMessage("%s() - %s", gFunctionName, text);
    } else if (kind == kProgress) {
        LogMessage("Status: %s", text);
    } else {
        LogMessage("%s%s", modemdiag::kErrorLinePrefix, text);
    }
}

}  // namespace

void FormatText(char* buffer, std::size_t size, const char* format, va_list args)
{
    if (size == 0) {
        return;
    }
    if (format == nullptr) {
        buffer[0] = '\0';
        return;
    }
    vsnprintf(buffer, size, format, args);
}

void EscapeLineText(const char* text, char* line, std::size_t size)
{
    if (size == 0) {
        return;
    }
    static const char kHex[] = "0123456789abcdef";
    std::size_t used = 0;
    for (const char* at = text != nullptr ? text : ""; *at != '\0'; ++at) {
        const unsigned char c = static_cast<unsigned char>(*at);
        char escape[4];
        std::size_t length = 1;
        escape[0] = *at;
        if (c == '\n' || c == '\r') {
            escape[0] = '\\';
            escape[1] = c == '\n' ? 'n' : 'r';
            length = 2;
        } else if ((c < 0x20 && c != '\t') || c == 0x7F) {
            escape[0] = '\\';
            escape[1] = 'x';
            escape[2] = kHex[c >> 4];
            escape[3] = kHex[c & 0x0F];
            length = 4;
        }
        if (used + length > size - 1) {
            break;
        }
        std::memcpy(line + used, escape, length);
        used += length;
    }
    line[used] = '\0';
}

extern "C" void LogMessage(const char* msg, ...)
{
    char text[kMessageSize];
    va_list args;
    va_start(args, msg);
    FormatText(text, sizeof text, msg, args);
    va_end(args);
    if (gpLogFile != nullptr && gpLogFile->is_open()) {
        // Modem replies and file contents reach messages; escaped, none of
        // them can end the line early and forge another.
        char line[kMessageSize];
        EscapeLineText(text, line, sizeof line);
        *gpLogFile << line << std::endl;
    }
}

extern "C" void ErrorMessage(const char* errorMsg, ...)
{
    va_list args;
    va_start(args, errorMsg);
    ReportPrefixed(kError, errorMsg, args);
    va_end(args);
}

extern "C" void ProgressMessage(const char* errorMsg, ...)
{
    va_list args;
    va_start(args, errorMsg);
    ReportPrefixed(kProgress, errorMsg, args);
    va_end(args);
}

extern "C" void SetFunctionName(const char* prefix)
{
    if (prefix == nullptr) {
        prefix = "";
    }
    std::strncpy(gFunctionName, prefix, sizeof gFunctionName - 1);
    gFunctionName[sizeof gFunctionName - 1] = '\0';
}

namespace {

// The table being filled by BuildHWDeviceTable, one scan match at a time.
struct HwTableFill {
    hwDevDetailStruct* table;
    std::uint32_t count;
    std::uint16_t deviceID;
    std::uint16_t vendorID;
};

bool AddHwDevice(void* context, std::uint32_t devMask, const std::uint8_t* header)
{
    HwTableFill* fill = static_cast<HwTableFill*>(context);
    // The caller's table has 32 entries and the contract leaves a fuller
    // machine open: the table stops there, and one line says so.
    if (fill->count == kHwDevTableCapacity) {
        ErrorMessage("More than %u matching PCI functions; only the first %u are listed",
                     static_cast<unsigned>(kHwDevTableCapacity), static_cast<unsigned>(kHwDevTableCapacity));
        return false;
    }
    hwDevDetailStruct& entry = fill->table[fill->count++];
    entry.deviceID = fill->deviceID;
    entry.vendorID = fill->vendorID;
    entry.subsystemID = LoadLe16(header + 0x2E);
    entry.subsystemVendorID = LoadLe16(header + 0x2C);
    // The 24-bit class code: base class in bits 16-23, subclass in 8-15,
    // programming interface in 0-7 (the dword at 8 without its revision).
    entry.classCode = LoadLe32(header + 0x08) >> 8;
    entry.bus = static_cast<std::int32_t>((devMask >> 16) & 0xFF);
    entry.device = static_cast<std::int32_t>((devMask >> 11) & 0x1F);
    entry.function = static_cast<std::int32_t>((devMask >> 8) & 0x07);
    return true;
}

}  // namespace

extern "C" int BuildHWDeviceTable(hwDevDetailStruct* hwDevDetails, std::uint32_t* numEntries, int deviceID,
                                  int vendorID)
{
    ProgressMessage("Function started");
    if (!InitPciAccess(g_packageDirPath.c_str())) {
        ErrorMessage("Unable to initialize helper driver");
        ProgressMessage("Unable to initialize helper driver: exiting");
        return -1;
    }
    if (hwDevDetails == nullptr || numEntries == nullptr) {
        ErrorMessage("No table to fill");
        ClosePciAccess();
        return -1;
    }

    // One pass over the buses finds every match in scan order; the table
    // never grows past the caller's kHwDevTableCapacity entries.
    HwTableFill fill = {hwDevDetails, 0, static_cast<std::uint16_t>(deviceID & 0xFFFF),
                        static_cast<std::uint16_t>(vendorID & 0xFFFF)};
    const std::uint32_t devId = static_cast<std::uint32_t>(fill.deviceID) << 16 | fill.vendorID;
    PciScanDevices(devId, AddHwDevice, &fill);

    *numEntries = fill.count;
    ClosePciAccess();
    ProgressMessage("Normal exit");
    return 0;
}
