// SysUtil.h - system helpers for diagnostics.
#pragma once

#include "QuarnDiags/Types.h"

namespace QuarnDiags {
namespace System {

class QUARNDIAGS_API SysUtil {
public:
    // Blocks the calling thread for at least ms milliseconds, measured on
    // the monotonic clock; signals do not cut the pause short.
    static void sleepForMilliseconds(Uint ms);
};

}  // namespace System
}  // namespace QuarnDiags
