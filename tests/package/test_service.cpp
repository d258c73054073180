// modemdiag.service as shipped: its sandbox scored offline, and its own command line run with its
// own output settings and capability bounding set on a simulated machine.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cctype>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "HostProcess.h"
#include "TestSupport.h"

namespace {

const std::string kUnit = SOURCE_DIR "/debian/modemdiag.service";

std::string quoted(const std::string& text)
{
    return "'" + text + "'";
}

// The [Service] settings of a unit file, the last one of each name.
std::map<std::string, std::string> serviceSettings(const std::string& path)
{
    std::map<std::string, std::string> settings;
    std::istringstream lines(testsupport::readFile(path));
    std::string line;
    std::string section;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#' || line[0] == ';') {
            continue;
        }
        if (line[0] == '[') {
            section = line;
        } else if (section == "[Service]" && line.find('=') != std::string::npos) {
            settings[line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);
        }
    }
    return settings;
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to)
{
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

}  // namespace

TEST(ServiceUnit, ExposureIsAtMostThree)
{
    ASSERT_EQ(std::string::npos, std::string(SYSTEMD_ANALYZE).find("NOTFOUND")) << "install systemd-analyze (package systemd)";
    int status = -1;
    const std::string report = testsupport::runCommand(
        "'" SYSTEMD_ANALYZE "' security --offline=true --no-pager " + quoted(kUnit) + " 2>&1", &status);
    const std::string overall = "Overall exposure level for modemdiag.service: ";
    const std::size_t at = report.find(overall);
    ASSERT_NE(std::string::npos, at) << report;
    const double exposure = std::stod(report.substr(at + overall.size()));
    EXPECT_LE(exposure, 3.0) << report;
}

// What systemd would do with the unit, done by hand (systemd is not PID 1
// in CI): the command line, its standard output and error where the unit
// sends them (the journal is a file here), its umask, and, as root, its
// capability bounding set. The run must find both modems and their slots,
// the JSON file must hold one JSON document and nothing else, the metrics
// must pass promtool, and the text of the run must be in the journal.
TEST(ServiceUnit, ItsCommandLineWritesOneJsonDocumentAndTheMetrics)
{
    const std::map<std::string, std::string> unit = serviceSettings(kUnit);
    testsupport::TempDir machine;
    testsupport::TempDir state;
    hosttest::RunningHost modems({"--modems", "2", "--root", machine.file("root")}, {}, MODEMSIM_PATH);
    ASSERT_TRUE(modems.waitFor("MODEMDIAG_SYSROOT=", 10000));

    // The installed paths, moved to this build and to a state folder of the
    // test's own.
    const auto local = [&state](std::string text) {
        text = replaceAll(text, "/usr/bin/", BUILD_DIR "/bin/");
        return replaceAll(text, "/var/lib/modemdiag/", state.path() + "/");
    };
    // Where the unit sends an output: the journal (a file here), or the
    // other output.
    const auto redirect = [&](const char* key, const std::string& fallback) {
        const std::string value = unit.count(key) != 0 ? unit.at(key) : fallback;
        if (value == "journal" || value == "journal+console" || value == "kmsg") {
            return ">> " + quoted(state.file("journal"));
        }
        EXPECT_EQ("inherit", value) << key << " is not handled here";
        return std::string(">&1");
    };
    std::string command = local(unit.at("ExecStart"));
    if (::geteuid() == 0 && unit.count("CapabilityBoundingSet") != 0) {
        // "CAP_SYS_RAWIO CAP_X" as setpriv takes it: "-all,+sys_rawio,+x".
        std::string caps = "-all";
        std::istringstream names(unit.at("CapabilityBoundingSet"));
        for (std::string name; names >> name;) {
            for (char& c : name) {
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
            caps += ",+" + name.substr(4);
        }
        command = "setpriv --bounding-set=" + caps + (unit.count("NoNewPrivileges") != 0 ? " --no-new-privs" : "") +
                  " -- " + command;
    }
    // Standard error defaults to where standard output goes.
    const std::string script = "cd / && umask " + (unit.count("UMask") != 0 ? unit.at("UMask") : "0022") +
                               " && export MODEMDIAG_SYSROOT=" + quoted(machine.file("root")) + " && exec " + command +
                               " 1" + redirect("StandardOutput", "journal") + " 2" + redirect("StandardError", "inherit");
    int status = -1;
    testsupport::runCommand(script, &status);
    const std::string journal = testsupport::readFile(state.file("journal"));
    EXPECT_EQ(0, status) << script << "\n" << journal;

    const std::string jsonFile = state.file("modemdiag.json");
    nlohmann::json report;
    try {
        report = nlohmann::json::parse(testsupport::readFile(jsonFile));
    } catch (const nlohmann::json::exception& e) {
        FAIL() << jsonFile << " is not one JSON document: " << e.what() << "\n" << testsupport::readFile(jsonFile);
    }
    ASSERT_EQ(2u, report.at("devices").size()) << report.dump(2);
    for (const nlohmann::json& device : report.at("devices")) {
        EXPECT_GT(device.at("slot").get<int>(), 0) << device.dump(2);
    }
    const std::string metrics = testsupport::readFile(state.file("modemdiag.prom"));
    EXPECT_NE(std::string::npos, metrics.find("\nmodemdiag_modems_found 2\n")) << metrics;
    EXPECT_EQ("", testsupport::runCommand("'" PROMTOOL "' check metrics < " + quoted(state.file("modemdiag.prom")) +
                                          " 2>&1"));
    EXPECT_NE(std::string::npos, journal.find("Found 2 modems.")) << journal;
    EXPECT_NE(std::string::npos, journal.find("Result: 6 passed")) << journal;
}
