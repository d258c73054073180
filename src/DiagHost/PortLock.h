// PortLock.h - a serial port's LCK..<tty> lock file, held while diaghost tests the port, and what a person
// is told of it.
#pragma once

#include <memory>
#include <string>
#include <sys/types.h>

#include "Signals.h"

namespace diaghost {

// The PID a lock names: ten characters of ASCII as the convention has it
// (leading blanks or zeros allowed), or the four binary bytes that some old
// programs write. 0 when the content names none or the file cannot be read.
pid_t readHolder(const std::string& path);

// Programs that share serial ports (fax servers, getty programs, terminal
// programs) mark a port in use with a file LCK..<tty name> in the lock
// folder, holding the owner's PID as ten characters and a line feed. A lock
// whose process is gone is stale and may be taken over. Ours is removed
// when the object goes or, if the program ends early, by the cleanups.
class PortLock {
public:
    enum class State {
        Held,       // ours now
        Busy,       // a live process holds it: holderPid, holderName
        Unlockable  // the lock could not be made: error says why
    };

    PortLock(const std::string& folder, const std::string& tty);

    const std::string tty;
    const std::string path;  // /dev/ttySM0 -> <folder>/LCK..ttySM0
    // What the constructor found.
    State state = State::Unlockable;
    pid_t holderPid = 0;
    std::string holderName;  // its /proc/<pid>/comm, "unknown" when that cannot be read
    std::string error;
    bool removedStale = false;  // a stale lock was removed before ours was made,
    pid_t stalePid = 0;         // and named this PID (0: none)

private:
    std::unique_ptr<Cleanup> m_remove;  // while held
};

// What a person is told of a lock, all its texts in one place. Busy: why
// the modem is not tested (the same words in every output); Unlockable: the
// notice that it is tested all the same; Held after a stale lock was
// removed: the line -v shows. Empty for a free port taken.
std::string lockMessage(const PortLock& lock);

}  // namespace diaghost
