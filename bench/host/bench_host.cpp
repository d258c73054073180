// bench_host.cpp - diaghost list against lspci on machines of 1, 4 and 32 simulated modems, and the driver waits between tests.
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "Deadline.h"
#include "DiscoveryMachine.h"
#include "MachinePlan.h"

namespace {

const int kDefaultRuns = 21;
const int kModems = 4;
const int kModemCounts[] = {1, 4, 32};

// The simulator that stands the machines up: this build's, or --modemsim's.
std::string g_modemsim = MODEMSIM_PATH;

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

std::string ParentFolder(const std::string& path)
{
    const std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

bool IsProgram(const std::string& path)
{
    return access(path.c_str(), X_OK) == 0;
}

void PrintLoad(const char* when)
{
    double load[3] = {0.0, 0.0, 0.0};
    if (getloadavg(load, 3) == 3) {
        std::printf("Load average %s: %.2f %.2f %.2f (1, 5, 15 min)\n", when, load[0], load[1], load[2]);
    }
}

// One build of diaghost: its program and a package folder of the bench's
// own that links that build's manifest and plug-in, with a log folder beside
// it, so that the runs log there and not into the build tree.
struct Build {
    std::string name;  // the preset's folder: "release", "dev"
    std::string program;
    std::string package;  // <folder>/modem/pkg.cfg
};

bool MakePackage(Build& build, const std::string& dir)
{
    const std::string built = ParentFolder(ParentFolder(build.program)) + "/package/modem";
    mkdir(dir.c_str(), 0755);
    mkdir((dir + "/log").c_str(), 0755);
    mkdir((dir + "/modem").c_str(), 0755);
    for (const char* name : {"/pkg.cfg", "/libTSYmodemDiag.so"}) {
        if (symlink((built + name).c_str(), (dir + "/modem" + name).c_str()) != 0) {
            std::fprintf(stderr, "bench_host: cannot link %s%s: %s\n", built.c_str(), name, std::strerror(errno));
            return false;
        }
    }
    build.package = dir + "/modem/pkg.cfg";
    return true;
}

// The builds named on the command line; else this bench's own build first,
// then the release and dev builds beside it (build/<preset>/bin/diaghost),
// those that are built.
std::vector<Build> FindBuilds(std::vector<Build> builds, const std::string& tmp)
{
    if (builds.empty()) {
        const std::string own = DIAGHOST_PATH;
        const std::string ownFolder = ParentFolder(ParentFolder(own));
        const std::string presets = ParentFolder(ownFolder);
        builds.push_back({ownFolder.substr(ownFolder.rfind('/') + 1), own, ""});
        for (const char* preset : {"release", "dev"}) {
            const std::string program = presets + "/" + preset + "/bin/diaghost";
            if (preset != builds.front().name && IsProgram(program)) {
                builds.push_back({preset, program, ""});
            }
        }
    }
    std::vector<Build> usable;
    for (Build& build : builds) {
        if (MakePackage(build, tmp + "/pkg-" + build.name)) {
            usable.push_back(build);
        }
    }
    return usable;
}

// modemsim with its modems and a system root in root, until stopped; -1
// when it did not come up.
pid_t StartModems(const std::string& root, int modems, const std::string& profiles, int releaseDelayMs)
{
    int out[2];
    if (pipe(out) != 0) {
        return -1;
    }
    const std::vector<std::string> argv = {g_modemsim, "--modems", std::to_string(modems), "--profile",
                                           profiles, "--root", root,
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
        // Its "answering" line would come between the bench's own.
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDERR_FILENO);
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

// Processor time the simulator's threads have had, in nanoseconds.
long long SimulatorTimeNs(pid_t modems)
{
    long long total = 0;
    const std::string tasks = "/proc/" + std::to_string(modems) + "/task";
    if (DIR* dir = opendir(tasks.c_str())) {
        while (const dirent* task = readdir(dir)) {
            long long ranNs = 0;
            FILE* stat = std::fopen((tasks + "/" + task->d_name + "/schedstat").c_str(), "r");
            if (stat != nullptr) {
                total += std::fscanf(stat, "%lld", &ranNs) == 1 ? ranNs : 0;
                std::fclose(stat);
            }
        }
        closedir(dir);
    }
    return total;
}

// Until the simulator has done what the last command left it (its use
// count's look through /proc, the new proc/modules), at most 250 ms: that
// work belongs to the command that caused it, and must not fall on the next
// one timed.
void WaitForRest(pid_t modems)
{
    const Deadline limit = Deadline::afterMs(250);
    long long before = SimulatorTimeNs(modems);
    while (!limit.expired()) {
        usleep(3000);
        const long long now = SimulatorTimeNs(modems);
        if (now == before) {
            return;
        }
        before = now;
    }
}

void StopModems(pid_t modems)
{
    kill(modems, SIGTERM);
    waitpid(modems, nullptr, 0);
}

// Medians of one machine: each build's list and lspci, the commands taking
// turns so that a spell of load falls on all of them alike.
struct Medians {
    std::vector<Sample> list;  // one per build
    Sample lspci;
};

Medians ListAndLspci(const std::vector<Build>& builds, const std::string& root, pid_t modems, int runs)
{
    std::vector<std::vector<std::string>> lists;
    for (const Build& build : builds) {
        lists.push_back({build.program, "--package", build.package, "--sysroot", root, "list"});
    }
    const std::vector<std::string> lspci = {"lspci", "-n", "-A", "linux-proc", "-O",
                                            "proc.path=" + root + "/proc/bus/pci"};
    // The first run of each fills the page cache and settles the modems.
    for (const std::vector<std::string>& list : lists) {
        Timed(list);
    }
    Timed(lspci);
    std::vector<std::vector<double>> listWall(builds.size()), listCpu(builds.size());
    std::vector<double> lspciWall, lspciCpu;
    for (int i = 0; i < runs; ++i) {
        for (std::size_t b = 0; b < lists.size(); ++b) {
            WaitForRest(modems);
            const Sample ours = Timed(lists[b]);
            listWall[b].push_back(ours.wallMs);
            listCpu[b].push_back(ours.cpuMs);
            WaitForRest(modems);
            const Sample theirs = Timed(lspci);
            lspciWall.push_back(theirs.wallMs);
            lspciCpu.push_back(theirs.cpuMs);
        }
    }
    Medians medians;
    for (std::size_t b = 0; b < builds.size(); ++b) {
        medians.list.push_back(Sample{Median(listWall[b]), Median(listCpu[b])});
    }
    medians.lspci = Sample{Median(lspciWall), Median(lspciCpu)};
    return medians;
}

void ListAgainstLspci(const std::vector<Build>& builds, const std::string& tmp, int runs)
{
    std::printf("diaghost --sysroot ROOT list beside lspci -n -A linux-proc -O proc.path=ROOT/proc/bus/pci\n"
                "on modemsim --root machines (healthy modems); median of %d runs each, the commands taking turns,\n"
                "each started once the simulator is at rest.\n"
                "Wall time, and in brackets processor time (user + system):\n\n",
                runs);
    for (const Build& build : builds) {
        std::printf("  %-8s %s\n", build.name.c_str(), build.program.c_str());
    }
    std::printf("  %-8s %s\n", "machines", g_modemsim.c_str());
    std::printf("\n  %6s  %-8s %20s %20s %12s\n", "modems", "build", "diaghost list", "lspci", "list/lspci");

    const int counts = static_cast<int>(sizeof kModemCounts / sizeof kModemCounts[0]);
    std::vector<Medians> all;
    for (int modems : kModemCounts) {
        const std::string root = tmp + "/root-" + std::to_string(modems);
        const pid_t sim = StartModems(root, modems, "healthy", modemsim::MachinePlan::kDefaultReleaseDelayMs);
        if (sim < 0) {
            std::fprintf(stderr, "bench_host: modemsim did not start\n");
            return;
        }
        all.push_back(ListAndLspci(builds, root, sim, runs));
        StopModems(sim);
        const Medians& medians = all.back();
        for (std::size_t b = 0; b < builds.size(); ++b) {
            std::printf("  %6d  %-8s %8.2f ms (%5.2f) %8.2f ms (%5.2f) %12.2f\n", modems, builds[b].name.c_str(),
                        medians.list[b].wallMs, medians.list[b].cpuMs, medians.lspci.wallMs, medians.lspci.cpuMs,
                        medians.list[b].wallMs / medians.lspci.wallMs);
        }
    }
    // What each modem adds, from the fewest modems to the most: the version
    // dialogue, the slot lookup and the device's log lines for diaghost, one
    // more configuration file for lspci.
    const double added = kModemCounts[counts - 1] - kModemCounts[0];
    const auto perModem = [added](const Sample& fewest, const Sample& most) {
        return Sample{(most.wallMs - fewest.wallMs) / added, (most.cpuMs - fewest.cpuMs) / added};
    };
    std::printf("\n  per modem, from %d to %d modems:\n", kModemCounts[0], kModemCounts[counts - 1]);
    for (std::size_t b = 0; b < builds.size(); ++b) {
        const Sample each = perModem(all.front().list[b], all.back().list[b]);
        std::printf("  %-16s %8.3f ms (%5.3f)\n", ("list " + builds[b].name).c_str(), each.wallMs, each.cpuMs);
    }
    const Sample each = perModem(all.front().lspci, all.back().lspci);
    std::printf("  %-16s %8.3f ms (%5.3f)\n", "lspci", each.wallMs, each.cpuMs);
    std::printf("  target: list/lspci at most 1.1 for the release build with %d modems\n", kModems);
}

// Every "Waited N ms" line of a verbose run (the waits before tests for the
// driver to release the port closed last), and how many lines name
// MODEMS_IN_USE (none when no test found the driver busy).
std::vector<double> Waits(const Build& build, const std::string& root, int* inUseLines)
{
    const std::string command =
        build.program + " --package " + build.package + " --sysroot " + root + " run -v 2>&1";
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
void ReleaseWaits(const Build& build, const std::string& tmp, int rounds)
{
    std::printf("\ndiaghost run -v (%s): %d simulated modems, all tests; waits before each test for the driver\n"
                "to release the port closed last, %d round(s) per release delay\n",
                build.name.c_str(), kModems, rounds);
    for (int delayMs : {modemsim::MachinePlan::kDefaultReleaseDelayMs, 200}) {
        const std::string root = tmp + "/run-root-" + std::to_string(delayMs);
        const pid_t modems = StartModems(root, kModems, "healthy,nodialtone-loopback-errors", delayMs);
        if (modems < 0) {
            std::fprintf(stderr, "bench_host: modemsim did not start\n");
            return;
        }
        std::vector<double> waits;
        int inUse = 0;
        for (int round = 0; round < rounds; ++round) {
            int seen = 0;
            const std::vector<double> these = Waits(build, root, &seen);
            waits.insert(waits.end(), these.begin(), these.end());
            inUse += seen;
        }
        StopModems(modems);
        std::sort(waits.begin(), waits.end());
        std::printf("  release delay %3d ms: %zu waits of %d tests, median %6.1f ms, longest %6.1f ms; "
                    "lines naming MODEMS_IN_USE: %d\n",
                    delayMs, waits.size(), rounds * kModems * 3, Median(waits), waits.empty() ? 0.0 : waits.back(),
                    inUse);
    }
}

int Usage()
{
    std::fprintf(stderr, "usage: bench_host [--runs N] [--rounds N] [--list-only] [--modemsim PROGRAM]\n"
                         "                  [--build NAME=PROGRAM]...\n"
                         "  --runs N     runs of each command per machine for list and lspci (default %d)\n"
                         "  --rounds N   whole test runs per release delay (default 1, about half a minute each)\n"
                         "  --list-only  list and lspci only, no test runs\n"
                         "  --modemsim PROGRAM\n"
                         "               the simulator that stands the machines up (default: this build's)\n"
                         "  --build NAME=PROGRAM\n"
                         "               a diaghost to time, with its package in PROGRAM/../../package/modem\n"
                         "               (a build tree's layout); given once or more, in place of this\n"
                         "               build and the release and dev builds beside it\n",
                 kDefaultRuns);
    return 64;
}

}  // namespace

int main(int argc, char** argv)
{
    int runs = kDefaultRuns;
    int rounds = 1;
    bool listOnly = false;
    std::vector<Build> named;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--runs" || arg == "--rounds") && i + 1 < argc) {
            (arg == "--runs" ? runs : rounds) = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--list-only") {
            listOnly = true;
        } else if (arg == "--modemsim" && i + 1 < argc && IsProgram(argv[i + 1])) {
            g_modemsim = argv[++i];
        } else if (arg == "--build" && i + 1 < argc && std::strchr(argv[i + 1], '=') != nullptr) {
            const std::string value = argv[++i];
            const std::string program = value.substr(value.find('=') + 1);
            if (!IsProgram(program)) {
                std::fprintf(stderr, "bench_host: %s is no program\n", program.c_str());
                return 64;
            }
            named.push_back({value.substr(0, value.find('=')), program, ""});
        } else {
            return Usage();
        }
    }
    if (!benchtree::HaveCommand("lspci")) {
        std::fprintf(stderr, "bench_host: lspci not installed (Debian's pciutils): nothing to compare with\n");
        return 1;
    }
    char folder[] = "/tmp/bench-host-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        std::perror("bench_host: mkdtemp");
        return 1;
    }
    const std::string tmp = folder;
    if (sizeof(void*) == 4) {
        std::printf("Note: a 32-bit build; on an x86_64 machine it may run under emulation.\n\n");
    }
    const std::vector<Build> builds = FindBuilds(named, tmp);
    if (!builds.empty()) {
        PrintLoad("before");
        ListAgainstLspci(builds, tmp, runs);
        PrintLoad("after");
        if (!listOnly) {
            ReleaseWaits(builds.front(), tmp, rounds);
        }
    }
    benchtree::Run({"rm", "-rf", tmp});
    return builds.empty() ? 1 : 0;
}
