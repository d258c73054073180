// Types.cpp - display names of the framework's enumerations.
#include "QuarnDiags/Types.h"

namespace QuarnDiags {
namespace Diag {

const char* eventTypeName(EventType type)
{
    switch (type) {
    case INFORMATION_EVENT: return "INFORMATION_EVENT";
    case WARNING_EVENT: return "WARNING_EVENT";
    case ERROR_EVENT: return "ERROR_EVENT";
    }
    return "UNKNOWN";
}

const char* testResultName(TestResult result)
{
    switch (result) {
    case PASSED: return "PASSED";
    case UNUSUAL_STATUS: return "UNUSUAL_STATUS";
    case FAILED: return "FAILED";
    }
    return "UNKNOWN";
}

}  // namespace Diag
}  // namespace QuarnDiags
