// PluginExport.h - marks the plug-in's few public symbols; all else is hidden.
#pragma once

#define MODEMDIAG_EXPORT __attribute__((visibility("default")))

// printf-style checking of format strings in the reporting functions.
#define MODEMDIAG_PRINTF(fmtIndex, firstArg) __attribute__((format(printf, fmtIndex, firstArg)))
