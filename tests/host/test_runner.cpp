// diaghost's run machinery: the plug-in's objects in the order it expects, and modems tested in parallel.
#include <gtest/gtest.h>

#include "HostProcess.h"
#include "TestSupport.h"

namespace {

// The build tree's package folder, beside diaghost's bin folder.
std::string buildPackageDir()
{
    const std::string program = DIAGHOST_PATH;
    const std::string bin = program.substr(0, program.rfind('/'));
    return bin.substr(0, bin.rfind('/')) + "/package/modem";
}

}  // namespace

// Without a log folder beside the package the enumerator moves the logs
// into the package folder; the diagnostic must be made after that to
// follow it, so both logs (their dated banners at least) land there, and
// diaghost says so.
TEST(PluginObjects, AMissingLogFolderPutsBothLogsInThePackageFolder)
{
    testsupport::TempDir dir;
    testsupport::runCommand("mkdir -p '" + dir.file("pkg/modem") + "' '" + dir.file("root") + "' && cp '" +
                            buildPackageDir() + "/pkg.cfg' '" + buildPackageDir() + "/libTSYmodemDiag.so' '" +
                            dir.file("pkg/modem") + "'");
    for (const std::string command : {"info", "run"}) {
        const hosttest::Finished done = hosttest::runHost(
            {"--package", dir.file("pkg/modem/pkg.cfg"), "--sysroot", dir.file("root"), command}, {});
        for (const char* log : {"TSYmodemDeviceEnumerator.log", "TSYmodemDiagnostic.log"}) {
            const std::string path = dir.file("pkg/modem/") + log;
            EXPECT_NE(std::string::npos, testsupport::readFile(path).find("********************")) << command << " " << log;
            if (command == "run") {
                EXPECT_NE(std::string::npos, done.out.find("  " + path + "\n")) << done.out;
            }
        }
        testsupport::runCommand("rm -f '" + dir.file("pkg/modem/") + "'*.log");
    }
}
