// VirtualModem.h - a modem on a pseudo-terminal that answers AT commands from a profile.
#pragma once

#include <map>
#include <memory>
#include <optional>
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

// What a modem says and how it behaves.
struct ModemProfile {
    std::string name = "healthy";
    // The ati3 answer line; the plug-in takes the text after "Version ".
    std::string identification = "Tessaly Parlance V.92 Version 3.5.22";
    bool fclass1 = true;    // +FCLASS=1 accepted
    bool fclass2 = true;    // +FCLASS=2 accepted
    bool fclass20 = true;   // +FCLASS=2.0 accepted
    bool dialTone = true;   // "atx4d;" answers OK; else NO DIALTONE after noDialToneDelayMs
    int noDialToneDelayMs = 3000;
    // The self test started by &T8 ends with the next H, which first sends
    // the error count as a line of three digits ("000", "012"), then OK.
    int loopbackErrors = 0;
    std::optional<std::string> loopbackCountLine;  // sent instead of the digits ("  7", "-3", "OK")
    bool loopbackCountSent = true;                 // false: the H answers OK alone
    // Fault knobs per command line, keyed by the line as sent, lower case,
    // "at" included (for example "at&t8", "ath", "atx4d;", "at+fclass=2.0").
    // The key "*" applies to every line that has no entry of its own.
    std::map<std::string, CommandFault> faults;

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

    // Takes effect from the next command line on.
    void setProfile(const ModemProfile& profile);

    // Command lines received so far, as sent (without the CR).
    std::vector<std::string> commands() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace modemsim
