// DiagnosticStatus.cpp - atomic status and progress.
#include "QuarnDiags/DiagnosticStatus.h"

namespace QuarnDiags {
namespace Diag {

DiagnosticStatus::DiagnosticStatus() noexcept : m_status(READY), m_progress(0) {}

DiagnosticStatus::DiagnosticStatus(Status status, Uint progress) noexcept
    : m_status(status), m_progress(progress > 100 ? 100 : progress)
{
}

DiagnosticStatus::DiagnosticStatus(const DiagnosticStatus& other) noexcept
    : m_status(other.m_status.load()), m_progress(other.m_progress.load())
{
}

DiagnosticStatus& DiagnosticStatus::operator=(const DiagnosticStatus& other) noexcept
{
    m_status.store(other.m_status.load());
    m_progress.store(other.m_progress.load());
    return *this;
}

DiagnosticStatus::Status DiagnosticStatus::getStatus() const noexcept
{
    return static_cast<Status>(m_status.load());
}

void DiagnosticStatus::setStatus(Status status) noexcept
{
    m_status.store(status);
}

Uint DiagnosticStatus::getProgress() const noexcept
{
    return m_progress.load();
}

void DiagnosticStatus::setProgress(Uint progress) noexcept
{
    m_progress.store(progress > 100 ? 100 : progress);
}

const char* DiagnosticStatus::statusName(Status status)
{
    switch (status) {
    case READY: return "READY";
    case COMPLETED: return "COMPLETED";
    case EXECUTING: return "EXECUTING";
    case SUSPENDED: return "SUSPENDED";
    case UNKNOWN: return "UNKNOWN";
    }
    return "UNKNOWN";
}

}  // namespace Diag
}  // namespace QuarnDiags
