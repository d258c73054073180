// ExportClass.cpp - package configuration path and the factories the host calls.
#include "ExportClass.h"

#include <cassert>

#include "ModemDeviceEnumerator.h"
#include "ModemDiagnostic.h"
#include "PluginContract.h"

std::string g_configFileName;
std::string g_packageDirPath(".");
std::string g_logDirPath(".");

extern "C" void setPackageConfigFile(const char* apcFileName)
{
    g_configFileName = apcFileName != nullptr ? apcFileName : "";

    // An empty path breaks the host's side of the contract. A debug build
    // stops here; a release build keeps the folders it had, since a plug-in
    // must never take its host down.
    assert(!g_configFileName.empty());
    if (g_configFileName.empty()) {
        return;
    }

    modemdiag::FoldersOfPackage(g_configFileName, g_packageDirPath, g_logDirPath);
}

extern "C" QuarnDiags::DeviceEnum::IDeviceEnumerator* getIDeviceEnumerator(
    bool diagLog, QuarnDiags::DeviceEnum::IDeviceEnumerator::DiagnosticMode diagMode)
{
    return new QuarnDiags::ModemDiag::ModemDeviceEnumerator(diagLog, diagMode);
}

extern "C" QuarnDiags::Diag::IDiagnostics* getIDiagnostics(
    bool diagLog, QuarnDiags::DeviceEnum::IDeviceEnumerator::DiagnosticMode diagMode)
{
    return new QuarnDiags::ModemDiag::ModemDiagnostic(diagLog, diagMode);
}
