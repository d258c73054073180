// Plugin.cpp - loads a diagnostics plug-in through dlopen and calls its factories.
#include "Plugin.h"

#include <climits>
#include <dlfcn.h>
#include <exception>
#include <unistd.h>

namespace diaghost {

namespace {

using QuarnDiags::DeviceEnum::IDeviceEnumerator;

// The mode our host runs diagnostics in; the modem plug-in does not vary by it.
constexpr IDeviceEnumerator::DiagnosticMode kMode = IDeviceEnumerator::CUSTOMER;

std::string dlerrorText()
{
    const char* text = dlerror();
    return text != nullptr ? text : "unknown reason";
}

std::string parentOf(const std::string& path)
{
    const std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

bool fileExists(const std::string& path)
{
    return access(path.c_str(), R_OK) == 0;
}

std::string executableDir()
{
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) {
        return std::string();
    }
    buffer[length] = '\0';
    return parentOf(buffer);
}

}  // namespace

std::string absolutePath(const std::string& path)
{
    if (path.empty() || path[0] == '/') {
        return path;
    }
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd) == nullptr) {
        return path;
    }
    std::string relative = path;
    while (relative.compare(0, 2, "./") == 0) {
        relative.erase(0, 2);
    }
    return std::string(cwd) + "/" + relative;
}

std::string defaultPackagePath()
{
    // /proc/self/exe is already free of links, so its parent folder can be
    // taken by text.
    const std::string bin = executableDir();
    if (bin.empty()) {
        return std::string();
    }
    const std::string prefix = parentOf(bin);
    for (const char* relative : {"/lib/diags/modem/pkg.cfg", "/package/modem/pkg.cfg"}) {
        const std::string candidate = prefix + relative;
        if (fileExists(candidate)) {
            return candidate;
        }
    }
    return std::string();
}

Plugin::~Plugin()
{
    // Objects made by the library go before the library does.
    m_diagnostics.reset();
    m_enumerator.reset();
    if (m_handle != nullptr) {
        dlclose(m_handle);
    }
}

bool Plugin::load(const PackageConfig& config, const std::string& configPath, std::string& error)
{
    m_libraryPath = config.libraryPath();
    dlerror();
    m_handle = dlopen(m_libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (m_handle == nullptr) {
        error = "cannot load plug-in " + m_libraryPath + ": " + dlerrorText();
        return false;
    }

    // dlsym hands back a data pointer; the entry points are functions.
    auto symbol = [this, &error](const char* name) -> void* {
        dlerror();
        void* address = dlsym(m_handle, name);
        if (address == nullptr) {
            error = "plug-in " + m_libraryPath + " has no entry point " + name + ": " + dlerrorText();
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

    const std::string absolute = absolutePath(configPath);
    m_configPath = absolute;
    m_packageDir = parentOf(absolute);
    m_logDir = parentOf(m_packageDir) + "/log";
    reinterpret_cast<SetConfigFn>(setConfig)(absolute.c_str());
    return true;
}

IDeviceEnumerator* Plugin::enumerator(std::string& error)
{
    if (!m_enumerator && m_getEnumerator != nullptr) {
        try {
            m_enumerator.reset(m_getEnumerator(true, kMode));
        } catch (const std::exception& e) {
            error = std::string("the plug-in's device enumerator could not be made: ") + e.what();
            return nullptr;
        }
        if (!m_enumerator) {
            error = "the plug-in made no device enumerator";
        }
    }
    return m_enumerator.get();
}

QuarnDiags::Diag::IDiagnostics* Plugin::diagnostics(std::string& error)
{
    // The enumerator comes first: it may move the log folder to the package
    // folder, and a diagnostic made before that would not follow it.
    if (!m_diagnostics && m_getDiagnostics != nullptr && enumerator(error) == nullptr) {
        return nullptr;
    }
    if (!m_diagnostics && m_getDiagnostics != nullptr) {
        try {
            m_diagnostics.reset(m_getDiagnostics(true, kMode));
        } catch (const std::exception& e) {
            error = std::string("the plug-in's diagnostic could not be made: ") + e.what();
            return nullptr;
        }
        if (!m_diagnostics) {
            error = "the plug-in made no diagnostic";
        }
    }
    return m_diagnostics.get();
}

}  // namespace diaghost
