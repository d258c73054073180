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
// whose process is gone is stale and may be taken over.

// The lock file of a tty path (/dev/ttySM0 -> <folder>/LCK..ttySM0).
std::string lockPath(const std::string& folder, const std::string& tty);

// A lock held while a modem is tested: made exclusively, removed when the
// object goes or, if the program ends early, by the program's cleanups.
class PortLock {
public:
    enum class State {
        Held,       // ours now
        Busy,       // a live process holds it: holderPid(), holderName()
        Unlockable  // the lock could not be made: error() says why
    };

    PortLock(const std::string& folder, const std::string& tty);

    State state() const { return m_state; }
    pid_t holderPid() const { return m_holderPid; }
    // The holder's program name (its /proc/<pid>/comm), "unknown" when
    // that cannot be read.
    const std::string& holderName() const { return m_holderName; }
    const std::string& error() const { return m_error; }
    // Whether a stale lock was found and removed before ours was made, and
    // the PID it named (0: none).
    bool removedStale() const { return m_removedStale; }
    pid_t stalePid() const { return m_stalePid; }

private:
    std::string m_path;
    State m_state = State::Unlockable;
    pid_t m_holderPid = 0;
    std::string m_holderName;
    std::string m_error;
    bool m_removedStale = false;
    pid_t m_stalePid = 0;
    std::unique_ptr<Cleanup> m_remove;  // while held
};

}  // namespace diaghost
