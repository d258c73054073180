// Verbs.cpp - the command table and the options of each command.
#include "Verbs.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstring>

#include "ExitStatus.h"
#include "MachinePlan.h"
#include "Options.h"
#include "Session.h"
#include "Text.h"

namespace diaghost {

namespace {

// Which stream carries what, told by run's help.
const char* const kStreams =
    "Standard output carries the results: the text, or with --json one JSON\n"
    "document and nothing else. Progress, the summary and messages then go to\n"
    "standard error. Errors always go to standard error. --json-file writes\n"
    "the document to a file instead, replaced in one step, and leaves the\n"
    "text on standard output.\n";

constexpr unsigned kMostRounds = 1000000;

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

// A file name that looks like an option is most likely a forgotten value.
std::string checkPath(const std::string& value)
{
    if (!value.empty() && value[0] == '-') {
        return "expected a file name, not the option '" + value + "' (write ./" + value + " for a file of that name)";
    }
    return std::string();
}

// Checked as written, before CLI11 converts it, so that "1x" and "0" get the same answer.
std::string checkRounds(const std::string& value)
{
    if (allDigits(value) && value.size() <= 7 && std::stoul(value) >= 1 && std::stoul(value) <= kMostRounds) {
        return std::string();
    }
    return "expected a number of rounds from 1 to " + std::to_string(kMostRounds) + ", not '" + value + "'";
}

std::string checkColor(const std::string& value)
{
    if (value == "auto" || value == "always" || value == "never") {
        return std::string();
    }
    return "expected auto, always or never, not '" + value + "'";
}

void pathOption(CLI::App& on, const char* name, std::string& path, const char* type, const char* text)
{
    on.add_option(name, path, text)->type_name(type)->check(checkPath);
}

void deviceOption(CLI::App& on, Options& options, const char* text)
{
    on.add_option("--device", options.device, text)->type_name("MODEM|all")->check(checkDevice);
}

void infoOptions(CLI::App& info, Options& options)
{
    info.add_flag("--json", options.json, "Print one JSON document instead of the text");
}

void listOptions(CLI::App& list, Options& options)
{
    list.add_flag("-v,--verbose", options.verbose, "Full description of each modem");
    list.add_flag("--json", options.json, "One JSON document on stdout instead of the table");
    deviceOption(list, options, "Only this modem: its index, tty or PCI address");
}

void runOptions(CLI::App& run, Options& options)
{
    deviceOption(run, options, "Modem: index, tty or PCI address, or all");
    run.add_option("--test", options.tests, "dialtone, loopback, at or all; may be repeated")->type_name("NAME|all");
    run.add_flag("--halt-on-error", options.haltOnError, "No test starts after a failure");
    run.add_option("--repeat", options.repeat, "Run the selected tests N times in a row (burn-in)")
        ->type_name("N")
        ->check(checkRounds);
    run.add_flag("--json", options.json, "One JSON document on stdout, the text on stderr");
    pathOption(run, "--json-file", options.jsonFile, "FILE", "Write the JSON document to FILE, replaced in one step");
    pathOption(run, "--junit", options.junit, "FILE", "Also write a JUnit XML report to FILE");
    pathOption(run, "--metrics", options.metrics, "FILE", "Also write Prometheus text metrics to FILE");
    pathOption(run, "--html", options.html, "FILE", "Also write the run's HTML page to FILE");
    run.add_flag("-v,--verbose", options.verbose, "Show each test's log lines from the plug-in");
    run.add_flag("-q,--quiet", options.quiet, "Show only the summary (not with -v)");
}

void reportOptions(CLI::App& report, Options& options)
{
    pathOption(report, "--html", options.html, "FILE", "Write the page to FILE, replaced in one step");
    report.add_option("RUN.json", options.runDocument, "The run's JSON document (run --json-file); - is stdin")
        ->type_name("");
}

void noOptions(CLI::App&, Options&) {}

std::string runFooter()
{
    std::string text = std::string(kStreams) + "\nExit status:\n";
    for (const ExitStatusInfo& row : kExitStatuses) {
        text += helpRow(std::to_string(row.status), 5, row.meaning);
    }
    return text;
}

std::string reportFooter()
{
    return std::string("The page comes from the document alone (run --html writes the same page\n"
                       "from the run's own document): no package is loaded, no modem opened.\n");
}

int runReport(Session& session)
{
    return commandReport(session.options);
}

}  // namespace

const Verb kVerbs[] = {
    {"info", "Show the diagnostic, its package and its tests", infoOptions, commandInfo, true, nullptr},
    {"list", "List the modems found", listOptions, commandList, true, nullptr},
    {"run", "Run the tests on the modems", runOptions, commandRun, true, runFooter},
    {"report", "Make the HTML page of a run from its JSON document", reportOptions, runReport, false, reportFooter},
    {"help", "Explain diaghost or one of its commands", noOptions, nullptr, false, nullptr},
};
const std::size_t kVerbCount = std::size(kVerbs);

const Verb* findVerb(const std::string& name)
{
    const Verb* end = kVerbs + kVerbCount;
    const Verb* verb = std::find_if(kVerbs, end, [&name](const Verb& v) { return name == v.name; });
    return verb == end ? nullptr : verb;
}

void addGlobalOptions(CLI::App& app, Options& options)
{
    pathOption(app, "--package", options.package, "PKG.cfg", "Package manifest (default: the installed package)");
    pathOption(app, "--sysroot", options.sysroot, "DIR", "Look up /proc and /dev below DIR");
    app.add_option("--simulate", options.profile, "Run on a simulated machine (--simulate=help)")
        ->expected(0, 1)
        ->type_name("[=PROFILE]");
    app.add_option("--color", options.color, "Colour: auto (a terminal, no NO_COLOR), always, never")
        ->type_name("auto|always|never")
        ->check(checkColor);
}

std::string helpRow(const std::string& name, std::size_t width, const std::string& text)
{
    std::string head = "  " + name;
    std::string rows;
    if (head.size() >= 2 + width) {  // a long name has the row below to itself
        rows = head + "\n";
        head.clear();
    }
    head.resize(2 + width, ' ');
    for (const std::string& line : wrapWords(head + text, 79, 2 + width)) {
        rows += line + "\n";
    }
    return rows;
}

std::string machinesHelp()
{
    std::string rows;
    for (const modemsim::MachinePlan& plan : modemsim::MachinePlan::named()) {
        rows += helpRow(plan.name, 11, plan.summary + (plan.name == "demo" ? " (default)" : ""));
    }
    return rows;
}

}  // namespace diaghost
