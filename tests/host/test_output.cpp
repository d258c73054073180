// Nothing lost on the way out: standard output that cannot be written, and report files replaced only whole.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "HostProcess.h"
#include "TestSupport.h"

namespace {

std::string quoted(const std::string& text)
{
    return "'" + text + "'";
}

// The names in a folder, sorted, the dot entries left out.
std::vector<std::string> namesIn(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

// A report that never reached standard output must not pass for one that
// did: whatever wrote it (a document, a console, the parser's help), diaghost
// says so and exits 74 even when its tests passed.
TEST(HostOutput, StandardOutputThatCannotBeWrittenIsAnError)
{
    testsupport::TempDir tmp;
    const char* const commands[] = {
        "--simulate=healthy run --test at --json",
        "--simulate=healthy list -v",
        "help run",
    };
    for (const char* command : commands) {
        int status = -1;
        // Standard error to the pipe, standard output to the full device.
        const std::string err = testsupport::runCommand("TMPDIR=" + quoted(tmp.path()) + " " + quoted(DIAGHOST_PATH) +
                                                            " " + command + " 2>&1 >/dev/full",
                                                        &status);
        EXPECT_EQ(74, status) << command << "\n" << err;
        EXPECT_NE(std::string::npos, err.find("diaghost: cannot write standard output: No space left on device\n"))
            << command << "\n" << err;
    }
}

// Report files are replaced whole or not at all: a write that fails on a
// full disk leaves the last good report and no temporary file; the check
// before the run creates and changes nothing.
TEST(HostOutput, ReportFilesAreReplacedWholeOrNotAtAll)
{
    testsupport::TempDir tmp;
    testsupport::TempDir out;
    testsupport::TempDir disk;
    const std::string old = "the last good report\n";
    const struct {
        const char* option;
        const char* file;
    } reports[] = {{"--junit", "j.xml"}, {"--json-file", "r.json"}, {"--metrics", "m.prom"}};
    for (const auto& report : reports) {
        const std::string file = out.file(report.file);
        testsupport::writeFile(file, old);
        // Read-only, but its folder takes the new one.
        ASSERT_EQ(0, chmod(file.c_str(), 0444));
        const std::string args = " --simulate=healthy run --test at -q " + std::string(report.option) + " " + quoted(file);
        const std::string diaghost = "env TMPDIR=" + quoted(tmp.path()) + " " + quoted(DIAGHOST_PATH) + args;

        // No modem 7: a usage error after the check, before any run.
        int status = -1;
        testsupport::runCommand(diaghost + " --device 7 2>/dev/null", &status);
        EXPECT_EQ(64, status) << report.option;
        EXPECT_EQ(old, testsupport::readFile(file)) << report.option << ": the check changed the file";
        const std::string fresh = out.file(std::string("new-") + report.file);
        testsupport::runCommand(diaghost + " --device 7 " + report.option + " " + quoted(fresh) + " 2>/dev/null",
                                &status);
        EXPECT_EQ(std::vector<std::string>{report.file}, namesIn(out.path())) << report.option << ": the check made a file";

        // A full file system: a small tmpfs, in a mount namespace of its
        // own, filled up after the old report was put there.
        const std::string full = disk.file(std::string("full-") + report.file);
        const std::string inFull = full + "/" + report.file;
        testsupport::runCommand("mkdir -p " + quoted(full));
        const std::string script = "mount -t tmpfs -o size=8k none " + quoted(full) + " || exit 99\n"
                                   "printf '%s' " + quoted(old) + " > " + quoted(inFull) + "\n"
                                   "head -c 65536 /dev/zero > " + quoted(full + "/filler") + " 2>/dev/null\n"
                                   "env TMPDIR=" + quoted(tmp.path()) + " " + quoted(DIAGHOST_PATH) +
                                   " --simulate=healthy run --test at -q " + report.option + " " + quoted(inFull) +
                                   " 2>&1 >/dev/null\n"
                                   "echo \"status $?\"; ls -A " + quoted(full) + "; cat " + quoted(inFull) + "\n";
        const std::string unshare = geteuid() == 0 ? "unshare --mount" : "unshare --user --map-root-user --mount";
        testsupport::writeFile(disk.file("script"), script);
        const std::string shown = testsupport::runCommand(unshare + " sh " + quoted(disk.file("script")), &status);
        if (status == 99 || shown.empty()) {
            GTEST_SKIP() << "cannot mount a tmpfs here (CI runs as root)";
        }
        EXPECT_EQ("diaghost: cannot write " + inFull + ": No space left on device\nstatus 73\nfiller\n" + report.file +
                      "\n" + old,
                  shown)
            << report.option;

        // Without the limit the new report replaces the old one.
        testsupport::runCommand(diaghost, &status);
        EXPECT_EQ(0, status) << report.option;
        EXPECT_NE(old, testsupport::readFile(file)) << report.option;
        EXPECT_EQ(std::vector<std::string>{report.file}, namesIn(out.path())) << report.option;
        testsupport::runCommand("rm -f " + quoted(file));
    }
}
