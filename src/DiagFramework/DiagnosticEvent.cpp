// DiagnosticEvent.cpp - events and results of functional tests.
#include "QuarnDiags/DiagnosticEvent.h"
#include "QuarnDiags/DiagnosticResult.h"

namespace QuarnDiags {
namespace Diag {

DiagnosticEvent::DiagnosticEvent(Uint id, EventType type) : m_id(id), m_type(type) {}

DiagnosticEvent::~DiagnosticEvent() = default;

DiagnosticResult::DiagnosticResult(TestResult result, Uint id, EventType type)
    : m_result(result), m_id(id), m_type(type)
{
}

DiagnosticResult::~DiagnosticResult() = default;

}  // namespace Diag
}  // namespace QuarnDiags
