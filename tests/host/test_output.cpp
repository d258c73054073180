// Nothing lost on the way out: standard output that cannot be written, and report files replaced only whole.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "TestSupport.h"

namespace {

std::string quoted(const std::string& text)
{
    return "'" + text + "'";
}

}  // namespace

// A report that never reached standard output must not pass for one that
// did: whatever wrote it (a document, a console, the parser's help), diaghost
// says so and exits 74 even when its tests passed. A closed pipe is no such
// error: its reader has gone, and every command ends quietly with 141.
TEST(HostOutput, StandardOutputThatCannotBeWrittenIsAnError)
{
    testsupport::TempDir tmp;
    // Descriptor 9 of the commands: a pipe whose reader has gone.
    int closed[2];
    ASSERT_EQ(0, pipe(closed));
    close(closed[0]);
    ASSERT_EQ(9, dup2(closed[1], 9));
    close(closed[1]);
    const char* const commands[] = {
        "--simulate=healthy run --test at --json",
        "--simulate=healthy run --test at",
        "--simulate=healthy list -v",
        "help run",
    };
    for (const char* command : commands) {
        int status = -1;
        // Standard error to the pipe, standard output to the full device.
        const std::string diaghost = "TMPDIR=" + quoted(tmp.path()) + " XDG_STATE_HOME=" + quoted(tmp.path()) + " " +
                                     quoted(DIAGHOST_PATH) + " " + command;
        const std::string err = testsupport::runCommand(diaghost + " 2>&1 >/dev/full", &status);
        EXPECT_EQ(74, status) << command << "\n" << err;
        EXPECT_NE(std::string::npos, err.find("diaghost: cannot write standard output: No space left on device\n"))
            << command << "\n" << err;
        const std::string piped = testsupport::runCommand(diaghost + " 2>&1 >&9", &status);
        EXPECT_EQ(141, status) << command << "\n" << piped;
        EXPECT_EQ(std::string::npos, piped.find("diaghost:")) << command << "\n" << piped;
    }
    close(9);
}

// Report files are replaced whole or not at all: the check before the run
// creates and changes nothing; a write that fails on a full disk leaves the
// last good report and no temporary file; a run that ends replaces them.
TEST(HostOutput, ReportFilesAreReplacedWholeOrNotAtAll)
{
    testsupport::TempDir tmp;
    testsupport::TempDir out;
    testsupport::TempDir disk;
    const std::string old = "the last good report\n";
    const std::string diaghost =
        "env TMPDIR=" + quoted(tmp.path()) + " XDG_STATE_HOME=" + quoted(tmp.path()) + " " + quoted(DIAGHOST_PATH) +
        " --simulate=healthy run --test at -q";
    const struct {
        const char* option;
        const char* file;
    } reports[] = {{"--junit", "j.xml"}, {"--json-file", "r.json"}, {"--metrics", "m.prom"}};
    // Every report at once: over the old ones (read-only, but their folder
    // takes new ones), or under names that are not there.
    std::string existing;
    std::string fresh;
    for (const auto& report : reports) {
        testsupport::writeFile(out.file(report.file), old);
        ASSERT_EQ(0, chmod(out.file(report.file).c_str(), 0444));
        existing += " " + std::string(report.option) + " " + quoted(out.file(report.file));
        fresh += " " + std::string(report.option) + " " + quoted(out.file(std::string("new-") + report.file));
    }
    const std::string folder = "cd " + quoted(out.path()) + " && ls -A && cat *";
    const std::string untouched = "j.xml\nm.prom\nr.json\n" + old + old + old;
    int status = -1;
    // No modem 7: a usage error after the check, before any run.
    for (const std::string& options : {existing, fresh}) {
        const std::string said = testsupport::runCommand(diaghost + options + " --device 7 2>&1", &status);
        EXPECT_EQ(64, status) << options;
        EXPECT_EQ("diaghost: no modem 7 (diaghost list shows the modems found)\n", said);
        EXPECT_EQ(untouched, testsupport::runCommand(folder)) << options;
    }

    // Without the limit the new reports replace the old ones, and only they are left.
    testsupport::runCommand(diaghost + existing, &status);
    EXPECT_EQ(0, status);
    EXPECT_EQ("j.xml\nm.prom\nr.json\n", testsupport::runCommand("ls -A " + quoted(out.path())));
    for (const auto& report : reports) {
        EXPECT_NE(old, testsupport::readFile(out.file(report.file))) << report.option;
    }

    for (const auto& report : reports) {
        // A full file system: a small tmpfs, in a mount namespace of its
        // own, filled up after the old report was put there.
        const std::string full = disk.file(std::string("full-") + report.file);
        const std::string inFull = full + "/" + report.file;
        testsupport::runCommand("mkdir -p " + quoted(full));
        const std::string script = "mount -t tmpfs -o size=8k none " + quoted(full) + " || exit 99\n"
                                   "printf '%s' " + quoted(old) + " > " + quoted(inFull) + "\n"
                                   "head -c 65536 /dev/zero > " + quoted(full + "/filler") + " 2>/dev/null\n" +
                                   diaghost + " --json " + report.option + " " + quoted(inFull) + " >" +
                                   quoted(disk.file("out")) + " 2>" + quoted(disk.file("err")) +
                                   "\necho \"status $?\"; grep '^diaghost:' " + quoted(disk.file("err")) +
                                   "; grep -o '\"exit_status\": [0-9]*' " + quoted(disk.file("out")) +
                                   "; ls -A " + quoted(full) + "; cat " + quoted(inFull) + "\n";
        const std::string unshare = geteuid() == 0 ? "unshare --mount" : "unshare --user --map-root-user --mount";
        testsupport::writeFile(disk.file("script"), script);
        const std::string shown = testsupport::runCommand(unshare + " sh " + quoted(disk.file("script")), &status);
        if (status == 99 || shown.empty()) {
            GTEST_SKIP() << "cannot mount a tmpfs here (CI runs as root)";
        }
        // The document on standard output gives the status diaghost ends with.
        EXPECT_EQ("status 73\ndiaghost: " + std::string(report.option) + " " + inFull +
                      ": cannot replace it: No space left on device\n\"exit_status\": 73\nfiller\n" + report.file +
                      "\n" + old,
                  shown)
            << report.option;
    }

}

// One renderer, fed by the run's document: the page run --html writes is the
// page report --html makes of the document run --json-file wrote, byte for
// byte, from a file or from standard input.
TEST(HostOutput, RunAndReportWriteTheSamePage)
{
    testsupport::TempDir tmp;
    const std::string diaghost = "env TMPDIR=" + quoted(tmp.path()) + " XDG_STATE_HOME=" + quoted(tmp.path()) + " " +
                                 quoted(DIAGHOST_PATH);
    int status = -1;
    testsupport::runCommand(diaghost + " --simulate=at-errors run --test at -q --html " + quoted(tmp.file("run.html")) +
                                " --json-file " + quoted(tmp.file("run.json")),
                            &status);
    EXPECT_EQ(2, status);
    const std::string said =
        testsupport::runCommand(diaghost + " report --html " + quoted(tmp.file("file.html")) + " " +
                                    quoted(tmp.file("run.json")) + " && " + diaghost + " report - --html " +
                                    quoted(tmp.file("stdin.html")) + " < " + quoted(tmp.file("run.json")) + " 2>&1",
                                &status);
    EXPECT_EQ(0, status) << said;
    EXPECT_EQ("", said);
    const std::string page = testsupport::readFile(tmp.file("run.html"));
    EXPECT_NE(std::string::npos, page.find("<tr class=\"result failed\" data-modem=\"0\" data-test=\"at\""));
    EXPECT_NE(std::string::npos, page.find("<li>CheckATCommands: Started</li>"));
    EXPECT_EQ(page, testsupport::readFile(tmp.file("file.html")));
    EXPECT_EQ(page, testsupport::readFile(tmp.file("stdin.html")));

    // A document cut short (a full disk, a copy stopped half-way) is refused
    // and leaves the page that was there.
    const std::string json = testsupport::readFile(tmp.file("run.json"));
    testsupport::writeFile(tmp.file("cut.json"), json.substr(0, json.size() - 10));
    const std::string refused = testsupport::runCommand(
        diaghost + " report --html " + quoted(tmp.file("file.html")) + " " + quoted(tmp.file("cut.json")) + " 2>&1",
        &status);
    EXPECT_EQ(64, status);
    EXPECT_EQ("diaghost: " + tmp.file("cut.json") + ": cut short: the JSON ends after " +
                  std::to_string(json.size() - 10) + " bytes, before the document does\n",
              refused);
    EXPECT_EQ(page, testsupport::readFile(tmp.file("file.html")));
}
