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

std::string checkDevice(const std::string& value)
{
    const bool tty = value.size() > 1 && (value[0] == '/' || value.compare(0, 3, "tty") == 0);
    if (value == "all" || (allDigits(value) && value.size() < 6) || tty || PciAddress::parse(value).valid) {
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

// A file name that looks like an option is most likely a forgotten value.
std::string checkPath(const std::string& value)
{
    if (!value.empty() && value[0] == '-') {
        return "expected a file name, not the option '" + value + "' (write ./" + value + " for a file of that name)";
    }
    return std::string();
}

int usageError(const std::string& message, const std::string& command = "")
{
    std::cerr << "diaghost: " << message << " (see diaghost help" << (command.empty() ? "" : " " + command) << ")\n";
    return EXIT_USAGE;
}

// A CLI11 error in diaghost's words: the option's name kept from CLI11's text
// ("--device: At Most 1 required but received 2", "Could not convert: --json
// = maybe"), the rest said in diaghost's voice.
std::string parseErrorText(const CLI::ParseError& error)
{
    const std::string text = error.what();
    const std::size_t dash = text.compare(0, 1, "-") == 0 ? 0 : text.find(" -");
    if (dynamic_cast<const CLI::ValidationError*>(&error) != nullptr || dash == std::string::npos) {
        return text;  // our own checks' words, after the option's name
    }
    const std::size_t at = dash == 0 ? 0 : dash + 1;
    const std::string option = "option " + text.substr(at, text.find_first_of(": ", at) - at);
    if (dynamic_cast<const CLI::ConversionError*>(&error) != nullptr) {
        return option + " takes no value";
    }
    return option + (text.find("At Most") != std::string::npos ? " may be given once" : " needs a value");
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
        return record.pciAddress.text() == address.text();
    }
    return !record.tty.empty() && (record.tty == device || record.tty == "/dev/" + device);
}

int parseOptions(int argc, char** argv, Options& options)
{
    // The help texts' lists, made only when a help text shows them.
    const auto exitStatuses = [] {
        std::string rows = "Exit status:\n";
        for (const ExitStatusInfo& row : kExitStatuses) {
            rows += helpRow(std::to_string(row.status), 5, row.meaning);
        }
        return rows;
    };
    const auto profilesHelp = [] {
        std::string rows;
        for (const modemsim::MachinePlan& plan : modemsim::MachinePlan::named()) {
            rows += helpRow(plan.name, 11, plan.summary + (plan.name == "demo" ? " (default)" : ""));
        }
        return rows;
    };
    CLI::App app("Runs the modem diagnostics package: lists the modems and tests them.", "diaghost");
    app.set_help_flag("-h,--help", "Show this help and exit");
    app.set_version_flag("--version", std::string("diaghost ") + DIAGHOST_VERSION, "Show the version and exit");
    // At most one command; a missing or unknown one is reported below in our words.
    app.require_subcommand(0, 1);
    app.allow_extras();
    // Names and descriptions within 80 columns, in diaghost's words.
    app.get_formatter()->column_width(26);
    app.get_formatter()->label("SUBCOMMAND", "COMMAND");
    app.footer([exitStatuses, profilesHelp] {
        std::string footer = std::string("Commands are explained by 'diaghost help COMMAND'; their options may\n"
                                         "also come before them (diaghost -v list). The manual page diaghost(1)\n"
                                         "tells everything.\n\n") +
                             kStreams + "\n" + exitStatuses() + "\nSimulated machines (--simulate=PROFILE):\n" +
                             profilesHelp();
        footer.pop_back();  // CLI11 puts a line end after a footer function's text
        return footer;
    });

    const auto pathOption = [](CLI::App* on, const char* name, std::string& path, const char* type, const char* text) {
        on->add_option(name, path, text)->type_name(type)->check(checkPath);
    };
    pathOption(&app, "--package", options.package, "PKG.cfg", "Package manifest (default: the installed package)");
    pathOption(&app, "--sysroot", options.sysroot, "DIR", "Look up /proc and /dev below DIR");
    CLI::Option* simulate =
        app.add_option("--simulate", options.profile, "Run on a simulated machine (--simulate=help)")
            ->expected(0, 1)
            ->type_name("[=PROFILE]");
    app.add_option("--color", options.color, "Colour the text: auto (a terminal, no NO_COLOR), always or never")
        ->type_name("WHEN")
        ->check(CLI::IsMember({"auto", "always", "never"}));

    CLI::App* info = app.add_subcommand("info", "Show the diagnostic, its package and its tests");
    CLI::App* list = app.add_subcommand("list", "List the modems found");
    CLI::App* run = app.add_subcommand("run", "Run the tests on the modems");
    CLI::App* report = app.add_subcommand("report", "Make the HTML page of a run from its JSON document");
    CLI::App* help = app.add_subcommand("help", "Explain diaghost or one of its commands");
    const std::vector<CLI::App*> commands = {info, list, run, report, help};
    for (CLI::App* command : commands) {
        command->fallthrough();
        command->allow_extras();
        command->group("Commands");
        command->footer("See also diaghost --help and the manual page diaghost(1).");
    }
    run->footer(std::string(kStreams) + "\nSee also diaghost --help and the manual page diaghost(1).");
    report->footer("The page comes from the document alone (run --html writes the same page\n"
                   "from the run's own document): no package is loaded, no modem opened.\n\n"
                   "See also diaghost --help and the manual page diaghost(1).");

    info->add_flag("--json", options.json, "Print one JSON document instead of the text");

    list->add_flag("-v,--verbose", options.verbose, "Full description of each modem");
    list->add_flag("--json", options.json, "Print one JSON document on stdout instead of the table");
    list->add_option("--device", options.device, "Only this modem: index, tty or PCI address")
        ->type_name("MODEM|all")
        ->check(checkDevice);

    run->add_option("--device", options.device, "Modem: index, tty or PCI address, or all")
        ->type_name("MODEM|all")
        ->check(checkDevice);
    run->add_option("--test", options.tests, "dialtone, loopback, at or all; may be repeated")
        ->type_name("NAME|all");
    run->add_flag("--halt-on-error", options.haltOnError, "No test starts after a failure");
    run->add_option("--repeat", options.repeat, "Run the tests N times in a row (burn-in)")
        ->type_name("N")
        ->check(CLI::Range(1u, 1000000u));
    run->add_flag("--json", options.json, "One JSON document on stdout, the text on stderr");
    pathOption(run, "--json-file", options.jsonFile, "FILE", "Write the JSON document to FILE, replaced in one step");
    pathOption(run, "--junit", options.junit, "FILE", "Also write a JUnit XML report to FILE");
    pathOption(run, "--metrics", options.metrics, "FILE", "Also write Prometheus text metrics to FILE");
    pathOption(run, "--html", options.html, "FILE", "Also write the run's HTML page to FILE");
    run->add_flag("-v,--verbose", options.verbose, "Show each test's log lines from the plug-in");
    run->add_flag("-q,--quiet", options.quiet, "Show only the summary (not with -v)");

    pathOption(report, "--html", options.html, "FILE", "Write the page to FILE, replaced in one step");
    report->add_option("RUN.json", options.runDocument, "The run's JSON document (run --json-file); - reads stdin")
        ->type_name("");

    // An option written before the command is read as if written after it,
    // where the command's own options are known: "diaghost -v list" is
    // "diaghost list -v". The command is the first argument that names one
    // and is no option's value (only diaghost's and run's options take one).
    std::vector<std::string> args(argv + 1, argv + argc);
    for (auto arg = args.begin(); arg != args.end(); ++arg) {
        if (std::any_of(commands.begin(), commands.end(), [&arg](CLI::App* c) { return c->get_name() == *arg; })) {
            std::rotate(args.begin(), arg, arg + 1);
            break;
        }
        const CLI::Option* option = app.get_option_no_throw(*arg);
        option = option != nullptr ? option : run->get_option_no_throw(*arg);
        arg += option != nullptr && option->get_expected_min() > 0 && arg + 1 != args.end() ? 1 : 0;
    }
    // "help COMMAND" is "COMMAND --help"; "help" alone "--help".
    const bool helpCommand = !args.empty() && args.front() == "help";
    if (helpCommand) {
        args.erase(args.begin());
        args.push_back("--help");
    }
    std::reverse(args.begin(), args.end());  // CLI11 takes them last first

    const auto parsedCommand = [&app] {
        return app.get_subcommands().empty() ? std::string() : app.get_subcommands().front()->get_name();
    };
    try {
        app.parse(args);
    } catch (const CLI::CallForHelp&) {
        if (helpCommand && parsedCommand().empty() && !app.remaining().empty()) {
            return usageError("no command '" + app.remaining()[0] + "': the commands are info, list, run, report and help");
        }
        std::cout << app.help();  // the command's, when one was given
        return EXIT_ALL_PASSED;
    } catch (const CLI::CallForVersion& e) {
        std::cout << e.what() << "\n";
        return EXIT_ALL_PASSED;
    } catch (const CLI::ParseError& e) {
        return usageError(parseErrorText(e), parsedCommand());
    }

    const std::string commandName = parsedCommand();
    const std::vector<std::string> extras = app.remaining(true);
    if (!extras.empty()) {
        const std::string& extra = extras.front();
        if (extra.size() > 1 && extra[0] == '-') {
            // An option of another command: say which one it belongs to.
            const std::size_t equals = extra.find('=');  // CLI11 leaves "-=3" of "-q=3"
            const std::string name = equals > 1 ? extra.substr(0, equals) : extra;
            std::string owners;  // the commands that have it
            for (CLI::App* other : {info, list, run, report}) {
                if (other->get_option_no_throw(name) != nullptr) {
                    owners += (owners.empty() ? "" : " and ") + other->get_name();
                }
            }
            if (!owners.empty()) {
                return usageError("option " + name + " is for " + owners +
                                      (commandName.empty() ? "" : ", not for " + commandName),
                                  owners.substr(0, owners.find(' ')));
            }
            return usageError("unknown option " + name + (commandName.empty() ? "" : " for " + commandName),
                              commandName);
        }
        if (commandName.empty()) {
            return usageError("unknown command '" + extra + "': the commands are info, list, run, report and help");
        }
        return usageError("unexpected argument '" + extra + "' after " + commandName, commandName);
    }

    const bool simulated = simulate->count() > 0;
    if (simulated && options.profile == "help") {
        std::cout << "Simulated machines for --simulate=PROFILE:\n" << profilesHelp();
        return EXIT_ALL_PASSED;
    }
    if (commandName.empty()) {
        return usageError("a command is required: info, list, run or report");
    }
    if (commandName == "report" && options.html.empty()) {
        return usageError("report writes a page and nothing else: give it with --html FILE", "report");
    }
    if (commandName == "report" && options.runDocument.empty()) {
        return usageError("report needs a run's JSON document to read (as run --json-file writes it, or - for "
                          "standard input)",
                          "report");
    }
    if (simulated && !options.sysroot.empty()) {
        return usageError("--simulate and --sysroot exclude each other: a simulated machine has its own root");
    }
    if (options.quiet && options.verbose) {
        return usageError("-q and -v exclude each other: -q shows only the summary, -v every log line", "run");
    }
    if (simulated && options.profile.empty()) {
        options.profile = "demo";
    }
    if (simulated && modemsim::MachinePlan::find(options.profile) == nullptr) {
        std::cerr << "diaghost: unknown simulated machine '" << options.profile
                  << "' (diaghost --simulate=help lists them)\n";
        return EXIT_USAGE;
    }
    options.command = commandName == "info"     ? Command::Info
                      : commandName == "list"   ? Command::List
                      : commandName == "report" ? Command::Report
                                                : Command::Run;
    return -1;
}

}  // namespace diaghost
