// bench_discovery.cpp - hardware table build: config file opens, and time side by side with lspci's proc access.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "Deadline.h"
#include "DiscoveryMachine.h"
#include "Velk.h"

namespace {

using benchtree::BuildMachine;
using benchtree::HaveCommand;
using benchtree::kModems;
using benchtree::Run;

int ScanOnce()
{
    hwDevDetailStruct table[kHwDevTableCapacity];
    std::uint32_t count = 0;
    BuildHWDeviceTable(table, &count, 0x0418, 0xE7A5);
    return static_cast<int>(count);
}

// Opens of the root's PCI files by a command, counted by strace: folder
// listings and file opens apart.
void CountOpens(const char* label, const std::vector<std::string>& command, const std::string& pciPath)
{
    char trace[] = "/tmp/bench-discovery-strace-XXXXXX";
    const int fd = mkstemp(trace);
    if (fd < 0) {
        return;
    }
    close(fd);
    std::vector<std::string> argv = {"strace", "-f", "-qq", "-e", "trace=open,openat", "-o", trace};
    argv.insert(argv.end(), command.begin(), command.end());
    Run(argv);

    int folders = 0;
    int files = 0;
    FILE* in = std::fopen(trace, "r");
    char line[4096];
    while (in != nullptr && std::fgets(line, sizeof line, in) != nullptr) {
        if (std::strstr(line, pciPath.c_str()) == nullptr) {
            continue;
        }
        if (std::strstr(line, "O_DIRECTORY") != nullptr) {
            ++folders;
        } else {
            ++files;
        }
    }
    if (in != nullptr) {
        std::fclose(in);
    }
    unlink(trace);
    std::printf("  %-34s %3d file opens + %d folder listings\n", label, files, folders);
}

double MeanRunMs(const std::vector<std::string>& command, int runs)
{
    const Deadline started;
    for (int i = 0; i < runs; ++i) {
        Run(command);
    }
    return started.elapsedMs() / runs;
}

}  // namespace

int main(int argc, char** argv)
{
    // The child mode the measurements run: one table build on the root in
    // MODEMDIAG_SYSROOT.
    if (argc == 2 && std::strcmp(argv[1], "--scan-once") == 0) {
        return ScanOnce() == kModems ? 0 : 1;
    }

    modemsim::SimulatedRoot root;
    BuildMachine(root);
    root.exportToEnvironment();
    const std::string pciPath = root.path() + "/proc/bus/pci";
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) {
        std::fprintf(stderr, "bench_discovery: cannot find its own program\n");
        return 1;
    }
    self[length] = '\0';

    if (sizeof(void*) == 4) {
        std::printf("Note: a 32-bit build; on an x86_64 machine it may run under emulation, so compare\n"
                    "process times with the native build's.\n\n");
    }
    std::printf("Machine: %d PCI functions on buses 0-7, %d of them modems; table found %d modems\n",
                static_cast<int>(root.functions().size()), kModems, ScanOnce());

    const std::vector<std::string> scan = {self, "--scan-once"};
    const std::vector<std::string> lspci = {"lspci", "-n", "-A", "linux-proc", "-O", "proc.path=" + pciPath};
    const bool haveLspci = HaveCommand("lspci");

    std::printf("\nOpens of PCI files for one hardware table (strace -f -e trace=open,openat)\n");
    if (HaveCommand("strace")) {
        CountOpens("BuildHWDeviceTable", scan, pciPath);
        if (haveLspci) {
            CountOpens("lspci -n (linux-proc)", lspci, pciPath);
        }
    } else {
        std::printf("  strace not installed: not measured\n");
    }
    std::printf("  %-34s %3d file opens (per-ordinal rescans of 2,048 names, for comparison)\n",
                "one rescan per match", (kModems + 1) * 2048);

    const int inProcessRuns = 2000;
    const Deadline scanning;
    for (int i = 0; i < inProcessRuns; ++i) {
        ScanOnce();
    }
    const double inProcessMs = scanning.elapsedMs() / inProcessRuns;

    const int processRuns = 200;
    std::printf("\nTime for one hardware table (mean)\n");
    std::printf("  %-34s %8.3f ms\n", "BuildHWDeviceTable, in process", inProcessMs);
    const double scanMs = MeanRunMs(scan, processRuns);
    std::printf("  %-34s %8.3f ms\n", "BuildHWDeviceTable, own process", scanMs);
    if (haveLspci) {
        const double lspciMs = MeanRunMs(lspci, processRuns);
        std::printf("  %-34s %8.3f ms\n", "lspci -n (linux-proc), process", lspciMs);
        std::printf("  ratio lspci / BuildHWDeviceTable: %.2f per process, %.1f against in-process\n",
                    lspciMs / scanMs, lspciMs / inProcessMs);
    } else {
        std::printf("  lspci not installed (Debian's pciutils): no comparison\n");
    }
    return 0;
}
