// diaghost's command lines that answer at once: version, info and every error path with its exit status.
#include <gtest/gtest.h>

#include <regex>

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
        {{"--simulate", "info"}, 0, "Modem Test 1.0"},
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
        EXPECT_TRUE(c.status == 0 || std::regex_match(run.err, std::regex("diaghost: [^\n]*\n"))) << what << run.err;
    }
    // Only the simulated runs that got under way store their logs: info and
    // the usage errors leave nothing, in TMPDIR or in the state folder.
    EXPECT_EQ("", testsupport::runCommand("ls -A '" + dir.path() + "' | grep -E '^(diaghost-|modemsim-|state$)'"));
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
