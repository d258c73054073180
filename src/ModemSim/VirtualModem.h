// VirtualModem.h - a modem on a pseudo-terminal that answers AT commands from a profile.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace modemsim {

// How the modem misbehaves on one command line (all off: it answers
// normally). When several knobs are set, delayMs always applies and the
// first of hangUp, silent, garbage, error holds; noLineEnds shapes whatever
// normal or ERROR reply is left.
struct CommandFault {
    int delayMs = 0;          // reply sent this long after the command (a late reply)
    bool silent = false;      // no reply at all (the command still takes effect)
    std::string garbage;      // these bytes instead of the reply
    bool noLineEnds = false;  // the reply without its CR LF framing
    bool error = false;       // "ERROR" instead of the reply (the command does not take effect)
    bool hangUp = false;      // the line hangs up instead of answering
};

// When a row of the answer table applies.
enum class When {
    Always,
    InSelfTest,  // only while the self test started by &T8 runs
};

// What a command does to the modem's state besides answering.
enum class Effect {
    None,
    EchoOff,
    EchoOn,
    Reset,          // factory settings: echo on, no self test
    StartSelfTest,  // runs until the next hang-up
    EndSelfTest,
};

// One row of a modem's answer table: a command pattern and the reply.
struct AnswerRow {
    // One command of a line as parsed, upper case, name then argument:
    // "E0", "&F0", "+FCLASS=2.0", "I3", "D*;". A '*' stands for any run of
    // characters (the dial string keeps its case).
    std::string pattern;
    When when = When::Always;
    std::string info;           // an information line before the result code ("" for none)
    std::string result = "OK";  // the result code; anything but OK ends the line there
    int delayMs = 0;            // the line's answer comes this much later
    Effect effect = Effect::None;  // applies unless the result is ERROR
};

// What a modem says and how it behaves: an answer table read top down, the
// first row that matches a command answering it (a command no row matches
// is answered ERROR), and faults per command line. A new command or fault
// is a row, not code. A default profile is a healthy modem.
struct ModemProfile {
    ModemProfile();

    std::string name = "healthy";
    std::vector<AnswerRow> answers;
    // Fault knobs per command line, keyed by the line as sent, lower case,
    // "at" included (for example "at&t8", "ath", "atx4d;", "at+fclass=2.0").
    // The key "*" applies to every line that has no entry of its own.
    std::map<std::string, CommandFault> faults;

    // The first row with this pattern and condition, added in front of
    // the others when there is none.
    AnswerRow& answer(const std::string& pattern, When when = When::Always);
    // The fault for a command line as received, or nullptr.
    const CommandFault* faultFor(const std::string& line) const;

    // Named profiles for the command line, the demo and the tests:
    // "healthy", "nodialtone-loopback-errors", "nodialtone",
    // "loopback-errors", "fax-class1-only", "silent", "garbage",
    // "late-replies", "hangup-selftest", "hostile-ati3". An unknown name
    // gives nullptr.
    static std::unique_ptr<ModemProfile> named(const std::string& name);
    static std::vector<std::string> names();
};

// The modem owns the pseudo-terminal's master side and keeps one slave
// descriptor open, so the tty keeps its settings between opens and never
// hangs up by accident. A thread answers the command lines; the destructor
// stops it. Construction throws std::runtime_error when no pseudo-terminal
// can be had.
class VirtualModem {
public:
    explicit VirtualModem(ModemProfile profile = ModemProfile());
    ~VirtualModem();
    VirtualModem(const VirtualModem&) = delete;
    VirtualModem& operator=(const VirtualModem&) = delete;

    // The tty a client opens, such as /dev/pts/7.
    const std::string& slavePath() const;
    // The modem's own descriptor on its slave, held open so that the tty
    // keeps its settings between the clients' opens.
    int ownSlaveDescriptor() const;

    // Takes effect from the next command line on.
    void setProfile(const ModemProfile& profile);

    // Command lines received so far, as sent (without the CR).
    std::vector<std::string> commands() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace modemsim
