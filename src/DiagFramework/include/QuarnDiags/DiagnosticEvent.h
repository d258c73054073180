// DiagnosticEvent.h - an event that a functional test posts while it runs.
#pragma once

#include <cstdint>

#include "QuarnDiags/Types.h"

namespace QuarnDiags {
namespace Diag {

class EventQueue;

class QUARNDIAGS_API DiagnosticEvent {
public:
    DiagnosticEvent(Uint id, EventType type);
    virtual ~DiagnosticEvent();

    Uint getId() const { return m_id; }
    EventType getType() const { return m_type; }

    // Stamped by the event queue when the event is posted: the index of the
    // test that was running (-1 outside a run), the event's place in the
    // posting order of its run (from 0) and its time in milliseconds since
    // the run began.
    int getTestIndex() const { return m_testIndex; }
    Uint getSequence() const { return m_sequence; }
    std::int64_t getTimeMs() const { return m_timeMs; }

private:
    friend class EventQueue;

    Uint m_id;
    EventType m_type;
    int m_testIndex = -1;
    Uint m_sequence = 0;
    std::int64_t m_timeMs = 0;
};

}  // namespace Diag
}  // namespace QuarnDiags
