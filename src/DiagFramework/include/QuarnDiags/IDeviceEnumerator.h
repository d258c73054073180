// IDeviceEnumerator.h - finds the devices a plug-in serves.
#pragma once

#include "QuarnDiags/VirtualDevice.h"

namespace QuarnDiags {
namespace DeviceEnum {

class QUARNDIAGS_API IDeviceEnumerator {
public:
    enum DiagnosticMode {
        CUSTOMER = 0,
        FACTORY = 1,
        BRINGUP = 2
    };

    IDeviceEnumerator();
    IDeviceEnumerator(bool diagLog, DiagnosticMode diagMode);
    virtual ~IDeviceEnumerator();

    // The vector stays the enumerator's; it lives as long as the enumerator.
    virtual VirtualDeviceVector* getDeviceVector(const char* resourceString, Uint uiDeviceType) = 0;

    bool getDiagLog() const { return m_diagLog; }
    DiagnosticMode getDiagMode() const { return m_diagMode; }

    static const char* diagnosticModeName(DiagnosticMode mode);

protected:
    bool m_diagLog;
    DiagnosticMode m_diagMode;
};

}  // namespace DeviceEnum
}  // namespace QuarnDiags
