// VirtualModem.h - a modem on a pseudo-terminal that answers AT commands from a profile.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace modemsim {

// How the modem misbehaves on one command (all off: it answers normally).
struct CommandFault {
    int delayMs = 0;          // reply sent this long after the command (a late reply)
    bool silent = false;      // no reply at all
    std::string garbage;      // these bytes instead of the reply
    bool noLineEnds = false;  // the reply without its CR LF framing
    bool error = false;       // "ERROR" instead of the reply
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
    int loopbackErrors = 0;  // error count sent after the self test ends
    // Fault knobs per command, keyed by the command as sent, lower case,
    // without "at" prefix handling (for example "at&t8", "ath", "ati3").
    std::map<std::string, CommandFault> faults;

    // Named profiles for the command line and the demo ("healthy",
    // "nodialtone", "loopback-errors", ...); an unknown name gives nullptr.
    static std::unique_ptr<ModemProfile> named(const std::string& name);
    static std::vector<std::string> names();
};

// The modem owns the pseudo-terminal's master side and keeps one slave
// descriptor open, so the tty keeps its settings between opens and never
// hangs up by accident. A thread answers the command lines.
class VirtualModem {
public:
    explicit VirtualModem(ModemProfile profile = ModemProfile());
    ~VirtualModem();
    VirtualModem(const VirtualModem&) = delete;
    VirtualModem& operator=(const VirtualModem&) = delete;

    // The tty a client opens, such as /dev/pts/7.
    const std::string& slavePath() const;

    // Takes effect from the next command on.
    void setProfile(const ModemProfile& profile);

    // Command lines received so far, as sent (without the CR).
    std::vector<std::string> commands() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace modemsim
