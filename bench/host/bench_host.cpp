// bench_host.cpp - diaghost list against lspci on one simulated machine, and run --jobs against one modem at a time.
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

namespace {

const int kRounds = 15;
const int kJobModems = 4;

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
pid_t StartModems(const std::string& root)
{
    int out[2];
    if (pipe(out) != 0) {
        return -1;
    }
    const std::vector<std::string> argv = {MODEMSIM_PATH, "--modems", std::to_string(kJobModems), "--profile",
                                           "healthy,nodialtone-loopback-errors", "--root", root};
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

void JobsAgainstOneAtATime(const std::string& package, const std::string& root, int rounds)
{
    std::printf("\ndiaghost run: %d simulated modems (healthy and no dial tone with loopback errors in turn),\n"
                "all tests; each modem alone, then --jobs %d; %d round(s)\n",
                kJobModems, kJobModems, rounds);
    std::vector<double> slowest, jobs;
    for (int round = 0; round < rounds; ++round) {
        double slowestMs = 0.0;
        for (int device = 0; device < kJobModems; ++device) {
            const Sample one = Timed({DIAGHOST_PATH, "--package", package, "--sysroot", root, "run", "--device",
                                      std::to_string(device)});
            std::printf("  %-44s %8.0f ms wall\n", ("run --device " + std::to_string(device)).c_str(), one.wallMs);
            slowestMs = std::max(slowestMs, one.wallMs);
        }
        const Sample all = Timed({DIAGHOST_PATH, "--package", package, "--sysroot", root, "run", "--jobs",
                                  std::to_string(kJobModems)});
        std::printf("  %-44s %8.0f ms wall %8.2f ms processor (parent)\n",
                    ("run --jobs " + std::to_string(kJobModems)).c_str(), all.wallMs, all.cpuMs);
        slowest.push_back(slowestMs);
        jobs.push_back(all.wallMs);
    }
    std::printf("  ratio --jobs %d / slowest single modem (wall, median): %.3f (target: at most 1.15)\n", kJobModems,
                Median(jobs) / Median(slowest));
}

}  // namespace

int main(int argc, char** argv)
{
    // The run comparison takes about a minute a round; "--rounds N" for more.
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

    const std::string root = tmp + "/root";
    const pid_t modems = StartModems(root);
    if (modems < 0) {
        std::fprintf(stderr, "bench_host: modemsim did not start\n");
    } else {
        JobsAgainstOneAtATime(package, root, rounds);
        kill(modems, SIGTERM);
        waitpid(modems, nullptr, 0);
    }
    benchtree::Run({"rm", "-rf", tmp});
    return 0;
}
