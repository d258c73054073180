// ModemDiagMsg.h - event and result codes of the modem tests.
#pragma once

#include "QuarnDiags/Types.h"

namespace QuarnDiags {
namespace ModemDiag {

// Codes 0 to 3 are the framework's own (MsgConstants) under the same names;
// the modem tests' codes start at 100.
enum MsgCodes : Uint {
    TEST_COMPLETED_SUCCESSFULLY = Diag::TEST_COMPLETED_SUCCESSFULLY,
    TEST_ABORTED = Diag::TEST_ABORTED,
    TEST_EXECUTING = Diag::TEST_EXECUTING,
    INVALID_DEVICE_REFERENCE = Diag::INVALID_DEVICE_REFERENCE,
    DIALTONE_PRESENT = 100,
    NO_DIALTONE = 101,
    CANT_OPEN_PORT = 102,
    CANT_INIT_PORT = 103,
    CORRECT_AT_RESPONSE = 104,
    INCORRECT_AT_RESPONSE_ERROR = 105,
    LOOPBACK_TEST_ERRORS_REPORTED = 106,
    TEST_FAILED = 107,
    HALTED_ON_ERROR = 108,
    NO_DIALTONE_WARNING = 109,
    LOOPBACK_TEST_NO_ERRORS_REPORTED = 110,
    MODEMS_IN_USE = 111,
    INCORRECT_AT_RESPONSE_WARNING = 112
};

}  // namespace ModemDiag
}  // namespace QuarnDiags
