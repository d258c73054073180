// Types.h - basic types and enumerations of the host framework.
#pragma once

#include <cstdint>

#include "QuarnDiags/Export.h"

namespace QuarnDiags {

using Uint = std::uint32_t;

namespace Diag {

// Kind of an event posted by a test, and of the event a result stands for.
enum EventType {
    INFORMATION_EVENT = 0,
    WARNING_EVENT = 1,
    ERROR_EVENT = 2
};

// Verdict of one functional test.
enum TestResult {
    PASSED = 0,
    UNUSUAL_STATUS = 1,
    FAILED = 2
};

// Message codes every diagnostic shares; a plug-in numbers its own from 100.
enum MsgConstants {
    TEST_COMPLETED_SUCCESSFULLY = 0,
    TEST_ABORTED = 1,
    TEST_EXECUTING = 2,
    INVALID_DEVICE_REFERENCE = 3
};

// Symbolic names for display ("INFORMATION_EVENT", "PASSED"); "UNKNOWN" for
// a value outside the enumeration.
QUARNDIAGS_API const char* eventTypeName(EventType type);
QUARNDIAGS_API const char* testResultName(TestResult result);

}  // namespace Diag
}  // namespace QuarnDiags
