// bench_host.cpp - diaghost list against lspci on one simulated machine, and the waits for the driver between tests.
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "Deadline.h"
#include "DiscoveryMachine.h"
#include "MachinePlan.h"

namespace {

const int kRounds = 15;
const int kModems = 4;

struct Sample {
    double wallMs = 0.0;
    double cpuMs = 0.0;
};

double Millis(const timeval& time)
{
    return static_cast<double>(time.tv_sec) * 1000.0 + static_cast<double>(time.tv_usec) / 1000.0;
}

Sample Timed(const std::vector<std::string>& argv)
{
    const Deadline started;
    struct rusage usage {};
    benchtree::Run(argv, &usage);
    Sample sample;
    sample.wallMs = started.elapsedMs();
    sample.cpuMs = Millis(usage.ru_utime) + Millis(usage.ru_stime);
    return sample;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

// A package folder of the bench's own, with a log folder beside it, so that
// the runs write their logs there and not into the build tree.
std::string MakePackage(const std::string& dir)
{
    const std::string program = DIAGHOST_PATH;
    const std::string bin = program.substr(0, program.rfind('/'));
    const std::string built = bin.substr(0, bin.rfind('/')) + "/package/modem";
    mkdir(dir.c_str(), 0755);
    mkdir((dir + "/log").c_str(), 0755);
    mkdir((dir + "/modem").c_str(), 0755);
    for (const char* name : {"/pkg.cfg", "/libTSYmodemDiag.so"}) {
        if (symlink((built + name).c_str(), (dir + "/modem" + name).c_str()) != 0) {
            std::fprintf(stderr, "bench_host: cannot link %s%s: %s\n", built.c_str(), name, std::strerror(errno));
        }
    }
    return dir + "/modem/pkg.cfg";
}

// modemsim with its modems and a system root in root, until stopped; -1
// when it did not come up.
pid_t StartModems(const std::string& root, int releaseDelayMs)
{
    int out[2];
    if (pipe(out) != 0) {
        return -1;
    }
    const std::vector<std::string> argv = {MODEMSIM_PATH, "--modems", std::to_string(kModems), "--profile",
                                           "healthy,nodialtone-loopback-errors", "--root", root,
                                           "--release-delay", std::to_string(releaseDelayMs)};
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        execv(args[0], args.data());
        _exit(127);
    }
    close(out[1]);
    // Up once it has printed the root's line.
    std::string text;
    char chunk[512];
    ssize_t count = 0;
    while (text.find("MODEMDIAG_SYSROOT=") == std::string::npos &&
           (count = read(out[0], chunk, sizeof chunk)) > 0) {
        text.append(chunk, static_cast<std::size_t>(count));
    }
    close(out[0]);
    return text.find("MODEMDIAG_SYSROOT=") == std::string::npos ? -1 : pid;
}

void ListAgainstLspci(const std::string& package)
{
    modemsim::SimulatedRoot root;
    benchtree::BuildMachine(root);
    const std::vector<std::string> list = {DIAGHOST_PATH, "--package", package, "--sysroot", root.path(), "list"};
    const std::vector<std::string> lspci = {"lspci", "-n", "-A", "linux-proc", "-O",
                                            "proc.path=" + root.path() + "/proc/bus/pci"};
    const bool haveLspci = benchtree::HaveCommand("lspci");
    std::printf("diaghost list: %d PCI functions on buses 0-7, %d of them modems; median of %d runs each,\n"
                "the two commands taking turns\n",
                static_cast<int>(root.functions().size()), benchtree::kModems, kRounds);

    std::vector<double> listWall, listCpu, lspciWall, lspciCpu;
    Timed(list);  // the first run of each fills the page cache
    if (haveLspci) {
        Timed(lspci);
    }
    for (int i = 0; i < kRounds; ++i) {
        const Sample ours = Timed(list);
        listWall.push_back(ours.wallMs);
        listCpu.push_back(ours.cpuMs);
        if (haveLspci) {
            const Sample theirs = Timed(lspci);
            lspciWall.push_back(theirs.wallMs);
            lspciCpu.push_back(theirs.cpuMs);
        }
    }
    std::printf("  %-44s %8.2f ms wall %8.2f ms processor\n", "diaghost --sysroot ROOT list", Median(listWall),
                Median(listCpu));
    if (!haveLspci) {
        std::printf("  lspci not installed (Debian's pciutils): no comparison\n");
        return;
    }
    std::printf("  %-44s %8.2f ms wall %8.2f ms processor\n", "lspci -n -A linux-proc -O proc.path=...",
                Median(lspciWall), Median(lspciCpu));
    std::printf("  ratio diaghost / lspci (wall): %.2f (target: at most 1.5)\n", Median(listWall) / Median(lspciWall));
}

// Every "Waited N ms" line of a verbose run (the waits before tests for the
// driver to release the port closed last), and how many lines name
// MODEMS_IN_USE (none when no test found the driver busy).
std::vector<double> Waits(const std::string& package, const std::string& root, int* inUseLines)
{
    const std::string command = std::string(DIAGHOST_PATH) + " --package " + package + " --sysroot " + root +
                                " run -v 2>&1";
    std::vector<double> waits;
    *inUseLines = 0;
    if (FILE* out = popen(command.c_str(), "r")) {
        char line[1024];
        while (std::fgets(line, sizeof line, out) != nullptr) {
            double ms = 0.0;
            if (std::sscanf(line, " Waited %lf ms", &ms) == 1) {
                waits.push_back(ms);
            }
            if (std::strstr(line, "MODEMS_IN_USE") != nullptr) {
                ++*inUseLines;
            }
        }
        pclose(out);
    }
    return waits;
}

// How long a run waits before each test for the port closed last, with the
// simulator's default release delay and with a long one.
void ReleaseWaits(const std::string& package, const std::string& tmp, int rounds)
{
    std::printf("\ndiaghost run -v: %d simulated modems, all tests; waits before each test for the driver\n"
                "to release the port closed last, %d round(s) per release delay\n",
                kModems, rounds);
    for (int delayMs : {modemsim::MachinePlan::kDefaultReleaseDelayMs, 200}) {
        const std::string root = tmp + "/root-" + std::to_string(delayMs);
        const pid_t modems = StartModems(root, delayMs);
        if (modems < 0) {
            std::fprintf(stderr, "bench_host: modemsim did not start\n");
            return;
        }
        std::vector<double> waits;
        int inUse = 0;
        for (int round = 0; round < rounds; ++round) {
            int seen = 0;
            const std::vector<double> these = Waits(package, root, &seen);
            waits.insert(waits.end(), these.begin(), these.end());
            inUse += seen;
        }
        kill(modems, SIGTERM);
        waitpid(modems, nullptr, 0);
        std::sort(waits.begin(), waits.end());
        std::printf("  release delay %3d ms: %zu waits of %d tests, median %6.1f ms, longest %6.1f ms; "
                    "lines naming MODEMS_IN_USE: %d\n",
                    delayMs, waits.size(), rounds * kModems * 3, Median(waits), waits.empty() ? 0.0 : waits.back(),
                    inUse);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    // The runs take about half a minute a round; "--rounds N" for more.
    int rounds = 1;
    if (argc == 3 && std::strcmp(argv[1], "--rounds") == 0) {
        rounds = std::max(1, std::atoi(argv[2]));
    }
    char folder[] = "/tmp/bench-host-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        std::perror("bench_host: mkdtemp");
        return 1;
    }
    const std::string tmp = folder;
    const std::string package = MakePackage(tmp + "/pkg");
    if (sizeof(void*) == 4) {
        std::printf("Note: a 32-bit build; on an x86_64 machine it may run under emulation.\n\n");
    }

    ListAgainstLspci(package);

    ReleaseWaits(package, tmp, rounds);
    benchtree::Run({"rm", "-rf", tmp});
    return 0;
}
