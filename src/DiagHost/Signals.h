// Signals.h - Ctrl-C and termination requests, taken synchronously by the main thread.
#pragma once

#include <csignal>
#include <functional>
#include <string>

namespace diaghost {

// Blocks SIGINT, SIGTERM, SIGHUP and SIGPIPE. Called before any thread
// exists, so that every thread inherits the mask: the signals wait for the
// main thread's waitForSignal(), and cut short no other thread's system
// call. A write to a closed pipe then fails with EPIPE instead of killing
// the program before its cleanups.
void blockTerminationSignals();

// Waits up to timeoutMs (-1: no limit) for a blocked signal or for fd (if
// not -1) to be readable. Returns the signal, or 0 for a timeout or fd.
// SIGPIPE ends the program there, quietly, with EXIT_CLOSED_PIPE.
int waitForSignal(int timeoutMs, int fd = -1);

// Runs work on this thread with SIGINT, SIGTERM and SIGHUP ending the
// program at once, from their handler: it writes the notice for the signal
// (interrupted for SIGINT, stopped for the others, each a whole text with
// its line ends) to fd and ends with EXIT_SIGNAL_BASE + the signal. No
// cleanup runs then, so only for work with none pending; in exchange no
// thread is started to wait beside the work, as watch() does. The signals
// are blocked again when work returns.
void runEndingOnSignal(const std::function<void()>& work, int fd, const std::string& interrupted,
                       const std::string& stopped);

// Wakes a thread waiting in waitForSignal(..., fd()) from another thread.
class Wakeup {
public:
    Wakeup();
    ~Wakeup();
    Wakeup(const Wakeup&) = delete;
    Wakeup& operator=(const Wakeup&) = delete;

    void notify();
    void clear();  // takes the pending wake-ups, so that the next wait blocks again
    int fd() const { return m_fd; }

private:
    int m_fd;
};

// Ends the program after the pending cleanups, newest first, without
// unwinding: a thread may still be inside the plug-in, whose objects and
// static destructors must not be touched.
[[noreturn]] void quitNow(int status);

// A step that must run even when the program ends early (restore the
// terminal): once, at the end of the scope or from quitNow().
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
