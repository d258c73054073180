// IFunctionalTest.cpp - base of functional tests.
#include "QuarnDiags/IFunctionalTest.h"

namespace QuarnDiags {
namespace Diag {

IFunctionalTest::IFunctionalTest(std::ofstream& logFile, EventQueue& eventQueue)
    : m_logFile(logFile), m_eventQueue(eventQueue)
{
}

IFunctionalTest::~IFunctionalTest() = default;

DiagnosticStatus IFunctionalTest::getStatus() const
{
    return m_status;
}

void IFunctionalTest::addDiagnosticEvent(DiagnosticEvent* pEvent)
{
    m_eventQueue.post(pEvent);
}

}  // namespace Diag
}  // namespace QuarnDiags
