// SimulatedRoot.cpp - the folder of a simulated root, its lock folder and its driver tty links.

#include "SimulatedRoot.h"

#include <cstdlib>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

#include "RootFiles.h"

namespace modemsim {

using namespace rootfiles;

namespace {

// Marks a folder as a simulated root, so that a given folder is only ever
// cleared when it is one.
const char kMarker[] = "/.modemsim-root";

}  // namespace

SimulatedRoot::SimulatedRoot() : m_temporary(true)
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") + "/modemsim-root-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        Fail("cannot create", pattern);
    }
    m_path = buffer.data();
    WriteWhole(m_path + kMarker, "", 0);
    writeDevicesList();
    makeLockFolder();
}

SimulatedRoot::SimulatedRoot(const std::string& folder) : m_path(folder), m_temporary(false)
{
    while (m_path.size() > 1 && m_path.back() == '/') {
        m_path.pop_back();
    }
    if (m_path.empty() || m_path == "/") {
        throw std::runtime_error("simulated root: refusing to use " + folder);
    }
    MakeFolders(m_path);
    // A folder that held a simulated root before is cleared; any other must
    // be empty, so that nothing of value is overwritten.
    struct stat info;
    if (stat((m_path + kMarker).c_str(), &info) == 0) {
        RemoveTree(m_path + "/proc");
        RemoveTree(m_path + "/dev");
        RemoveTree(m_path + "/run");
    } else if (!FolderIsEmpty(m_path)) {
        throw std::runtime_error("simulated root: " + m_path + " is neither empty nor a simulated root");
    }
    WriteWhole(m_path + kMarker, "", 0);
    writeDevicesList();
    makeLockFolder();
}

// run/lock, where programs that share serial ports leave LCK..<tty> files;
// open to everyone, sticky, as on a Debian system.
void SimulatedRoot::makeLockFolder() const
{
    MakeFolders(file("/run/lock"));
    chmod(file("/run/lock").c_str(), 01777);
}

SimulatedRoot::~SimulatedRoot()
{
    if (m_temporary) {
        RemoveTree(m_path);
    }
}

std::string SimulatedRoot::file(const std::string& logicalPath) const
{
    return m_path + logicalPath;
}

std::string SimulatedRoot::sysrootLine() const
{
    return "MODEMDIAG_SYSROOT=" + m_path;
}

void SimulatedRoot::printSysrootLine(std::ostream& out) const
{
    out << sysrootLine() << std::endl;
}

void SimulatedRoot::exportToEnvironment() const
{
    setenv("MODEMDIAG_SYSROOT", m_path.c_str(), 1);
}

std::string SimulatedRoot::ttyPath(int n)
{
    return "/dev/ttySM" + std::to_string(n);
}

void SimulatedRoot::linkTty(int n, const std::string& target)
{
    MakeFolders(file("/dev"));
    const std::string path = file(ttyPath(n));
    RemoveTree(path);
    if (symlink(target.c_str(), path.c_str()) != 0) {
        Fail("cannot link", path);
    }
}

void SimulatedRoot::makeTtyNode(int n, TtyNode kind)
{
    MakeFolders(file("/dev"));
    const std::string path = file(ttyPath(n));
    RemoveTree(path);
    switch (kind) {
    case TtyNode::RegularFile:
        WriteWhole(path, "", 0);
        break;
    case TtyNode::Folder:
        if (mkdir(path.c_str(), 0755) != 0) {
            Fail("cannot create", path);
        }
        break;
    case TtyNode::Fifo:
        if (mkfifo(path.c_str(), 0644) != 0) {
            Fail("cannot create", path);
        }
        break;
    }
}

void SimulatedRoot::removeTty(int n)
{
    RemoveTree(file(ttyPath(n)));
}

}  // namespace modemsim
