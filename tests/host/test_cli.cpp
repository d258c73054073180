// diaghost's command lines that answer at once: version, info and every error path with its exit status.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "HostProcess.h"
#include "TestSupport.h"

TEST(HostCli, AnswersWithItsExitStatusAndErrorsInOneLine)
{
    testsupport::TempDir dir;
    testsupport::writeFile(dir.file("notelf.so"), "this is no shared library\n");
    // "info" on a package whose manifest is text.
    const auto info = [&dir](const std::string& name, const std::string& text) {
        testsupport::writeFile(dir.file(name), text);
        return std::vector<std::string>{"--package", dir.file(name), "info"};
    };
    const std::string library = "[package]\nlibrary = ";
    const struct {
        std::vector<std::string> args;
        int status;
        std::string text;
    } cases[] = {
        {{"--version"}, 0, "diaghost " DIAGHOST_VERSION "\n"},
        {{"info"}, 0, "Modem Test 1.0"},
        // A simulated machine's log folder goes with it: info names where a run's logs stay.
        {{"--simulate", "info"}, 0, "Log folder:                 " + dir.file("state") + "/diaghost/simulate (a simulated run's logs)\n"},
        {{"info", "--json"}, 0, "\"max_seconds\": 23.0\n"},
        {{}, 64, "a command is required: info, list, run or report"},
        // Usage errors in diaghost's words, never the parser library's.
        {{"frobnicate"}, 64, "unknown command 'frobnicate': the commands are info, list, run, report and help"},
        {{"run", "--bogus"}, 64, "unknown option --bogus for run (see diaghost help run)"},
        {{"-q", "list"}, 64, "option -q is for run, not for list (see diaghost help run)"},
        {{"run", "--device", "0", "--device", "1"}, 64, "option --device may be given once"},
        {{"-v", "run", "-q"}, 64, "-q and -v exclude each other: -q shows only the summary, -v every log line"},
        {{"info", "--json=maybe"}, 64, "option --json takes no value"},
        {{"list", "extra"}, 64, "unexpected argument 'extra' after list"},
        {{"run", "--device"}, 64, "option --device needs a value (see diaghost help run)"},
        {{"run", "--junit", "--json"}, 64, "--junit: expected a file name, not the option '--json'"},
        {{"run", "--device", "x"}, 64, "modem index, tty or PCI address"},
        {{"help", "nope"}, 64, "no command 'nope'"},
        {{"help", "run"}, 0, "Usage: diaghost run [OPTIONS]\n"},
        {{"help", "run"}, 0, "with --json one JSON\ndocument and nothing else. Progress, the summary and messages then go to\n"
                             "standard error."},
        {{"--help"}, 0, "diaghost(1)"},
        {{"--simulate=help"}, 0, "  silent     one modem that never answers"},
        // Every command's help also names the options of diaghost itself;
        // the exit statuses close run's.
        {{"help", "list"}, 0, "Global options (also before the command):\n"},
        {{"info", "--help"}, 0, "  --color auto|always|never"},
        {{"report", "--help"}, 0, "  --package PKG.cfg       Package manifest"},
        {{"help", "run"}, 0, "Exit status:\n  0    every selected modem was tested"},
        {{"--color=pink", "info"}, 64, "--color: expected auto, always or never, not 'pink'"},
        {{"run", "--repeat", "0"}, 64, "--repeat: expected a number of rounds from 1 to 1000000, not '0'"},
        {{"run", "--repeat=1x"}, 64, "--repeat: expected a number of rounds from 1 to 1000000, not '1x'"},
        {{"--simulate", "list", "--device", "ttySM1"}, 0, "\n1      00:0a.0 "},
        {{"--simulate", "list", "--device", "9"}, 64, "no modem 9 (diaghost list without --device shows the modems"},
        {{"--simulate=none", "list", "--device", "0"}, 3, "No modem found."},
        // On a machine without the modem the way to try diaghost anyway.
        {{"list"}, 3, "without a modem, run it on a simulated machine: diaghost --simulate run\n"},
        // Report files that cannot be written stop a run before it starts.
        {{"--simulate", "run", "--junit", dir.file("none/r.xml")}, 73,
         "--junit " + dir.file("none/r.xml") + ": cannot create a file in " + dir.file("none") +
             ": No such file or directory"},
        {{"--simulate", "run", "--junit", dir.path()}, 73, ": a folder, not a file"},
        {{"--simulate", "run", "--json-file", "/dev/null"}, 73, "--json-file /dev/null: not a regular file"},
        {{"--simulate", "run", "--junit", dir.file("notelf.so/r.xml")}, 73, ": Not a directory"},
        {{"--simulate", "run", "--metrics", "/proc/x.prom"}, 73, "--metrics /proc/x.prom: cannot create a file in /proc"},
        {{"--simulate", "run", "--html", dir.file("none/p.html")}, 73,
         "--html " + dir.file("none/p.html") + ": cannot create a file in " + dir.file("none")},
        // report reads a run document and writes its page, and only that.
        {{"report", dir.file("run.json")}, 64, "report writes a page and nothing else: give it with --html FILE"},
        {{"report", "--html", dir.file("p.html")}, 64, "report needs a run's JSON document to read"},
        {{"list", "--html", dir.file("p.html")}, 64, "option --html is for run and report, not for list"},
        {{"report", "--html", dir.file("p.html"), dir.file("run.json"), "more.json"}, 64,
         "unexpected argument 'more.json' after report"},
        {{"report", "--html", "/proc/p.html", dir.file("none.json")}, 73, "--html /proc/p.html: cannot create a file in /proc"},
        {{"report", "--html", dir.file("p.html"), dir.file("none.json")}, 64,
         dir.file("none.json") + ": cannot read it: No such file or directory"},
        {{"report", "--html", dir.file("p.html"), dir.path()}, 64, dir.path() + ": a folder, not a run document"},
        {{"report", "--html", dir.file("p.html"), dir.file("notelf.so")}, 64,
         dir.file("notelf.so") + ": not JSON: line 1, column 2: syntax error while parsing value - invalid literal"},
        {{"help", "report"}, 0, "Usage: diaghost report [OPTIONS] [RUN.json]"},
        {{"--simulate=nope", "run"}, 64, "unknown simulated machine 'nope'"},
        {{"--simulate", "--sysroot", "/", "list"}, 64, "exclude each other"},
        {{"--sysroot", dir.file("none"), "list"}, 64, "--sysroot " + dir.file("none") + ": no such folder"},
        {{"run", "--test", "nosuch"}, 64, "unknown test 'nosuch' (tests: dialtone, loopback, at, all)"},
        {{"--package", dir.file("none.cfg"), "list"}, 3, "cannot read package " + dir.file("none.cfg")},
        // Malformed manifests: the first fault, its line counted through
        // comments and the sections of other tools.
        {info("a.cfg", "[package]\nlibrary lib.so\n"), 3, "bad package " + dir.file("a.cfg") + ": line 2: expected"},
        {info("b.cfg", "[package\n"), 3, "line 1: section header without its closing ']'"},
        {info("c.cfg", "x = y\n"), 3, "line 1: entry outside any section"},
        {info("d.cfg", "; note\n" + library + "x\n[tools]\nany = thing\n[tests]\nat = A\nat = B\n"), 3,
         "line 8: test 'at' named twice"},
        {info("e.cfg", library + "x\n[messages]\n99999999999 = BIG: b\n"), 3, "line 4: message code '99999999999'"},
        {info("f.cfg", library + "x\n[messages]\n10 = ten: b\n"), 3, "line 4: expected '<code> = <NAME>: <text>'"},
        {info("g.cfg", "[tests]\nat = A\n"), 3, "no 'library' entry"},
        {info("k.cfg", library + "x\n[limits]\nat = 7\n[tests]\nd = D\n"), 3, "line 4: a limit for 'at', which [tests]"},
        {info("l.cfg", library + "x\n[tests]\nat = A\n[limits]\nat = soon\n"), 3,
         "line 6: expected '<test> = <seconds>'"},
        // dlerror()'s own reason is shown.
        {info("h.cfg", library + "missing.so\n"), 3, "No such file or directory"},
        {info("i.cfg", library + "notelf.so\n"), 3, "cannot load plug-in " + dir.file("notelf.so") + ": "},
        // A real library without the entry points: the host framework.
        {info("j.cfg", library + FRAMEWORK_PATH "\n"), 3, "has no entry point setPackageConfigFile"},
    };
    for (const auto& c : cases) {
        const std::string what = ::testing::PrintToString(c.args);
        const hosttest::Finished run =
            hosttest::runHost(c.args, {"TMPDIR=" + dir.path(), "XDG_STATE_HOME=" + dir.file("state")});
        EXPECT_EQ(c.status, run.status) << what << "\n" << run.err;
        EXPECT_NE(std::string::npos, (run.out + run.err).find(c.text)) << what << "\n" << run.out << run.err;
        // An error is one line on stderr, after the program's name.
        EXPECT_TRUE(c.status == 0 || run.err.empty() || std::regex_match(run.err, std::regex("diaghost: [^\n]*\n"))) << what << run.err;
    }
    // The hint is for the person; the run's document keeps the finding alone.
    const hosttest::Finished none = hosttest::runHost({"run", "--json"}, {"TMPDIR=" + dir.path()});
    EXPECT_EQ(3, none.status);
    EXPECT_NE(std::string::npos, none.out.find("\"No modem found. Looked for")) << none.out;
    EXPECT_EQ(std::string::npos, none.out.find("simulated machine")) << none.out;
    EXPECT_NE(std::string::npos, none.err.find("simulated machine: diaghost --simulate run")) << none.err;
    // Only the simulated runs that got under way store their logs: info and
    // the usage errors leave nothing, in TMPDIR or in the state folder.
    EXPECT_EQ("", testsupport::runCommand("ls -A '" + dir.path() + "' | grep -E '^(diaghost-|modemsim-|state$)'"));
}

// --help fits a screen; the commands, their options and their help come
// from one table, which the manual page follows.
TEST(HostCli, HelpAndManualPageFollowTheCommandTable)
{
    const hosttest::Finished data = hosttest::runHost({"--completion-data"}, {});
    ASSERT_EQ(0, data.status) << data.err;
    std::vector<std::string> verbs;
    std::vector<std::pair<std::string, std::string>> options;  // scope ("-": diaghost's own), name
    std::istringstream lines(data.out);
    for (std::string kind, scope, names, rest; lines >> kind >> scope >> names && std::getline(lines, rest);) {
        if (kind == "verb") {
            verbs.push_back(scope);
        }
        for (std::size_t at = 0; kind == "option" && at < names.size();) {
            const std::size_t comma = std::min(names.find(',', at), names.size());
            options.emplace_back(scope, names.substr(at, comma - at));
            at = comma + 1;
        }
    }
    ASSERT_GE(verbs.size(), 5u) << data.out;
    ASSERT_FALSE(options.empty()) << data.out;

    const hosttest::Finished help = hosttest::runHost({"--help"}, {});
    EXPECT_LE(std::count(help.out.begin(), help.out.end(), '\n'), 24) << help.out;
    for (const std::string& verb : verbs) {
        EXPECT_NE(std::string::npos, help.out.find("\n  " + verb + " ")) << verb << "\n" << help.out;
        const hosttest::Finished own = hosttest::runHost({"help", verb}, {});
        EXPECT_EQ(0, own.status) << verb;
        // Every help text fits an 80-column terminal.
        std::istringstream text(help.out + own.out);
        for (std::string line; std::getline(text, line);) {
            EXPECT_LE(line.size(), 79u) << verb << ": " << line;
        }
        for (const auto& option : options) {
            const bool shown = std::regex_search(own.out, std::regex("[ ,]" + option.second + "[ ,\n]"));
            EXPECT_TRUE(shown || (option.first != "-" && option.first != verb)) << verb << " " << option.second;
        }
    }

    // The manual page: its COMMANDS in the table's order; in OPTIONS an
    // entry for each option, tagged with the commands that have it.
    std::istringstream page(testsupport::readFile(DIAGHOST_MANUAL));
    std::vector<std::string> listed;
    std::map<std::string, std::set<std::string>> entries;  // option: its commands ("-" untagged)
    std::vector<std::string> heads;  // the options of the entry being read
    std::string section;
    std::string previous;
    const std::regex optionName(R"(-(-[a-z-]+|[a-z])\b)");
    const std::regex word("[a-z]+");
    for (std::string line; std::getline(page, line); previous = line) {
        line = std::regex_replace(line, std::regex(R"(\\-)"), "-");
        std::smatch match;
        if (line.compare(0, 4, ".SH ") == 0) {
            section = line.substr(4);
            heads.clear();
        } else if (previous == ".TP" && section == "COMMANDS") {
            listed.push_back(std::regex_replace(line, std::regex(R"(^\.B[IR]? "?([a-z]+).*)"), "$1"));
        } else if (previous == ".TP" && section == "OPTIONS" && line.find(" -") != std::string::npos) {
            heads.clear();
            for (std::sregex_iterator it(line.begin(), line.end(), optionName), end; it != end; ++it) {
                heads.push_back(it->str());
                entries[heads.back()].insert("-");
            }
        } else if (section == "OPTIONS" && std::regex_match(line, match, std::regex(R"(\.RB \( ([a-z", ]+) \))"))) {
            const std::string tags = match[1];
            for (std::sregex_iterator it(tags.begin(), tags.end(), word), end; it != end; ++it) {
                for (const std::string& head : heads) {
                    entries[head].erase("-");
                    entries[head].insert(it->str());
                }
            }
        }
    }
    EXPECT_EQ(verbs, listed);
    for (const auto& option : options) {
        EXPECT_EQ(1u, entries[option.second].count(option.first)) << option.first << " " << option.second;
    }
    for (const auto& entry : entries) {
        EXPECT_TRUE(std::any_of(options.begin(), options.end(), [&entry](const auto& o) { return o.second == entry.first; }))
            << "the manual page has " << entry.first << ", diaghost does not";
    }
}

// Libraries come from diaghost's run path and the system's folders, never
// from the working folder: files there named like them, however broken,
// are not loaded.
TEST(HostCli, StartsFromAFolderHoldingLibrariesOfTheSameNames)
{
    testsupport::TempDir dir;
    for (const char* name : {"libdiagframework.so.1", "libstdc++.so.6", "libm.so.6", "libgcc_s.so.1", "libc.so.6"}) {
        testsupport::writeFile(dir.file(name), "no library\n");
    }
    const hosttest::Finished run =
        hosttest::runHost({"-c", "cd '" + dir.path() + "' && exec '" DIAGHOST_PATH "' --version"}, {}, "/bin/sh");
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ("diaghost " DIAGHOST_VERSION "\n", run.out) << run.err;
}
