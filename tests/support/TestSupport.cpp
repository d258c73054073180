// TestSupport.cpp - temporary folders and file helpers for the test suites.
#include "TestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>

namespace testsupport {

TempDir::TempDir()
{
    const char* base = std::getenv("TMPDIR");
    m_path = std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") + "/modemdiag-XXXXXX";
    if (mkdtemp(m_path.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed for " + m_path);
    }
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::string readFile(const std::string& path)
{
    // Through a string stream: optimised i386 builds see a possible null
    // dereference in the stream-iterator form.
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void writeFile(const std::string& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

std::vector<std::string> readLines(const std::string& path)
{
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::string maskDates(const std::string& text)
{
    static const std::regex date(R"([A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4})");
    return std::regex_replace(text, date, "<DATE>");
}

std::string runCommand(const std::string& command, int* status)
{
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[4096];
    for (std::size_t n; pipe != nullptr && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        output.append(buffer, n);
    }
    const int rc = pipe != nullptr ? pclose(pipe) : -1;
    if (status != nullptr) {
        *status = rc != -1 && WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    }
    return output;
}

int openDescriptors(const std::string& target)
{
    int count = 0;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code gone;  // a descriptor closed meanwhile has no link
        count += target.empty() || std::filesystem::read_symlink(fd.path(), gone) == target;
    }
    return count;
}

}  // namespace testsupport
