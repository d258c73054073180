// DiagnosticResult.h - the outcome of one run of a functional test.
#pragma once

#include "QuarnDiags/Types.h"

namespace QuarnDiags {
namespace Diag {

class IDiagnostics;

class QUARNDIAGS_API DiagnosticResult {
public:
    DiagnosticResult(TestResult result, Uint id, EventType type);
    virtual ~DiagnosticResult();

    TestResult getResult() const { return m_result; }
    Uint getId() const { return m_id; }
    EventType getType() const { return m_type; }

    // Index of the test that returned the result, set by the diagnostic
    // that ran it (-1 before that).
    int getTestIndex() const { return m_testIndex; }

private:
    friend class IDiagnostics;

    TestResult m_result;
    Uint m_id;
    EventType m_type;
    int m_testIndex = -1;
};

}  // namespace Diag
}  // namespace QuarnDiags
