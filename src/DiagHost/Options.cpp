// Options.cpp - the command line, parsed with CLI11; its errors told in diaghost's words.
#include "Options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdlib>
#include <iostream>

#include "ExitStatus.h"
#include "MachinePlan.h"
#include "Text.h"

namespace diaghost {

namespace {

// The options that take a value, for a message that names the one left without.
const char* const kValueOptions[] = {"--package", "--sysroot", "--device", "--test", "--json-file", "--junit",
                                     "--metrics"};

// Which stream carries what, for the footers of the help texts.
const char* const kStreams =
    "Standard output carries the results: the text, or with --json one JSON\n"
    "document and nothing else. Progress, the summary and messages then go to\n"
    "standard error. Errors always go to standard error. --json-file writes\n"
    "the document to a file instead, replaced in one step, and leaves the\n"
    "text on standard output.\n";

bool allDigits(const std::string& text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool isTtyName(const std::string& text)
{
    return text.size() > 1 && (text[0] == '/' || text.compare(0, 3, "tty") == 0);
}

std::string checkDevice(const std::string& value)
{
    if (value == "all" || (allDigits(value) && value.size() < 6) || isTtyName(value) ||
        PciAddress::parse(value).valid) {
        return std::string();
    }
    return "expected a modem index, tty or PCI address (as 'diaghost list' shows them) or 'all', not '" + value + "'";
}

// One row of a list in a help text: "  NAME  text", NAME padded to width
// columns, the text wrapped within 79 columns beside it.
std::string helpRow(const std::string& name, std::size_t width, const std::string& text)
{
    std::string head = "  " + name;
    head.resize(2 + width, ' ');
    std::string rows;
    for (const std::string& line : wrapWords(head + text, 79, 2 + width)) {
        rows += line + "\n";
    }
    return rows;
}

// "Exit status:" and the list, for --help.
std::string exitStatusHelp()
{
    std::string text = "Exit status:\n";
    for (const ExitStatusInfo& row : kExitStatuses) {
        text += helpRow(std::to_string(row.status), 5, row.meaning);
    }
    return text;
}

// One row per simulated machine.
std::string simulatedMachines()
{
    std::string text;
    for (const modemsim::MachinePlan& plan : modemsim::MachinePlan::named()) {
        text += helpRow(plan.name, 11, plan.summary + (plan.name == "demo" ? " (default)" : ""));
    }
    return text;
}

// A file name that looks like an option is most likely a forgotten value.
std::string checkPath(const std::string& value)
{
    if (!value.empty() && value[0] == '-') {
        return "expected a file name, not the option '" + value + "' (write ./" + value + " for a file of that name)";
    }
    return std::string();
}

// A usage error in one line, with where to read more.
int usageError(const std::string& message, const std::string& command)
{
    std::cerr << "diaghost: " << message << " (see diaghost help" << (command.empty() ? "" : " " + command) << ")\n";
    return EXIT_USAGE;
}

// The option of argv left without its value: the last one that is followed
// by nothing or by another option.
std::string optionWithoutValue(int argc, char** argv)
{
    for (int i = argc - 1; i >= 1; --i) {
        const std::string arg = argv[i];
        for (const char* option : kValueOptions) {
            if (arg == option && (i + 1 == argc || argv[i + 1][0] == '-')) {
                return arg;
            }
        }
    }
    return std::string();
}

}  // namespace

bool Options::selects(const DeviceRecord& record) const
{
    if (device == "all") {
        return true;
    }
    if (allDigits(device)) {
        return record.index == std::atoi(device.c_str());
    }
    const PciAddress address = PciAddress::parse(device);
    if (address.valid) {
        return record.pciAddress == address;
    }
    return !record.tty.empty() && (record.tty == device || record.tty == "/dev/" + device);
}

bool Options::allTests() const
{
    return tests.empty() || std::find(tests.begin(), tests.end(), "all") != tests.end();
}

int parseOptions(int argc, char** argv, Options& options)
{
    const std::string profilesHelp = simulatedMachines();
    CLI::App app("Runs the modem diagnostics package: lists the modems and tests them.", "diaghost");
    app.set_version_flag("--version", std::string("diaghost ") + DIAGHOST_VERSION);
    // At most one command; a missing or unknown one is reported below in our words.
    app.require_subcommand(0, 1);
    app.allow_extras();
    // Names and descriptions within 80 columns.
    app.get_formatter()->column_width(26);
    app.footer(std::string("Commands are explained by 'diaghost help COMMAND'; the manual page\n"
                           "diaghost(1) tells everything.\n\n") +
               kStreams + "\n" + exitStatusHelp() + "\nSimulated machines (--simulate=PROFILE):\n" + profilesHelp);

    app.add_option("--package", options.package, "Package manifest (default: the installed package)")
        ->type_name("PKG.cfg")
        ->check(checkPath);
    app.add_option("--sysroot", options.sysroot, "Look up /proc and /dev below DIR")
        ->type_name("DIR")
        ->check(checkPath);
    CLI::Option* simulate =
        app.add_option("--simulate", options.profile,
                       "Run on a simulated machine (--simulate=help)")
            ->expected(0, 1)
            ->type_name("[=PROFILE]");

    CLI::App* info = app.add_subcommand("info", "Show the diagnostic, its package and its tests");
    CLI::App* list = app.add_subcommand("list", "List the modems found");
    CLI::App* run = app.add_subcommand("run", "Run the tests on the modems");
    CLI::App* help = app.add_subcommand("help", "Explain diaghost or one of its commands");
    std::string helpTopic;
    help->add_option("COMMAND", helpTopic, "info, list or run");
    for (CLI::App* command : {info, list, run, help}) {
        command->fallthrough();
        command->allow_extras();
        command->footer("See also diaghost --help and the manual page diaghost(1).");
    }
    run->footer(std::string(kStreams) + "\nSee also diaghost --help and the manual page diaghost(1).");

    info->add_flag("--json", options.json, "Print one JSON document instead of the text");

    list->add_flag("-v,--verbose", options.verbose, "Full description of each modem");
    list->add_flag("--json", options.json, "Print one JSON document on stdout instead of the table");

    run->add_option("--device", options.device,
                    "Modem: index, tty or PCI address, or all")
        ->type_name("MODEM|all")
        ->check(checkDevice);
    run->add_option("--test", options.tests, "dialtone, loopback, at or all; may be repeated")
        ->type_name("NAME|all");
    run->add_flag("--halt-on-error", options.haltOnError, "No test starts after a failure");
    run->add_flag("--json", options.json, "One JSON document on stdout, the text on stderr");
    run->add_option("--json-file", options.jsonFile, "Write the JSON document to FILE, replaced in one step")
        ->type_name("FILE")
        ->check(checkPath);
    run->add_option("--junit", options.junit, "Also write a JUnit XML report to FILE")
        ->type_name("FILE")
        ->check(checkPath);
    run->add_option("--metrics", options.metrics,
                    "Also write Prometheus text metrics to FILE")
        ->type_name("FILE")
        ->check(checkPath);
    run->add_flag("-v,--verbose", options.verbose, "Show each test's log lines from the plug-in");
    run->add_flag("-q,--quiet", options.quiet, "Show only the summary");

    const auto parsedCommand = [&app]() -> CLI::App* {
        return app.get_subcommands().empty() ? nullptr : app.get_subcommands().front();
    };
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        CLI::App* command = parsedCommand();
        std::cout << (command != nullptr && command != help ? command->help() : app.help());
        return EXIT_ALL_PASSED;
    } catch (const CLI::CallForVersion& e) {
        std::cout << e.what() << "\n";
        return EXIT_ALL_PASSED;
    } catch (const CLI::ValidationError& e) {
        // Our own checks' words, after the option's name.
        CLI::App* command = parsedCommand();
        return usageError(e.what(), command != nullptr ? command->get_name() : "");
    } catch (const CLI::ParseError& e) {
        CLI::App* command = parsedCommand();
        const std::string option = optionWithoutValue(argc, argv);
        if (!option.empty()) {
            return usageError("option " + option + " needs a value", command != nullptr ? command->get_name() : "");
        }
        return usageError(std::string("cannot read the command line: ") + e.what(), "");
    }

    CLI::App* command = parsedCommand();
    const std::string commandName = command != nullptr ? command->get_name() : "";
    std::vector<std::string> extras = app.remaining(true);
    if (command == help && !extras.empty() && helpTopic.empty()) {
        helpTopic = extras.front();
        extras.erase(extras.begin());
    }
    if (!extras.empty()) {
        const std::string& extra = extras.front();
        if (extra.size() > 1 && extra[0] == '-') {
            return usageError("unknown option " + extra.substr(0, extra.find('=')) +
                                  (commandName.empty() ? "" : " for " + commandName),
                              commandName);
        }
        if (command == nullptr) {
            return usageError("unknown command '" + extra + "': the commands are info, list, run and help", "");
        }
        return usageError("unexpected argument '" + extra + "' after " + commandName, commandName);
    }

    options.simulate = simulate->count() > 0;
    if (options.simulate && options.profile == "help") {
        std::cout << "Simulated machines for --simulate=PROFILE:\n" << profilesHelp;
        return EXIT_ALL_PASSED;
    }
    if (command == help) {
        for (CLI::App* topic : {info, list, run}) {
            if (helpTopic == topic->get_name()) {
                std::cout << topic->help();
                return EXIT_ALL_PASSED;
            }
        }
        if (!helpTopic.empty()) {
            return usageError("no command '" + helpTopic + "': the commands are info, list, run and help", "");
        }
        std::cout << app.help();
        return EXIT_ALL_PASSED;
    }
    if (command == nullptr) {
        return usageError("a command is required: info, list or run", "");
    }
    if (options.simulate && !options.sysroot.empty()) {
        return usageError("--simulate and --sysroot exclude each other", "");
    }
    if (options.simulate && options.profile.empty()) {
        options.profile = "demo";
    }
    if (options.simulate && modemsim::MachinePlan::find(options.profile) == nullptr) {
        std::cerr << "diaghost: unknown simulated machine '" << options.profile
                  << "' (diaghost --simulate=help lists them)\n";
        return EXIT_USAGE;
    }
    options.command = command == info ? Command::Info : command == list ? Command::List : Command::Run;
    return -1;
}

}  // namespace diaghost
