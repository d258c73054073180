// ModemProfiles.cpp - the named modem profiles of the simulator.
#include "VirtualModem.h"

namespace modemsim {

namespace {

struct NamedProfile {
    const char* name;
    void (*shape)(ModemProfile& profile);
};

// Each shape starts from the healthy defaults.
const NamedProfile kProfiles[] = {
    {"healthy", [](ModemProfile&) {}},
    // The demo's second modem: every kind of verdict in one run.
    {"nodialtone-loopback-errors",
     [](ModemProfile& p) {
         p.dialTone = false;
         p.loopbackErrors = 12;
     }},
    {"nodialtone", [](ModemProfile& p) { p.dialTone = false; }},
    {"loopback-errors", [](ModemProfile& p) { p.loopbackErrors = 12; }},
    {"fax-class1-only",
     [](ModemProfile& p) {
         p.fclass2 = false;
         p.fclass20 = false;
     }},
    {"silent", [](ModemProfile& p) { p.faults["*"].silent = true; }},
    // Line noise in place of every answer; it never contains "OK".
    {"garbage", [](ModemProfile& p) { p.faults["*"].garbage = "\r\n#~\x7f\xfe@K0O;\r\n"; }},
    {"late-replies", [](ModemProfile& p) { p.faults["*"].delayMs = 1500; }},
    {"hangup-selftest", [](ModemProfile& p) { p.faults["at&t8"].hangUp = true; }},
    // A version text that would retitle a terminal, clear it and start a
    // forged line of its own if a host printed it raw.
    {"hostile-ati3",
     [](ModemProfile& p) { p.identification = "Tessaly Parlance V.92 Version 3.5\x1b]0;owned\x07\x1b[2J\nFORGED 9.9"; }},
};

}  // namespace

std::unique_ptr<ModemProfile> ModemProfile::named(const std::string& name)
{
    for (const NamedProfile& entry : kProfiles) {
        if (name == entry.name) {
            auto profile = std::make_unique<ModemProfile>();
            profile->name = entry.name;
            entry.shape(*profile);
            return profile;
        }
    }
    return nullptr;
}

std::vector<std::string> ModemProfile::names()
{
    std::vector<std::string> all;
    for (const NamedProfile& entry : kProfiles) {
        all.push_back(entry.name);
    }
    return all;
}

}  // namespace modemsim
