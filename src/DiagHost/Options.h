// Options.h - diaghost's command line.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "Records.h"

namespace diaghost {

struct Verb;

struct Options {
    std::string package;  // pkg.cfg to load; empty: the installed one
    std::string sysroot;  // system root for the plug-in; empty: the real one
    std::string profile;  // --simulate's machine; empty: no simulated machine
    const Verb* command = nullptr;    // the command's row of kVerbs, set by parseOptions
    bool verbose = false;             // list: full descriptions; run: the plug-in's log lines of each test
    bool json = false;
    std::string jsonFile;             // run: file the JSON document replaces
    std::string junit;                // run: JUnit report file
    std::string device = "all";       // list, run: "all", a modem index, a tty path or a PCI address
    std::vector<std::string> tests;   // run: test names; empty or "all": every test
    bool haltOnError = false;
    unsigned repeat = 1;              // run: rounds of the selected tests (burn-in)
    std::string color = "auto";       // auto (a terminal without NO_COLOR), always or never
    bool quiet = false;               // run: only the summary
    std::string metrics;              // run: Prometheus text file to write
    std::string html;                 // run, report: the run's page to write
    std::string runDocument;          // report: the run's JSON document to read, "-" for standard input

    // Whether --device picks this modem: by index, tty ("ttySM1" too) or PCI address.
    bool selects(const DeviceRecord& device) const;
    bool allTests() const { return tests.empty() || std::find(tests.begin(), tests.end(), "all") != tests.end(); }
};

// Whether the command given is the one named.
bool isCommand(const Options& options, const char* name);

// -1 when the program goes on with the options, else the status to exit
// with: 0 after a help text or the version, EXIT_USAGE after a usage error.
int parseOptions(int argc, char** argv, Options& options);

}  // namespace diaghost
