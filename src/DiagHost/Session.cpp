// Session.cpp - finds and loads the package, sets up the machine the plug-in looks at.
#include "Session.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "ExitStatus.h"
#include "OutputFiles.h"

namespace diaghost {

namespace {

// A kept folder for a simulated run: <dir>/log receives the plug-in's logs,
// <dir>/modem/pkg.cfg links to the real manifest so that the plug-in, told
// that its package lives there, derives <dir>/log as its log folder.
bool makeKeptFolder(const std::string& manifest, std::string& folder, std::string& configPath, std::string& error)
{
    const char* base = std::getenv("TMPDIR");
    const std::string pattern =
        std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") + "/diaghost-simulate-XXXXXX";
    folder = pattern;
    if (mkdtemp(&folder[0]) == nullptr) {
        folder.clear();
        error = "cannot make a folder " + pattern + ": " + std::strerror(errno);
        return false;
    }
    configPath = folder + "/modem/pkg.cfg";
    if (mkdir((folder + "/log").c_str(), 0755) != 0 || mkdir((folder + "/modem").c_str(), 0755) != 0 ||
        symlink(absolutePath(manifest).c_str(), configPath.c_str()) != 0) {
        error = "cannot prepare " + folder + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace

void printError(const std::string& message)
{
    std::fprintf(stderr, "diaghost: %s\n", message.c_str());
}

int openSession(Session& session)
{
    const Options& options = session.options;
    const auto fail = [](const std::string& message, int status) {
        printError(message);
        return status;
    };
    std::string manifest = options.package;
    if (manifest.empty()) {
        manifest = defaultPackagePath();
        if (manifest.empty()) {
            return fail("no installed package found; give one with --package PATH/pkg.cfg", EXIT_NO_MODEM);
        }
    }
    std::string error;
    if (!loadPackageConfig(manifest, session.config, error)) {
        return fail(error, EXIT_NO_MODEM);
    }
    for (const std::string& name : options.tests) {
        if (name != "all" && session.config.testIndex(name) < 0) {
            std::string known;
            for (const TestInfo& test : session.config.tests) {
                known += test.name + ", ";
            }
            return fail("unknown test '" + name + "' (tests: " + known + "all)", EXIT_USAGE);
        }
    }

    std::string pluginConfigPath = manifest;
    if (!options.profile.empty()) {
        try {
            const modemsim::MachinePlan& plan = *modemsim::MachinePlan::find(options.profile);
            session.machine = std::make_unique<modemsim::SimulatedMachine>(plan);
        } catch (const std::exception& e) {
            return fail(std::string("cannot build the simulated machine: ") + e.what(), EXIT_SOFTWARE);
        }
        const bool made = makeKeptFolder(manifest, session.keptDir, pluginConfigPath, error);
        // Also when the program ends early: the machine goes, and its log
        // folder unless a run got under way.
        session.removeMachine = std::make_unique<Cleanup>([&session] {
            std::error_code ignored;
            if (!session.keepLogs && !session.keptDir.empty()) {
                std::filesystem::remove_all(session.keptDir, ignored);  // links removed, never followed
            }
            session.machine.reset();
        });
        if (!made) {
            return fail(error, EXIT_SOFTWARE);
        }
        session.sysroot = session.machine->root().path();
    } else if (!options.sysroot.empty()) {
        std::error_code ignored;
        if (!std::filesystem::is_directory(options.sysroot, ignored)) {
            return fail("--sysroot " + options.sysroot + ": no such folder", EXIT_USAGE);
        }
        session.sysroot = absolutePath(options.sysroot);
    } else if (const char* inherited = std::getenv("MODEMDIAG_SYSROOT")) {
        session.sysroot = inherited;
    }
    // The plug-in resolves every system path through MODEMDIAG_SYSROOT; it
    // must be in place before the library is loaded.
    if (!session.sysroot.empty()) {
        setenv("MODEMDIAG_SYSROOT", session.sysroot.c_str(), 1);
    }

    if (!session.plugin.load(session.config, pluginConfigPath, error)) {
        return fail(error, EXIT_NO_MODEM);
    }
    return -1;
}

}  // namespace diaghost
