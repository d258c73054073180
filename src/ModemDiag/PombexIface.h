// PombexIface.h - verbose data, internal errors and test parameters.
#pragma once

#include "PluginExport.h"
#include "Velk.h"

extern "C" {

// Gate of ReportVerboseData; the host may set it, the plug-in never does.
MODEMDIAG_EXPORT extern Boolean gVerboseMode;

// Both report their finished text through ErrorMessage as text, so a percent
// sign in the result is logged as it stands.
MODEMDIAG_EXPORT void ReportVerboseData(const char* data, ...) MODEMDIAG_PRINTF(1, 2);
MODEMDIAG_EXPORT void ReportInternalError(const char* errorMsg, ...) MODEMDIAG_PRINTF(1, 2);

// Named test parameters. This plug-in has none: the answer is always 0 (not
// found) and outBuffer is left as it is, so callers keep their defaults.
MODEMDIAG_EXPORT int GetTestParameter(const char* parName, char* outBuffer, int outBufferSize);

}  // extern "C"
