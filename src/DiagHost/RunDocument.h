// RunDocument.h - a run's JSON document (as run --json writes it) read back into a record, checked field by field.
#pragma once

#include <cstddef>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "Records.h"
#include "Reports.h"

namespace diaghost {

// The largest run document diaghost reads: a real one is a few kilobytes.
constexpr std::size_t kLargestRunDocument = 16 * 1024 * 1024;

// What the document says; a text it leaves out or gives as null is "".
struct DocumentEvent {
    std::string type;  // "INFORMATION_EVENT", ...
    std::string code;
    std::string text;
};

struct DocumentTest {
    std::string name;
    long long round = 1;
    std::string pluginVerdict;  // "PASSED", "UNUSUAL_STATUS", "FAILED"
    std::string code;
    std::string text;  // the manifest's meaning of the code
    Outcome outcome = Outcome::Failed;
    long long progress = -1;    // as the terminal shows it (100 once it ran to its end); -1: not known
    long long durationMs = -1;
    std::vector<DocumentEvent> events;
    bool logKnown = false;  // documents before the log was recorded have none
    std::vector<std::string> log;
};

struct DocumentSkipped {
    std::string name;
    std::string reason;
    long long round = 1;
};

struct DocumentDevice {
    long long index = 0;
    std::string location;
    std::string tty;
    long long slot = 0;
    std::string slotSource;
    std::string status;
    std::string pciAddress;
    std::string pciId;
    std::vector<std::pair<const char*, std::string>> fru;  // label, value
    std::vector<DocumentTest> tests;
    std::vector<DocumentSkipped> skipped;
    std::string notTested;
};

struct RunDocument {
    long long schemaVersion = 0;
    std::string toolVersion;
    std::string started;
    std::string finished;
    bool interrupted = false;
    bool machineKnown = false;
    MachineInfo machine;
    std::string noModem;
    long long outcomes[std::size(kOutcomes)] = {};
    long long modemsFound = 0;
    long long modemsTested = 0;
    long long modemsNotTested = 0;
    long long exitStatus = 0;
    long long rounds = 1;     // run --repeat N
    long long roundsRun = 1;
    std::string packageName;
    std::string packageVersion;
    std::string packageDescription;
    std::vector<DocumentDevice> devices;
};

// The oldest schema version read: a version 3 document (diaghost before
// rounds, with the plug-in's verdict as "verdict") is read as well, its
// verdict taken as the plug-in's and its progress as the terminal shows it,
// so that the pages of runs stored before an upgrade can still be made.
constexpr int kOldestRunSchema = 3;

// Reads a run's document. The schema version, the summary's counts and
// each device's index and tests are required; any text may be null or
// missing (the keys added within version 3, machine, finished, no_modem
// and log, are missing from older documents).
// False with a one-line reason when the text is not a run's document: not
// JSON or cut short, another schema version, a list or info document, a
// field of the wrong kind (the reason names it: "devices[1].tests[0].name
// is not a text").
bool readRunDocument(const std::string& text, RunDocument& run, std::string& error);

}  // namespace diaghost
