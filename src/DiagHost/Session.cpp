// Session.cpp - finds and loads the package through dlopen, sets up the machine the plug-in looks at.
#include "Session.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <exception>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "ExitStatus.h"
#include "OutputFiles.h"
#include "PluginContract.h"

namespace diaghost {

namespace {

using QuarnDiags::DeviceEnum::IDeviceEnumerator;

const char* const kLogFiles[] = {modemdiag::kEnumeratorLogName, modemdiag::kDiagnosticLogName};

// The mode our host runs diagnostics in; the modem plug-in does not vary by it.
constexpr IDeviceEnumerator::DiagnosticMode kMode = IDeviceEnumerator::CUSTOMER;

std::string dlerrorText()
{
    const char* text = dlerror();
    return text != nullptr ? text : "unknown reason";
}

template <typename Object, typename Factory>
Object* make(std::unique_ptr<Object>& object, Factory factory, const char* what, std::string& error)
{
    if (!object && factory != nullptr) {
        try {
            object.reset(factory(true, kMode));
        } catch (const std::exception& e) {
            error = std::string("the plug-in's ") + what + " could not be made: " + e.what();
            return nullptr;
        }
        if (!object) {
            error = std::string("the plug-in made no ") + what;
        }
    }
    return object.get();
}

// pkg.cfg of the installed package, found relative to this executable
// (<bin>/../lib/diags/modem/pkg.cfg), or of the build tree it was built in
// (<build>/bin/../package/modem/pkg.cfg). Empty when neither exists.
std::string defaultPackagePath()
{
    // /proc/self/exe is already free of links, so its folders can be taken
    // by text.
    char program[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", program, sizeof program - 1);
    if (length <= 0) {
        return std::string();
    }
    program[length] = '\0';
    const std::string prefix = parentFolder(parentFolder(program));
    for (const char* relative : {"/lib/diags/modem/pkg.cfg", "/package/modem/pkg.cfg"}) {
        if (access((prefix + relative).c_str(), R_OK) == 0) {
            return prefix + relative;
        }
    }
    return std::string();
}

// A scratch folder for a simulated run: <dir>/modem/pkg.cfg links to the
// real manifest, and the log folder the plug-in derives from that path is
// made for it, so that its logs land in the scratch folder.
bool makeScratchFolder(const std::string& manifest, std::string& folder, std::string& configPath, std::string& error)
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
    std::string packageFolder;
    std::string logFolder;
    modemdiag::FoldersOfPackage(configPath, packageFolder, logFolder);
    if (mkdir(logFolder.c_str(), 0755) != 0 || mkdir(packageFolder.c_str(), 0755) != 0 ||
        symlink(absolutePath(manifest).c_str(), configPath.c_str()) != 0) {
        error = "cannot prepare " + folder + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

// Makes path's missing folders: those above the first privateFrom
// characters as mkdir -p does, the rest 0700. An existing folder is left
// as it is.
bool makeFolders(const std::string& path, std::size_t privateFrom, std::string& error)
{
    for (std::size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
        const std::string folder = path.substr(0, end);
        if (mkdir(folder.c_str(), folder.size() >= privateFrom ? 0700 : 0755) != 0 && errno != EEXIST) {
            error = "cannot make " + folder + ": " + std::strerror(errno);
            return false;
        }
        if (end == std::string::npos) {
            break;
        }
    }
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        error = path + " is not a folder";
        return false;
    }
    return true;
}

// The state folder as the XDG base directories have it: XDG_STATE_HOME
// when it is an absolute path (a relative one is to be ignored), else
// $HOME/.local/state. Empty when neither is there.
std::string stateHome()
{
    const char* xdg = std::getenv("XDG_STATE_HOME");
    std::string home = xdg != nullptr && xdg[0] == '/' ? xdg : "";
    if (home.empty()) {
        const char* user = std::getenv("HOME");
        if (user != nullptr && user[0] == '/') {
            home = std::string(user) + "/.local/state";
        }
    }
    while (home.size() > 1 && home.back() == '/') {
        home.pop_back();
    }
    return home;
}

// Before anything runs: whether the run's report files can be written; if
// not, a one-line error names the option, the file and the reason.
bool checkOutputFiles(const Options& options)
{
    const struct {
        const char* option;
        const std::string& path;
    } outputs[] = {{"--json-file", options.jsonFile},
                   {"--junit", options.junit},
                   {"--metrics", options.metrics},
                   {"--html", options.html}};
    for (const auto& output : outputs) {
        std::string reason;
        if (!output.path.empty() && !canWriteFile(output.path, reason)) {
            printError(std::string(output.option) + " " + output.path + ": " + reason);
            return false;
        }
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
    if (isCommand(options, "run") && !checkOutputFiles(options)) {
        return EXIT_CANTCREAT;
    }
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
        const bool made = makeScratchFolder(manifest, session.scratchDir, pluginConfigPath, error);
        // Also when the program ends early: the machine goes, and with it
        // the scratch folder, whose logs run has stored by then if they are
        // worth keeping.
        session.removeMachine = std::make_unique<Cleanup>([&session] {
            std::error_code ignored;
            if (!session.scratchDir.empty()) {
                std::filesystem::remove_all(session.scratchDir, ignored);  // links removed, never followed
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

std::string simulatedLogsFolder()
{
    const std::string home = stateHome();
    return home.empty() ? home : home + "/diaghost/simulate";
}

bool storeSimulatedLogs(const Session& session, std::string& folder, std::vector<std::string>& stored,
                        std::string& error)
{
    const std::string home = stateHome();
    if (home.empty()) {
        error = "neither XDG_STATE_HOME nor HOME is set";
        return false;
    }
    folder = simulatedLogsFolder();
    if (!makeFolders(folder, home.size(), error)) {
        return false;
    }
    // The logs this run wrote, all in one folder.
    const std::vector<std::string> written = session.plugin.logFiles();
    const std::string from = written.empty() ? std::string() : parentFolder(written.front());
    for (const char* name : kLogFiles) {
        const std::string source = from + "/" + name;
        const std::string target = folder + "/" + name;
        if (std::find(written.begin(), written.end(), source) == written.end()) {
            unlink(target.c_str());  // the last run's, which this one did not replace
        } else if (moveFileWhole(source, target, error)) {
            stored.push_back(target);
        } else {
            // Half a set would pass for one run's logs: none stays.
            for (const char* other : kLogFiles) {
                unlink((folder + "/" + other).c_str());
            }
            stored.clear();
            return false;
        }
    }
    return true;
}

Plugin::~Plugin()
{
    m_diagnostics.reset();
    m_enumerator.reset();
    if (m_handle != nullptr) {
        dlclose(m_handle);
    }
}

bool Plugin::load(const PackageConfig& config, const std::string& configPath, std::string& error)
{
    const std::string library = config.libraryPath();
    dlerror();
    m_handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (m_handle == nullptr) {
        error = "cannot load plug-in " + library + ": " + dlerrorText();
        return false;
    }

    // dlsym hands back a data pointer; the entry points are functions.
    auto symbol = [this, &library, &error](const char* name) -> void* {
        dlerror();
        void* address = dlsym(m_handle, name);
        if (address == nullptr) {
            error = "plug-in " + library + " has no entry point " + name + ": " + dlerrorText();
        }
        return address;
    };
    void* setConfig = symbol("setPackageConfigFile");
    void* getEnumerator = setConfig != nullptr ? symbol("getIDeviceEnumerator") : nullptr;
    void* getDiagnostics = getEnumerator != nullptr ? symbol("getIDiagnostics") : nullptr;
    if (getDiagnostics == nullptr) {
        return false;
    }
    m_getEnumerator = reinterpret_cast<EnumeratorFn>(getEnumerator);
    m_getDiagnostics = reinterpret_cast<DiagnosticsFn>(getDiagnostics);
    // Optional: a plug-in without it is never waited for.
    m_modemsInUse = reinterpret_cast<InUseFn>(dlsym(m_handle, "ModemsInUse"));

    // The folders as the plug-in takes them from the path, by text.
    const std::string absolute = absolutePath(configPath);
    m_packageDir = m_logDir = ".";  // where the plug-in starts
    modemdiag::FoldersOfPackage(absolute, m_packageDir, m_logDir);
    reinterpret_cast<SetConfigFn>(setConfig)(absolute.c_str());
    return true;
}

std::vector<std::string> Plugin::logFiles() const
{
    for (const std::string& folder : {m_logDir, m_packageDir}) {
        std::vector<std::string> found;
        for (const char* name : kLogFiles) {
            struct stat info {};
            if (stat((folder + "/" + name).c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
                found.push_back(folder + "/" + name);
            }
        }
        if (!found.empty()) {
            return found;
        }
    }
    return {};
}

std::string Plugin::diagnosticLog() const
{
    const std::vector<std::string> found = logFiles();
    return (found.empty() ? m_logDir : parentFolder(found.front())) + "/" + kLogFiles[1];
}

IDeviceEnumerator* Plugin::enumerator(std::string& error)
{
    return make(m_enumerator, m_getEnumerator, "device enumerator", error);
}

QuarnDiags::Diag::IDiagnostics* Plugin::diagnostics(std::string& error)
{
    // The enumerator comes first: it may move the log folder to the package
    // folder, and a diagnostic made before that would not follow it.
    if (!m_diagnostics && m_getDiagnostics != nullptr && enumerator(error) == nullptr) {
        return nullptr;
    }
    return make(m_diagnostics, m_getDiagnostics, "diagnostic", error);
}

}  // namespace diaghost
