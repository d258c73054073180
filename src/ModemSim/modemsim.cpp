// modemsim.cpp - stands up virtual modems on pseudo-terminals until interrupted.
// The command line is parsed with CLI11, as diaghost's is, and ends with diaghost's exit statuses.
#include <CLI/CLI.hpp>
#include <cctype>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "ExitStatus.h"
#include "MachinePlan.h"
#include "PciAddress.h"

namespace {

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
};

// The statuses modemsim ends with, diaghost's where they apply, in order:
// --help lists them, and the manual page says the same.
const diaghost::ExitStatusInfo kExitStatuses[] = {
    {diaghost::EXIT_ALL_PASSED, "stopped by SIGINT or SIGTERM, or after --help or --version"},
    {diaghost::EXIT_USAGE, "usage error"},
    {diaghost::EXIT_SOFTWARE, "internal error (a modem or the simulated root could not be set up)"},
};

const std::size_t kHelpWidth = 79;
const std::size_t kNameColumns = 26;

// text as lines within kHelpWidth columns, the first starting at column
// column and the others at column indent; a word longer than a line stays whole.
std::string Wrap(const std::string& text, std::size_t column, std::size_t indent)
{
    std::string wrapped;
    std::istringstream words(text);
    for (std::string word; words >> word;) {
        if (!wrapped.empty()) {
            const bool fits = column + 1 + word.size() <= kHelpWidth;
            wrapped += fits ? " " : "\n" + std::string(indent, ' ');
            column = fits ? column + 1 : indent;
        }
        wrapped += word;
        column += word.size();
    }
    return wrapped;
}

// An option's text, wrapped beside its name. CLI11 puts kNameColumns
// blanks before each of its later lines.
std::string Described(const std::string& text)
{
    std::string lines = Wrap(text, kNameColumns, kNameColumns);
    for (std::size_t at = 0; (at = lines.find('\n', at)) != std::string::npos; ++at) {
        lines.erase(at + 1, kNameColumns);
    }
    return lines;
}

// What follows the options in --help: the profiles, names to a line while
// they fit in 80 columns, and the exit statuses.
std::string HelpFooter()
{
    std::string footer = "Profiles:\n";
    std::string line;
    for (const std::string& name : modemsim::ModemProfile::names()) {
        if (!line.empty() && line.size() + 1 + name.size() > kHelpWidth) {
            footer += line + "\n";
            line.clear();
        }
        line += (line.empty() ? "  " : " ") + name;
    }
    footer += line + "\n\nExit status:\n";
    for (const diaghost::ExitStatusInfo& row : kExitStatuses) {
        std::string status = "  " + std::to_string(row.status);
        status.resize(7, ' ');
        footer += status + Wrap(row.meaning, 7, 7) + "\n";
    }
    footer.pop_back();  // CLI11 puts a line end after a footer function's text
    return footer;
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

// A CLI11 error in modemsim's words. Every option takes a value, checked
// below, so what CLI11 finds is a value missing ("--modems: 1 required TEXT
// missing"): its option's name is kept, the rest said our way.
std::string ParseErrorText(const CLI::ParseError& error)
{
    const std::string text = error.what();
    const std::size_t dash = text.compare(0, 1, "-") == 0 ? 0 : text.find(" -");
    if (dash == std::string::npos) {
        return text;
    }
    const std::size_t at = dash == 0 ? 0 : dash + 1;
    return "option " + text.substr(at, text.find_first_of(": ", at) - at) + " needs a value";
}

// Fills options from the command line. Returns -1 when modemsim goes on
// with them, else the status to end with: 0 after the help or the version
// (printed), EXIT_USAGE after a usage error, with the reason in error.
int ParseOptions(int argc, char** argv, Options& options, std::string& error)
{
    CLI::App app(Wrap("Stands up N virtual modems (default 1, at most " + std::to_string(kMaxModems) +
                          "), each on its own pseudo-terminal, prints each modem's tty path on a line of its own "
                          "and answers AT commands until SIGINT or SIGTERM.",
                      0, 0),
                 "modemsim");
    app.set_help_flag("-h,--help", "Show this help and exit");
    app.set_version_flag("--version", std::string("modemsim ") + MODEMSIM_VERSION, "Show the version and exit");
    app.allow_extras();  // unknown options and arguments are told below in our words
    app.get_formatter()->column_width(kNameColumns);
    app.footer(HelpFooter);

    // Each value is taken as given and checked below; the last of an option
    // given twice counts.
    std::string modems, profiles, root, pci, releaseDelay;
    const auto add = [&app](const char* name, std::string& value, const char* type, const std::string& text) {
        return app.add_option(name, value, Described(text))
            ->type_name(type)
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    };
    const CLI::Option* modemsGiven =
        add("-n,--modems", modems, "N", "Number of modems (0 with --root: a machine without modems)");
    const CLI::Option* profilesGiven = add("-p,--profile", profiles, "NAMES",
                                           "Profile of each modem; with several names, the modems take them in "
                                           "turn (default healthy)");
    const CLI::Option* rootGiven =
        add("-r,--root", root, "DIR",
            "Also build a simulated system root in DIR (an empty or new folder, or an earlier root): other PCI "
            "devices, one modem function per modem, each linked as DIR/dev/ttySM<n> and given slot n+1 in the BIOS "
            "IRQ routing table; prints the MODEMDIAG_SYSROOT= line to use");
    const CLI::Option* pciGiven =
        add("--pci", pci, "ADDRESSES",
            "With --root: the n-th modem's function at the n-th address, as lspci prints it (00:04.0), one per "
            "modem, ascending (the driver numbers its ttys in scan order); the default puts them at devices "
            "10-17 (hex) of buses 0, 2, 4, 6");
    const CLI::Option* delayGiven =
        add("--release-delay", releaseDelay, "MS",
            "With --root: how long after a tty's last close the driver's use count in DIR/proc/modules falls "
            "(default " +
                std::to_string(modemsim::MachinePlan::kDefaultReleaseDelayMs) +
                "; the count always shows every tty open in another process, as the kernel's does)");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help();
        return diaghost::EXIT_ALL_PASSED;
    } catch (const CLI::CallForVersion& version) {
        std::cout << version.what() << "\n";
        return diaghost::EXIT_ALL_PASSED;
    } catch (const CLI::ParseError& failure) {
        error = ParseErrorText(failure);
        return diaghost::EXIT_USAGE;
    }
    const std::vector<std::string> extras = app.remaining();
    if (!extras.empty()) {
        const std::string& extra = extras.front();
        error = extra.size() > 1 && extra[0] == '-' ? "unknown option " + extra.substr(0, extra.find('='))
                                                    : "unexpected argument '" + extra + "'";
        return diaghost::EXIT_USAGE;
    }

    if (modemsGiven->count() > 0) {
        char* end = nullptr;
        const long count = std::strtol(modems.c_str(), &end, 10);
        if (modems.empty() || *end != '\0' || count < 0 || count > kMaxModems) {
            error = "--modems wants a number from 0 to " + std::to_string(kMaxModems) + ", not '" + modems + "'";
            return diaghost::EXIT_USAGE;
        }
        options.modems = static_cast<int>(count);
    }
    if (profilesGiven->count() > 0) {
        options.profiles = SplitCommas(profiles);
        for (const std::string& name : options.profiles) {
            if (!modemsim::ModemProfile::named(name)) {
                error = "unknown profile '" + name + "'";
                return diaghost::EXIT_USAGE;
            }
        }
    }
    if (rootGiven->count() > 0) {
        if (root.empty()) {
            error = "--root wants a folder";
            return diaghost::EXIT_USAGE;
        }
        options.root = root;
    }
    if (pciGiven->count() > 0) {
        for (const std::string& text : SplitCommas(pci)) {
            // Domain 0000 only, the one a machine with /proc/bus/pci/BB
            // folders has, and a device number of 5 bits.
            const PciAddress address = PciAddress::parse(text);
            if (!address.valid || address.domain != 0 || address.device > 31) {
                error = "--pci wants addresses like 00:04.0, not '" + text + "'";
                return diaghost::EXIT_USAGE;
            }
            if (!options.pci.empty() && !(options.pci.back() < address)) {
                error = "--pci wants its addresses in ascending order, each once";
                return diaghost::EXIT_USAGE;
            }
            options.pci.push_back(address);
        }
    }
    if (delayGiven->count() > 0) {
        char* end = nullptr;
        const long delay = std::strtol(releaseDelay.c_str(), &end, 10);
        if (releaseDelay.empty() || *end != '\0' || delay < 0 || delay > kMaxReleaseDelayMs) {
            error = "--release-delay wants milliseconds from 0 to " + std::to_string(kMaxReleaseDelayMs) +
                    ", not '" + releaseDelay + "'";
            return diaghost::EXIT_USAGE;
        }
        options.releaseDelayMs = static_cast<int>(delay);
    }
    // Without a root there would be nothing to stand up.
    if (options.modems == 0 && options.root.empty()) {
        error = "--modems 0 needs --root";
        return diaghost::EXIT_USAGE;
    }
    if (!options.pci.empty() && options.root.empty()) {
        error = "--pci needs --root";
        return diaghost::EXIT_USAGE;
    }
    if (!options.pci.empty() && options.pci.size() != static_cast<std::size_t>(options.modems)) {
        error = "--pci wants one address per modem (" + std::to_string(options.modems) + "), not " +
                std::to_string(options.pci.size());
        return diaghost::EXIT_USAGE;
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    std::string error;
    const int parsed = ParseOptions(argc, argv, options, error);
    if (parsed >= 0) {
        if (!error.empty()) {
            std::fprintf(stderr, "modemsim: %s (see modemsim --help)\n", error.c_str());
        }
        return parsed;
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
        return diaghost::EXIT_SOFTWARE;
    }
    std::fflush(stdout);
    std::fprintf(stderr, "modemsim: %d modem(s) answering; SIGINT or SIGTERM stops\n", options.modems);

    int received = 0;
    sigwait(&stopSignals, &received);
    return diaghost::EXIT_ALL_PASSED;
}
