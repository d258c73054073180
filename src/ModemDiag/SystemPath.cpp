// SystemPath.cpp - system paths resolved under $MODEMDIAG_SYSROOT.
#include "SystemPath.h"

#include <cstdlib>
#include <fcntl.h>

std::string SystemPath(const char* logicalPath)
{
    if (logicalPath == nullptr) {
        return std::string();
    }
    const char* root = std::getenv("MODEMDIAG_SYSROOT");
    if (root == nullptr || root[0] == '\0' || logicalPath[0] != '/') {
        return logicalPath;
    }
    std::string resolved(root);
    while (resolved.size() > 1 && resolved.back() == '/') {
        resolved.pop_back();
    }
    if (resolved == "/") {
        return logicalPath;
    }
    return resolved + logicalPath;
}

int OpenSystemFile(const char* logicalPath)
{
    return open(SystemPath(logicalPath).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
}
