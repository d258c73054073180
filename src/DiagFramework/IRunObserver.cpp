// IRunObserver.cpp - an observer that ignores what it is told, to derive from.
#include "QuarnDiags/IRunObserver.h"

namespace QuarnDiags {
namespace Diag {

IRunObserver::~IRunObserver() = default;

void IRunObserver::testStarted(int /*testIndex*/) {}

void IRunObserver::eventPosted(const DiagnosticEvent& /*event*/) {}

void IRunObserver::testFinished(int /*testIndex*/, const DiagnosticResult* /*result*/) {}

void IRunObserver::runFinished(const RunSummary& /*summary*/) {}

void IRunObserver::testStarting(int /*testIndex*/) {}

}  // namespace Diag
}  // namespace QuarnDiags
