// PackageConfig.h - the package manifest pkg.cfg: plug-in library, test names, message texts.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "QuarnDiags/Types.h"

namespace diaghost {

struct TestInfo {
    std::string name;   // short name for the command line and reports ("dialtone")
    std::string title;  // what the test does, for people
    double maxSeconds = 0.0;  // longest the test may take; 0 when the manifest does not say
};

// What the plug-in looks for, so that a search that found nothing can say
// what it looked for. Empty when the manifest does not say.
struct HardwareInfo {
    std::string pciId;   // "vendor:device" in hexadecimal, as lspci -n shows it
    std::string driver;  // kernel module of the modems
    std::string ttys;    // the driver's ttys, such as "/dev/ttySM0 upward"
};

struct MessageInfo {
    std::string name;  // symbolic code ("NO_DIALTONE_WARNING")
    std::string text;  // what it means for a technician
};

// What pkg.cfg says. Tests are in the plug-in's registration order: a test's
// position in the vector is its index in the diagnostic.
struct PackageConfig {
    std::string path;         // the file as given
    std::string library;      // plug-in file name, relative to the folder holding path
    std::vector<TestInfo> tests;
    std::map<QuarnDiags::Uint, MessageInfo> messages;
    HardwareInfo hardware;

    std::string libraryPath() const;
    // Test i, null for a test the manifest does not name.
    const TestInfo* test(int index) const;
    // Index of the test with this name, -1 when there is none.
    int testIndex(const std::string& name) const;
    // Name of test i, or "test<i>" for a test the manifest does not name.
    std::string testName(int index) const;
    // Symbolic name of a code, or "CODE_<n>" for a code the manifest lacks.
    std::string codeName(QuarnDiags::Uint code) const;
    // Text of a code, empty for a code the manifest lacks.
    std::string codeText(QuarnDiags::Uint code) const;
    // What test i does, "" for a test the manifest does not name.
    std::string testTitle(int index) const;
    // How long test i may take, "up to 7 s"; "" when not known.
    std::string limitText(int index) const;
};

// Parses the manifest's text. Returns false and sets error ("line 7: ...")
// on a malformed line or a missing library entry.
bool parsePackageConfig(const std::string& text, PackageConfig& config, std::string& error);

// Reads and parses the file; error names the file or the line.
bool loadPackageConfig(const std::string& path, PackageConfig& config, std::string& error);

}  // namespace diaghost
