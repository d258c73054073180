// modemsim.cpp - stands up virtual modems on pseudo-terminals until interrupted.
#include <getopt.h>
#include <cctype>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "MachinePlan.h"
#include "PciAddress.h"

namespace {

const int kExitUsage = 64;
const int kExitFailure = 1;
const int kMaxModems = 32;
const int kMaxReleaseDelayMs = 60000;

struct Options {
    int modems = 1;
    std::vector<std::string> profiles{"healthy"};
    std::string root;  // folder for a simulated system root ("" for none)
    // Where the modem functions sit (--pci), in scan order; empty for the
    // spread layout.
    std::vector<PciAddress> pci;
    int releaseDelayMs = modemsim::MachinePlan::kDefaultReleaseDelayMs;
    bool help = false;
    bool version = false;
};

void PrintUsage(FILE* out)
{
    std::fprintf(out,
                 "Usage: modemsim [--modems N] [--profile NAME[,NAME...]] [--root DIR]\n"
                 "                [--pci BB:DD.F[,BB:DD.F...]] [--release-delay MS]\n"
                 "\n"
                 "Stands up N virtual modems (default 1, at most %d), each on its own\n"
                 "pseudo-terminal, prints each modem's tty path on a line of its own and\n"
                 "answers AT commands until SIGINT or SIGTERM.\n"
                 "\n"
                 "  -n, --modems N          number of modems (0 with --root: a machine\n"
                 "                          without modems)\n"
                 "  -p, --profile NAMES     profile of each modem; with several names, the\n"
                 "                          modems take them in turn (default healthy)\n"
                 "  -r, --root DIR          also build a simulated system root in DIR (an\n"
                 "                          empty or new folder, or an earlier root): other\n"
                 "                          PCI devices, one modem function per modem, each\n"
                 "                          linked as DIR/dev/ttySM<n> and given slot n+1 in\n"
                 "                          the BIOS IRQ routing table; prints the\n"
                 "                          MODEMDIAG_SYSROOT= line to use\n"
                 "      --pci ADDRESSES     with --root: the n-th modem's function at the\n"
                 "                          n-th address, as lspci prints it (00:04.0),\n"
                 "                          one per modem, ascending (the driver numbers\n"
                 "                          its ttys in scan order); the default puts them\n"
                 "                          at devices 10-17 (hex) of buses 0, 2, 4, 6\n"
                 "      --release-delay MS  with --root: how long after a tty's last close\n"
                 "                          the driver's use count in DIR/proc/modules falls\n"
                 "                          (default %d; the count always shows every tty\n"
                 "                          open in another process, as the kernel's does)\n"
                 "  -h, --help              this text\n"
                 "      --version           the version\n"
                 "\n"
                 "Profiles:\n",
                 kMaxModems, modemsim::MachinePlan::kDefaultReleaseDelayMs);
    // Names to a line while they fit in 80 columns.
    std::string line;
    for (const std::string& name : modemsim::ModemProfile::names()) {
        if (!line.empty() && line.size() + 1 + name.size() > 79) {
            std::fprintf(out, "%s\n", line.c_str());
            line.clear();
        }
        line += (line.empty() ? "  " : " ") + name;
    }
    std::fprintf(out, "%s\n", line.c_str());
}

std::vector<std::string> SplitCommas(const std::string& text)
{
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (;;) {
        const std::size_t comma = text.find(',', from);
        parts.push_back(text.substr(from, comma == std::string::npos ? std::string::npos : comma - from));
        if (comma == std::string::npos) {
            return parts;
        }
        from = comma + 1;
    }
}

// Fills options from the command line; on a usage error returns false with
// the reason in error.
bool ParseOptions(int argc, char** argv, Options& options, std::string& error)
{
    static const struct option kLongOptions[] = {
        {"modems", required_argument, nullptr, 'n'},
        {"profile", required_argument, nullptr, 'p'},
        {"root", required_argument, nullptr, 'r'},
        {"release-delay", required_argument, nullptr, 'd'},
        {"pci", required_argument, nullptr, 'a'},
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, 'V'},
        {nullptr, 0, nullptr, 0},
    };
    opterr = 0;
    int option;
    while ((option = getopt_long(argc, argv, ":n:p:r:h", kLongOptions, nullptr)) != -1) {
        switch (option) {
        case 'n': {
            char* end = nullptr;
            const long count = std::strtol(optarg, &end, 10);
            if (*optarg == '\0' || *end != '\0' || count < 0 || count > kMaxModems) {
                error = "--modems wants a number from 0 to " + std::to_string(kMaxModems) + ", not '" + optarg + "'";
                return false;
            }
            options.modems = static_cast<int>(count);
            break;
        }
        case 'p':
            options.profiles = SplitCommas(optarg);
            for (const std::string& name : options.profiles) {
                if (!modemsim::ModemProfile::named(name)) {
                    error = "unknown profile '" + name + "'";
                    return false;
                }
            }
            break;
        case 'r':
            if (*optarg == '\0') {
                error = "--root wants a folder";
                return false;
            }
            options.root = optarg;
            break;
        case 'a':
            options.pci.clear();
            for (const std::string& text : SplitCommas(optarg)) {
                // Domain 0000 only, the one a machine with /proc/bus/pci/BB
                // folders has, and a device number of 5 bits.
                const PciAddress address = PciAddress::parse(text);
                if (!address.valid || address.domain != 0 || address.device > 31) {
                    error = "--pci wants addresses like 00:04.0, not '" + text + "'";
                    return false;
                }
                if (!options.pci.empty() && !(options.pci.back() < address)) {
                    error = "--pci wants its addresses in ascending order, each once";
                    return false;
                }
                options.pci.push_back(address);
            }
            break;
        case 'd': {
            char* end = nullptr;
            const long delay = std::strtol(optarg, &end, 10);
            if (*optarg == '\0' || *end != '\0' || delay < 0 || delay > kMaxReleaseDelayMs) {
                error = "--release-delay wants milliseconds from 0 to " + std::to_string(kMaxReleaseDelayMs) +
                        ", not '" + optarg + "'";
                return false;
            }
            options.releaseDelayMs = static_cast<int>(delay);
            break;
        }
        case 'h':
            options.help = true;
            break;
        case 'V':
            options.version = true;
            break;
        case ':':
            error = std::string("option ") + argv[optind - 1] + " needs a value";
            return false;
        default:
            error = std::string("unknown option ") + argv[optind - 1];
            return false;
        }
    }
    if (optind < argc) {
        error = std::string("unexpected argument '") + argv[optind] + "'";
        return false;
    }
    // Without a root there would be nothing to stand up.
    if (options.modems == 0 && options.root.empty()) {
        error = "--modems 0 needs --root";
        return false;
    }
    if (!options.pci.empty() && options.root.empty()) {
        error = "--pci needs --root";
        return false;
    }
    if (!options.pci.empty() && options.pci.size() != static_cast<std::size_t>(options.modems)) {
        error = "--pci wants one address per modem (" + std::to_string(options.modems) + "), not " +
                std::to_string(options.pci.size());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "modemsim: %s\nTry 'modemsim --help'.\n", error.c_str());
        return kExitUsage;
    }
    if (options.help) {
        PrintUsage(stdout);
        return 0;
    }
    if (options.version) {
        std::printf("modemsim %s\n", MODEMSIM_VERSION);
        return 0;
    }

    // Blocked before any modem thread starts, so that only sigwait below
    // takes them and the modems shut down through their destructors.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    // With a root the modems are part of a simulated machine; without one
    // they stand alone on their pseudo-terminals.
    std::vector<std::string> profiles;
    for (int i = 0; i < options.modems; ++i) {
        profiles.push_back(options.profiles[static_cast<std::size_t>(i) % options.profiles.size()]);
    }
    std::vector<std::unique_ptr<modemsim::VirtualModem>> modems;
    std::unique_ptr<modemsim::SimulatedMachine> machine;
    try {
        if (options.root.empty()) {
            for (const std::string& name : profiles) {
                modems.push_back(std::make_unique<modemsim::VirtualModem>(*modemsim::ModemProfile::named(name)));
                std::printf("%s\n", modems.back()->slavePath().c_str());
            }
        } else {
            modemsim::MachinePlan plan = modemsim::MachinePlan::spread(profiles);
            plan.releaseDelayMs = options.releaseDelayMs;
            for (std::size_t i = 0; i < options.pci.size(); ++i) {
                plan.modems[i].bus = static_cast<int>(options.pci[i].bus);
                plan.modems[i].device = static_cast<int>(options.pci[i].device);
                plan.modems[i].function = static_cast<int>(options.pci[i].function);
            }
            machine = std::make_unique<modemsim::SimulatedMachine>(plan, options.root);
            for (const auto& modem : machine->modems()) {
                std::printf("%s\n", modem->slavePath().c_str());
            }
            std::fflush(stdout);
            machine->root().printSysrootLine(std::cout);
        }
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "modemsim: %s\n", failure.what());
        return kExitFailure;
    }
    std::fflush(stdout);
    std::fprintf(stderr, "modemsim: %d modem(s) answering; SIGINT or SIGTERM stops\n", options.modems);

    int received = 0;
    sigwait(&stopSignals, &received);
    return 0;
}
