// EventQueue.cpp - owned events in posting order, with a live listener.
#include "QuarnDiags/EventQueue.h"

#include <utility>

namespace QuarnDiags {
namespace Diag {

EventQueue::EventQueue() : m_start(std::chrono::steady_clock::now()) {}

EventQueue::~EventQueue() = default;

void EventQueue::post(DiagnosticEvent* pEvent)
{
    if (pEvent == nullptr) {
        return;
    }
    std::unique_ptr<DiagnosticEvent> event(pEvent);
    std::shared_ptr<const Listener> listener;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        event->m_testIndex = m_testIndex;
        event->m_sequence = m_nextSequence++;
        event->m_timeMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now() - m_start)
                              .count();
        m_events.push_back(std::move(event));
        listener = m_listener;
    }
    // Outside the lock, so that a listener may take a snapshot.
    if (listener && *listener) {
        (*listener)(*pEvent);
    }
}

DiagnosticEventVector EventQueue::snapshot() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    DiagnosticEventVector events;
    events.reserve(m_events.size());
    for (const auto& event : m_events) {
        events.push_back(event.get());
    }
    return events;
}

std::size_t EventQueue::size() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_events.size();
}

void EventQueue::clear()
{
    std::vector<std::unique_ptr<DiagnosticEvent>> dropped;
    std::lock_guard<std::mutex> lock(m_mutex);
    dropped.swap(m_events);
    m_nextSequence = 0;
    m_start = std::chrono::steady_clock::now();
}

void EventQueue::setListener(Listener listener)
{
    auto shared = std::make_shared<const Listener>(std::move(listener));
    std::lock_guard<std::mutex> lock(m_mutex);
    m_listener = std::move(shared);
}

void EventQueue::setTestIndex(int testIndex)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_testIndex = testIndex;
}

}  // namespace Diag
}  // namespace QuarnDiags
