// PortLock.h - the serial-port lock convention: LCK..<tty> files that keep programs sharing a port apart.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

#include "Signals.h"

namespace diaghost {

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

}  // namespace diaghost
