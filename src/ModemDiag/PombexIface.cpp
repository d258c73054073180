// PombexIface.cpp - verbose data, internal errors and the (empty) test parameter set.
#include "PombexIface.h"

#include <cstdarg>
#include <cstdio>

Boolean gVerboseMode = 0;

extern "C" void ReportVerboseData(const char* data, ...)
{
    if (!gVerboseMode) {
        return;
    }
    char text[512];
    va_list args;
    va_start(args, data);
    FormatText(text, sizeof text, data, args);
    va_end(args);
    ErrorMessage("%s", text);
}

extern "C" void ReportInternalError(const char* errorMsg, ...)
{
    char text[512];
    va_list args;
    va_start(args, errorMsg);
    FormatText(text, sizeof text, errorMsg, args);
    va_end(args);
    ErrorMessage("%s", text);
}

extern "C" int GetTestParameter(const char* /*parName*/, char* /*outBuffer*/, int /*outBufferSize*/)
{
    return 0;
}
