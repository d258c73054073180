// ModemDeviceEnumerator.h - finds the machine's modems and hands them to the host as devices.
#pragma once

#include <cstdint>
#include <fstream>

#include "QuarnDiags/IDeviceEnumerator.h"

namespace QuarnDiags {
namespace ModemDiag {

// Pairs the modem's PCI functions (in scan order) with the driver's ttys
// (in number order), looks up each PCI slot and makes one ModemDevice per
// PCI function. The first getDeviceVector does the work; later calls return
// the same vector. Enumerators made with diagLog true share one log file,
// "TSYmodemDeviceEnumerator.log" in the log folder, which becomes the
// plug-in's message log.
class ModemDeviceEnumerator : public DeviceEnum::IDeviceEnumerator {
public:
    ModemDeviceEnumerator(bool diagLog, DiagnosticMode diagMode);
    ~ModemDeviceEnumerator() override;
    ModemDeviceEnumerator(const ModemDeviceEnumerator&) = delete;
    ModemDeviceEnumerator& operator=(const ModemDeviceEnumerator&) = delete;

    // The vector stays the enumerator's; resourceString is not used.
    DeviceEnum::VirtualDeviceVector* getDeviceVector(const char* resourceString, Uint uiDeviceType) override;

    // The shared log stream and how many enumerators hold it.
    static std::ofstream& logFile() { return s_logFile; }
    static std::uint32_t logFileInitCount() { return s_logFileInitCount; }

private:
    DeviceEnum::VirtualDeviceVector* m_pModemDevicesVector;

    static std::ofstream s_logFile;
    static std::uint32_t s_logFileInitCount;
};

}  // namespace ModemDiag
}  // namespace QuarnDiags
