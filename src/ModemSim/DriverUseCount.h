// DriverUseCount.h - the driver module's use count as the kernel keeps it, for a simulated root's proc/modules.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace modemsim {

// The kernel's tty core takes a reference on the driver's module when one of
// its ttys is first opened and drops it from a work queue a moment after the
// tty's last close. So the use count that /proc/modules shows is the number
// of the driver's ttys that are open anywhere (two opens of one tty count
// once), plus the references whose release is still pending.
//
// This model follows the simulated driver ttys (pseudo-terminal slaves) the
// same way, told of opens and closes by notifications (inotify) on the tty
// nodes. An open it takes at its word: nothing else makes one. Whether a
// close was the tty's last only a look through every process's open
// descriptors (/proc/<pid>/fd, the simulator's own left out) can tell, and
// coalesced notifications tell no more. It settles what it was told (looks,
// if a tty closed, and publishes) once the ttys have been quiet for a
// millisecond, at most 20 ms after the first notification: a look takes
// milliseconds of processor time on a busy system and replacing the file
// some more, which the modems' answers would wait behind on a small
// machine, and a program that goes through the ttys one after another so
// costs one look, not one beside each of its dialogues. A tty whose last
// descriptor closed keeps its reference for the release delay. Each change
// is handed to publish() with the new count, base included.
//
// The kernel counts inside open(); the model a moment later, once the ttys
// are quiet (a millisecond or so, more on a busy machine), and its count
// falls after a look, so later than the kernel's, never earlier. It never
// shows a session that began and ended before it settled, or while it
// looked: a count that rose after the fact would report the driver busy
// when it is free.
//
// Only the processes whose descriptors this process may look at are seen:
// as root every process, otherwise the user's own.
class DriverUseCount {
public:
    // A tty to follow: its path (a link to it is fine) and the simulator's
    // own descriptor on it (-1 for none), which does not count.
    struct Tty {
        std::string path;
        int ownDescriptor = -1;
    };

    // base is added to the count (a machine whose driver another program
    // holds). publish is called on the model's own thread, first with the
    // count at the start. Throws std::runtime_error when a tty cannot be
    // watched.
    DriverUseCount(const std::vector<Tty>& ttys, int base, int releaseDelayMs, std::function<void(int)> publish);
    ~DriverUseCount();
    DriverUseCount(const DriverUseCount&) = delete;
    DriverUseCount& operator=(const DriverUseCount&) = delete;

    // The count as last published.
    int count() const;
    // Blocks until the published count is the given one, or timeoutMs
    // pass; whether it is.
    bool waitFor(int count, int timeoutMs) const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace modemsim
