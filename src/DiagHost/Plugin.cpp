// Plugin.cpp - loads a diagnostics plug-in through dlopen and calls its factories.
#include "Plugin.h"

#include <climits>
#include <dlfcn.h>
#include <exception>
#include <sys/stat.h>
#include <unistd.h>

#include "OutputFiles.h"

namespace diaghost {

namespace {

using QuarnDiags::DeviceEnum::IDeviceEnumerator;

const char* const kLogFiles[] = {"TSYmodemDeviceEnumerator.log", "TSYmodemDiagnostic.log"};

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

}  // namespace

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
    m_packageDir = parentFolder(absolute);
    m_logDir = m_packageDir.substr(0, m_packageDir.rfind('/')) + "/log";
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
