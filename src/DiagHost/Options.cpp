// Options.cpp - the command line, parsed with CLI11 from the command table; its errors told in diaghost's words.
#include "Options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "ExitStatus.h"
#include "MachinePlan.h"
#include "Verbs.h"

namespace diaghost {

namespace {

bool allDigits(const std::string& text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The commands' names as an error lists them: "info, list, run or report".
std::string verbNames(bool withHelp, const char* last)
{
    std::vector<std::string> names;
    for (std::size_t i = 0; i < kVerbCount; ++i) {
        if (withHelp || kVerbs[i].run != nullptr) {
            names.emplace_back(kVerbs[i].name);
        }
    }
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == names.size() ? std::string(" ") + last + " " : ", ") + names[i];
    }
    return text;
}

// diaghost's own options as rows of a command's help, which CLI11 leaves out.
std::string globalOptionsHelp(const CLI::App& app)
{
    std::string rows = "Global options (also before the command):\n";
    for (const CLI::Option* option : app.get_options()) {
        if (option->get_group() == "Options" && option != app.get_help_ptr() && option->get_lnames().size() == 1) {
            rows += helpRow("--" + option->get_lnames()[0] + " " + option->get_type_name(), 24,
                            option->get_description());
        }
    }
    return rows;
}

// The CLI11 app of the table: diaghost's options, then each command with its own.
void buildApp(CLI::App& app, Options& options)
{
    app.set_help_flag("-h,--help", "Show this help and exit");
    app.set_version_flag("--version", std::string("diaghost ") + DIAGHOST_VERSION, "Show the version and exit");
    // At most one command; a missing or unknown one is reported in our words.
    app.require_subcommand(0, 1);
    app.allow_extras();
    // Names and descriptions within 80 columns, in diaghost's words.
    app.get_formatter()->column_width(26);
    app.get_formatter()->label("SUBCOMMAND", "COMMAND");
    app.footer("'diaghost help COMMAND' explains a command (help run: the output streams\n"
               "and exit statuses); a command's options may also come before it\n"
               "(diaghost -v list). --simulate=help lists the simulated machines; the\n"
               "manual page diaghost(1) tells everything.");
    addGlobalOptions(app, options);
    for (std::size_t i = 0; i < kVerbCount; ++i) {
        const Verb& verb = kVerbs[i];
        CLI::App* command = app.add_subcommand(verb.name, verb.summary);
        command->fallthrough();
        command->allow_extras();
        command->group("Commands");
        verb.addOptions(*command, options);
        // Made only when the help is shown: wrapping its rows at every start costs.
        command->footer([&app, &verb] {
            std::string footer = globalOptionsHelp(app) + (verb.footer != nullptr ? "\n" + verb.footer() : "");
            footer.pop_back();  // CLI11 puts a line end after a footer function's text
            return footer;
        });
        command->footer(std::string("\nSee also diaghost --help and the manual page diaghost(1)."));
    }
}

// One line per command ("verb NAME SUMMARY"), per option ("option SCOPE
// NAMES TYPE", SCOPE "-" for diaghost's own, NAMES comma-separated, TYPE
// "-" for a flag; -h,--help only as diaghost's) and per argument ("positional COMMAND TYPE"), for bash
// completion and the manual page's check.
std::string completionText(const CLI::App& app)
{
    std::string text;
    const auto options = [&text](const CLI::App& on, const std::string& scope) {
        for (const CLI::Option* option : on.get_options()) {
            if (scope != "-" && option == on.get_help_ptr()) {
                continue;  // every command has it, as diaghost has
            }
            if (option->get_positional()) {
                text += "positional " + scope + " " + option->get_name() + "\n";
                continue;
            }
            std::string names;
            for (const std::string& name : option->get_snames()) {
                names += (names.empty() ? "-" : ",-") + name;
            }
            for (const std::string& name : option->get_lnames()) {
                names += (names.empty() ? "--" : ",--") + name;
            }
            const std::string type = option->get_type_name();
            text += "option " + scope + " " + names + " " + (type.empty() ? "-" : type) + "\n";
        }
    };
    options(app, "-");
    for (const CLI::App* command : app.get_subcommands({})) {
        text += "verb " + command->get_name() + " " + command->get_description() + "\n";
        options(*command, command->get_name());
    }
    return text;
}

// An option written before the command is read as if written after it,
// where the command's own options are known: "diaghost -v list" is
// "diaghost list -v". The command is the first argument that names one
// and is no option's value. "help COMMAND" becomes "COMMAND --help".
std::vector<std::string> commandFirst(const CLI::App& app, int argc, char** argv, bool& helpCommand)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    const std::vector<const CLI::App*> commands = app.get_subcommands({});
    for (auto arg = args.begin(); arg != args.end(); ++arg) {
        if (findVerb(*arg) != nullptr) {
            std::rotate(args.begin(), arg, arg + 1);
            break;
        }
        const CLI::Option* option = app.get_option_no_throw(*arg);
        for (auto command = commands.begin(); option == nullptr && command != commands.end(); ++command) {
            option = (*command)->get_option_no_throw(*arg);
        }
        arg += option != nullptr && option->get_expected_min() > 0 && arg + 1 != args.end() ? 1 : 0;
    }
    helpCommand = !args.empty() && args.front() == "help";
    if (helpCommand) {
        args.erase(args.begin());
        args.push_back("--help");
    }
    std::reverse(args.begin(), args.end());  // CLI11 takes them last first
    return args;
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

// What CLI11 left over: an option of another command, an unknown option or
// command, or an argument too many. -1 when nothing is left.
int leftOverError(const CLI::App& app, const std::string& commandName)
{
    const std::vector<std::string> extras = app.remaining(true);
    if (extras.empty()) {
        return -1;
    }
    const std::string& extra = extras.front();
    if (extra.size() > 1 && extra[0] == '-') {
        const std::size_t equals = extra.find('=');  // CLI11 leaves "-=3" of "-q=3"
        const std::string name = equals > 1 ? extra.substr(0, equals) : extra;
        std::string owners;  // the commands that have it
        for (const CLI::App* other : app.get_subcommands({})) {
            if (other->get_option_no_throw(name) != nullptr) {
                owners += (owners.empty() ? "" : " and ") + other->get_name();
            }
        }
        if (!owners.empty()) {
            return usageError("option " + name + " is for " + owners +
                                  (commandName.empty() ? "" : ", not for " + commandName),
                              owners.substr(0, owners.find(' ')));
        }
        return usageError("unknown option " + name + (commandName.empty() ? "" : " for " + commandName), commandName);
    }
    if (commandName.empty()) {
        return usageError("unknown command '" + extra + "': the commands are " + verbNames(true, "and"));
    }
    return usageError("unexpected argument '" + extra + "' after " + commandName, commandName);
}

// The checks across options that CLI11 cannot make; -1 when they hold.
int crossOptionError(const std::string& commandName, bool simulated, Options& options)
{
    if (commandName.empty()) {
        return usageError("a command is required: " + verbNames(false, "or"));
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
    return -1;
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

bool isCommand(const Options& options, const char* name)
{
    return options.command != nullptr && std::strcmp(options.command->name, name) == 0;
}

int parseOptions(int argc, char** argv, Options& options)
{
    CLI::App app("Runs the modem diagnostics package: lists the modems and tests them.", "diaghost");
    buildApp(app, options);
    // Not an option of the help texts: the script that asks knows it.
    if (argc == 2 && std::strcmp(argv[1], "--completion-data") == 0) {
        std::cout << completionText(app);
        return EXIT_ALL_PASSED;
    }
    bool helpCommand = false;
    std::vector<std::string> args = commandFirst(app, argc, argv, helpCommand);

    const auto parsedCommand = [&app] {
        return app.get_subcommands().empty() ? std::string() : app.get_subcommands().front()->get_name();
    };
    try {
        app.parse(args);
    } catch (const CLI::CallForHelp&) {
        if (helpCommand && parsedCommand().empty() && !app.remaining().empty()) {
            return usageError("no command '" + app.remaining()[0] + "': the commands are " + verbNames(true, "and"));
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
    const int leftOver = leftOverError(app, commandName);
    if (leftOver >= 0) {
        return leftOver;
    }
    const bool simulated = app.get_option("--simulate")->count() > 0;
    if (simulated && options.profile == "help") {
        std::cout << "Simulated machines for --simulate=PROFILE:\n" << machinesHelp();
        return EXIT_ALL_PASSED;
    }
    const int crossed = crossOptionError(commandName, simulated, options);
    if (crossed >= 0) {
        return crossed;
    }
    options.command = findVerb(commandName);
    return -1;
}

}  // namespace diaghost
