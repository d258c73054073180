// DiagnosticSettings.h - how the host wants a diagnostic run.
#pragma once

#include "QuarnDiags/Export.h"

namespace QuarnDiags {
namespace Diag {

class QUARNDIAGS_API DiagnosticSettings {
public:
    explicit DiagnosticSettings(bool haltOnError = false) : m_haltOnError(haltOnError) {}

    // With halt on error a test stops at its first error, and the
    // diagnostic starts no further test after one has failed.
    bool getHaltOnError() const { return m_haltOnError; }
    void setHaltOnError(bool haltOnError) { m_haltOnError = haltOnError; }

private:
    bool m_haltOnError;
};

}  // namespace Diag
}  // namespace QuarnDiags
