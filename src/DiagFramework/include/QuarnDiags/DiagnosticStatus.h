// DiagnosticStatus.h - state and progress of a test or of a whole diagnostic.
#pragma once

#include <atomic>

#include "QuarnDiags/Types.h"

namespace QuarnDiags {
namespace Diag {

// Written by the thread that runs a test and read by the host from any
// thread while the run blocks, so both fields are atomics. Copies are
// snapshots.
class QUARNDIAGS_API DiagnosticStatus {
public:
    enum Status {
        READY = 0,
        COMPLETED = 1,
        EXECUTING = 2,
        SUSPENDED = 3,
        UNKNOWN = 4
    };

    DiagnosticStatus() noexcept;
    DiagnosticStatus(Status status, Uint progress) noexcept;
    DiagnosticStatus(const DiagnosticStatus& other) noexcept;
    DiagnosticStatus& operator=(const DiagnosticStatus& other) noexcept;

    Status getStatus() const noexcept;
    void setStatus(Status status) noexcept;

    // Percentage 0 to 100; larger values are stored as 100.
    Uint getProgress() const noexcept;
    void setProgress(Uint progress) noexcept;

    static const char* statusName(Status status);

private:
    std::atomic<int> m_status;
    std::atomic<Uint> m_progress;
};

}  // namespace Diag
}  // namespace QuarnDiags
