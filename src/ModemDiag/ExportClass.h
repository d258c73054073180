// ExportClass.h - the plug-in's entry points and its package and log folders.
#pragma once

#include <string>

#include "PluginExport.h"
#include "QuarnDiags/IDeviceEnumerator.h"
#include "QuarnDiags/IDiagnostics.h"

// The package configuration path last given by the host, the package folder
// (the path up to its last "/") and the log folder (the package folder's
// parent followed by "/log"). Both folders are "." until the host sets a path.
extern std::string g_configFileName;
extern std::string g_packageDirPath;
extern std::string g_logDirPath;

extern "C" {

MODEMDIAG_EXPORT void setPackageConfigFile(const char* apcFileName);

// Factories; the caller owns the new object and deletes it through its base.
MODEMDIAG_EXPORT QuarnDiags::DeviceEnum::IDeviceEnumerator* getIDeviceEnumerator(
    bool diagLog, QuarnDiags::DeviceEnum::IDeviceEnumerator::DiagnosticMode diagMode);
MODEMDIAG_EXPORT QuarnDiags::Diag::IDiagnostics* getIDiagnostics(
    bool diagLog, QuarnDiags::DeviceEnum::IDeviceEnumerator::DiagnosticMode diagMode);

}  // extern "C"
