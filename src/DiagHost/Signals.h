// Signals.h - Ctrl-C and termination requests, taken synchronously by the main thread.
#pragma once

#include <csignal>
#include <functional>

namespace diaghost {

// Blocks SIGINT, SIGTERM, SIGHUP and SIGPIPE in the calling thread. Called first in
// main(), before any thread exists, so that every thread (the plug-in's
// work, the simulator's modems) inherits the mask: the signals stay pending
// until the main thread takes them with waitForSignal(), and no system call
// of another thread is cut short by them. A write to a closed pipe then
// fails with EPIPE instead of killing the program before its cleanups.
void blockTerminationSignals();

// Waits in the kernel up to timeoutMs (-1: without limit) for one of the
// blocked signals, or until fd (if not -1) is readable. Returns the signal's
// number, or 0 when the time ran out or fd woke the wait. A closed pipe
// (SIGPIPE) ends the program there, quietly, with EXIT_CLOSED_PIPE after
// the cleanups.
int waitForSignal(int timeoutMs, int fd = -1);

// Wakes a thread waiting in waitForSignal(..., fd()) from another thread.
class Wakeup {
public:
    Wakeup();
    ~Wakeup();
    Wakeup(const Wakeup&) = delete;
    Wakeup& operator=(const Wakeup&) = delete;

    void notify();
    // Takes the pending wake-ups, so that the next wait blocks again.
    void clear();
    int fd() const { return m_fd; }

private:
    int m_fd;
};

// Ends the program at once after running the pending cleanups, newest
// first, without unwinding: a thread may still be inside the plug-in, so
// neither its objects nor static destructors may be touched.
[[noreturn]] void quitNow(int status);

// A step that must run even when the program ends early (restore the
// terminal, remove a simulated machine): it runs when the guard goes out of
// scope, or from quitNow() if that comes first, and only once.
class Cleanup {
public:
    explicit Cleanup(std::function<void()> step);
    ~Cleanup();
    Cleanup(const Cleanup&) = delete;
    Cleanup& operator=(const Cleanup&) = delete;

private:
    friend void quitNow(int status);
    std::function<void()> m_step;
};

}  // namespace diaghost
