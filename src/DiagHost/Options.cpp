// Options.cpp - the command line, parsed with CLI11.
#include "Options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdlib>
#include <iostream>

#include "ExitStatus.h"

#ifndef DIAGHOST_VERSION
#define DIAGHOST_VERSION "0"
#endif

namespace diaghost {

namespace {

std::string checkDevice(const std::string& value)
{
    if (value == "all") {
        return std::string();
    }
    if (!value.empty() && value.size() < 6 &&
        std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::string();
    }
    return "expected a modem index (as 'list' shows it) or 'all', not '" + value + "'";
}

}  // namespace

int Options::deviceIndex() const
{
    return device == "all" ? -1 : std::atoi(device.c_str());
}

bool Options::allTests() const
{
    return tests.empty() || std::find(tests.begin(), tests.end(), "all") != tests.end();
}

int parseOptions(int argc, char** argv, Options& options, const std::string& profilesHelp)
{
    CLI::App app("Runs the modem diagnostics package: lists the modems and tests them.", "diaghost");
    app.set_version_flag("--version", std::string("diaghost ") + DIAGHOST_VERSION);
    // At most one command; a missing one is reported below in our words.
    app.require_subcommand(0, 1);
    app.footer("Exit status: 0 all tests passed, 1 a test ended with an unusual status (or the run\n"
               "was interrupted), 2 a test failed, 3 no modem found or the package could not be\n"
               "loaded, 64 usage error, 130 stopped by a second Ctrl-C (128 + N for signal N).\n\n"
               "Simulated machines (--simulate=PROFILE):\n" +
               profilesHelp);

    app.add_option("--package", options.package, "Package manifest to load (default: the installed package)")
        ->type_name("PKG.cfg");
    app.add_option("--sysroot", options.sysroot, "Look up /proc and /dev below DIR (a prepared system root)")
        ->type_name("DIR");
    CLI::Option* simulate =
        app.add_option("--simulate", options.profile,
                       "Run on a simulated machine built for the run; PROFILE picks one (see below)")
            ->expected(0, 1)
            ->type_name("[=PROFILE]");

    CLI::App* info = app.add_subcommand("info", "Show the diagnostic's name, version, description and tests");
    CLI::App* list = app.add_subcommand("list", "List the modems found");
    CLI::App* run = app.add_subcommand("run", "Run the tests on the modems");
    for (CLI::App* command : {info, list, run}) {
        command->fallthrough();
    }

    list->add_flag("-v,--verbose", options.verbose, "Full description of each modem");
    list->add_flag("--json", options.json, "Print one JSON document instead of the table");

    run->add_option("--device", options.device, "Modem index from 'list', or all")
        ->type_name("N|all")
        ->check(checkDevice);
    run->add_option("--test", options.tests, "Test to run (dialtone, loopback, at), or all; may be repeated")
        ->type_name("NAME|all");
    run->add_flag("--halt-on-error", options.haltOnError, "Stop at the first error: no test starts after a failure");
    run->add_flag("--json", options.json, "Print one JSON document of the results on stdout");
    run->add_option("--junit", options.junit, "Also write a JUnit XML report to FILE")->type_name("FILE");
    run->add_option("--metrics", options.metrics,
                    "Also write the results to FILE in Prometheus text format (replaced atomically)")
        ->type_name("FILE");
    run->add_option("--jobs", options.jobs, "Test up to N modems at once, one process per modem")
        ->type_name("N")
        ->check(CLI::Range(1, 64));
    run->add_flag("-q,--quiet", options.quiet, "Show only the summary");
    // Hidden: how run --jobs starts its children.
    run->add_flag("--job", options.job)->group("");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help();
        return EXIT_ALL_PASSED;
    } catch (const CLI::CallForVersion& e) {
        std::cout << e.what() << "\n";
        return EXIT_ALL_PASSED;
    } catch (const CLI::ParseError& e) {
        std::cerr << "diaghost: " << e.what() << " (see diaghost --help)\n";
        return EXIT_USAGE;
    }

    if (!info->parsed() && !list->parsed() && !run->parsed()) {
        std::cerr << "diaghost: a command is required: info, list or run (see diaghost --help)\n";
        return EXIT_USAGE;
    }
    options.simulate = simulate->count() > 0;
    if (options.simulate && !options.sysroot.empty()) {
        std::cerr << "diaghost: --simulate and --sysroot exclude each other (see diaghost --help)\n";
        return EXIT_USAGE;
    }
    if (options.simulate && options.profile.empty()) {
        options.profile = "demo";
    }
    options.command = info->parsed() ? Command::Info : list->parsed() ? Command::List : Command::Run;
    return -1;
}

}  // namespace diaghost
