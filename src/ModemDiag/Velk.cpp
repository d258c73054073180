// Velk.cpp - message functions: prefix, cut at 511 characters, one line each.
#include "Velk.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

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
    vsnprintf(text, sizeof text, format != nullptr ? format : "", args);
    if (gFunctionName[0] != '\0') {
        LogMessage("%s() - %s", gFunctionName, text);
    } else if (kind == kProgress) {
        LogMessage("Status: %s", text);
    } else {
        LogMessage("Tessaly Modem Diagnostics: %s", text);
    }
}

}  // namespace

extern "C" void LogMessage(const char* msg, ...)
{
    char line[kMessageSize];
    va_list args;
    va_start(args, msg);
    vsnprintf(line, sizeof line, msg != nullptr ? msg : "", args);
    va_end(args);
    if (gpLogFile != nullptr && gpLogFile->is_open()) {
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
