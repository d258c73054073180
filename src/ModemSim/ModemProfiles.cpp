// ModemProfiles.cpp - the healthy modem's answer table and the named profiles made from it.
#include "VirtualModem.h"

namespace modemsim {

namespace {

AnswerRow Row(const char* pattern, Effect effect = Effect::None, const char* info = "")
{
    AnswerRow row;
    row.pattern = pattern;
    row.effect = effect;
    row.info = info;
    return row;
}

// The AT command set of a healthy modem, as the plug-in and a person at a
// terminal use it. Every other command is answered ERROR.
std::vector<AnswerRow> HealthyAnswers()
{
    AnswerRow count = Row("H", Effect::EndSelfTest, "000");  // the self test's error count
    count.when = When::InSelfTest;
    AnswerRow noCarrier = Row("D*");  // without ';' it would wait for a far end that never answers
    noCarrier.result = "NO CARRIER";
    return {
        Row("E", Effect::EchoOff),
        Row("E0", Effect::EchoOff),
        Row("E1", Effect::EchoOn),
        Row("&F", Effect::Reset),
        Row("&F0", Effect::Reset),
        Row("Z", Effect::Reset),
        Row("Z0", Effect::Reset),
        count,
        Row("H"),
        Row("H0"),
        Row("I", Effect::None, "56000"),
        Row("I0", Effect::None, "56000"),
        Row("I3", Effect::None, "Tessaly Parlance V.92 Version 3.5.22"),
        Row("X"),
        Row("X0"),
        Row("X1"),
        Row("X2"),
        Row("X3"),
        Row("X4"),
        Row("&T"),
        Row("&T0"),
        Row("&T8", Effect::StartSelfTest),
        Row("+FCLASS=0"),
        Row("+FCLASS=1"),
        Row("+FCLASS=2"),
        Row("+FCLASS=2.0"),
        Row("+FCLASS=?", Effect::None, "0,1,2,2.0"),
        Row("D*;"),  // the ';' modifier returns to command state after dialling
        noCarrier,
    };
}

void NoDialTone(ModemProfile& p)
{
    for (const char* dial : {"D*;", "D*"}) {
        AnswerRow& row = p.answer(dial);
        row.result = "NO DIALTONE";
        row.delayMs = 3000;
    }
}

void LoopbackErrors(ModemProfile& p)
{
    p.answer("H", When::InSelfTest).info = "012";
}

struct NamedProfile {
    const char* name;
    void (*shape)(ModemProfile& profile);
};

// Each shape starts from the healthy table.
const NamedProfile kProfiles[] = {
    {"healthy", [](ModemProfile&) {}},
    // The demo's second modem: every kind of verdict in one run.
    {"nodialtone-loopback-errors",
     [](ModemProfile& p) {
         NoDialTone(p);
         LoopbackErrors(p);
     }},
    {"nodialtone", NoDialTone},
    {"loopback-errors", LoopbackErrors},
    {"fax-class1-only",
     [](ModemProfile& p) {
         p.answer("+FCLASS=2").result = "ERROR";
         p.answer("+FCLASS=2.0").result = "ERROR";
         p.answer("+FCLASS=?").info = "0,1";
     }},
    {"silent", [](ModemProfile& p) { p.faults["*"].silent = true; }},
    // Line noise in place of every answer; it never contains "OK".
    {"garbage", [](ModemProfile& p) { p.faults["*"].garbage = "\r\n#~\x7f\xfe@K0O;\r\n"; }},
    {"late-replies", [](ModemProfile& p) { p.faults["*"].delayMs = 1500; }},
    {"hangup-selftest", [](ModemProfile& p) { p.faults["at&t8"].hangUp = true; }},
    // A version text that would retitle a terminal, clear it and start a
    // forged line of its own if a host printed it raw.
    {"hostile-ati3",
     [](ModemProfile& p) {
         p.answer("I3").info = "Tessaly Parlance V.92 Version 3.5\x1b]0;owned\x07\x1b[2J\nFORGED 9.9";
     }},
};

}  // namespace

ModemProfile::ModemProfile() : answers(HealthyAnswers()) {}

AnswerRow& ModemProfile::answer(const std::string& pattern, When when)
{
    for (AnswerRow& row : answers) {
        if (row.pattern == pattern && row.when == when) {
            return row;
        }
    }
    AnswerRow row;
    row.pattern = pattern;
    row.when = when;
    return *answers.insert(answers.begin(), row);
}

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
