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

// What the plug-in looks for, for a search that found nothing to say.
struct HardwareInfo {
    std::string pciId;   // "vendor:device" in hexadecimal, as lspci -n shows it
    std::string driver;  // kernel module of the modems
    std::string ttys;    // the driver's ttys, such as "/dev/ttySM0 upward"
};

struct MessageInfo {
    std::string name;  // symbolic code ("NO_DIALTONE_WARNING")
    std::string text;  // what it means for a technician
};

// What pkg.cfg says. A test's position in tests is its index in the diagnostic.
struct PackageConfig {
    std::string path;         // the file as given
    std::string library;      // plug-in file name, relative to the folder holding path
    std::vector<TestInfo> tests;
    std::map<QuarnDiags::Uint, MessageInfo> messages;
    HardwareInfo hardware;

    std::string libraryPath() const;
    // What the manifest says of a test or a code: null, "" or -1 when it does
    // not name it; testName "test<i>", codeName "CODE_<n>".
    const TestInfo* test(int index) const;
    int testIndex(const std::string& name) const;
    std::string testName(int index) const { return test(index) ? test(index)->name : "test" + std::to_string(index); }
    std::string testTitle(int index) const { return test(index) ? test(index)->title : std::string(); }
    std::string codeName(QuarnDiags::Uint code) const;
    std::string codeText(QuarnDiags::Uint code) const;
    std::string limitText(int index) const;  // "up to 7 s"
};

// False with error ("line 7: ...") for a malformed line or no library entry.
bool parsePackageConfig(const std::string& text, PackageConfig& config, std::string& error);

// Reads and parses the file; error names the file or the line.
bool loadPackageConfig(const std::string& path, PackageConfig& config, std::string& error);

}  // namespace diaghost
