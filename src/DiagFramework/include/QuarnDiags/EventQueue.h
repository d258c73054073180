// EventQueue.h - the events of a diagnostic run, in posting order.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "QuarnDiags/DiagnosticEvent.h"

namespace QuarnDiags {
namespace Diag {

using DiagnosticEventVector = std::vector<const DiagnosticEvent*>;

// Owns every event posted to it. A test posts from the thread that runs it;
// the host may take snapshots or listen from any thread. Events stay valid
// until clear() or the queue's destruction.
class QUARNDIAGS_API EventQueue {
public:
    // Called on the posting thread, after the event is stored and stamped.
    using Listener = std::function<void(const DiagnosticEvent&)>;

    EventQueue();
    ~EventQueue();
    EventQueue(const EventQueue&) = delete;
    EventQueue& operator=(const EventQueue&) = delete;

    // Takes ownership of the event; a null pointer is ignored.
    void post(DiagnosticEvent* pEvent);

    DiagnosticEventVector snapshot() const;
    std::size_t size() const;

    // Frees every event and restarts the sequence and clock of a run.
    void clear();

    void setListener(Listener listener);

    // Test index stamped on the events posted from now on (-1: none).
    void setTestIndex(int testIndex);

private:
    mutable std::mutex m_mutex;
    std::vector<std::unique_ptr<DiagnosticEvent>> m_events;
    std::shared_ptr<const Listener> m_listener;
    int m_testIndex = -1;
    Uint m_nextSequence = 0;
    std::chrono::steady_clock::time_point m_start;
};

}  // namespace Diag
}  // namespace QuarnDiags
