// The enumerator without a log file (both folders unusable, or logging turned off) and without modems.
#include <sys/stat.h>
#include <unistd.h>

#include "DiscoveryFixture.h"
#include "ExportClass.h"
#include "ModemDeviceEnumerator.h"

using QuarnDiags::DeviceEnum::IDeviceEnumerator;
using QuarnDiags::ModemDiag::ModemDeviceEnumerator;

using Enumeration = DiscoveryTest;

// No modem function, an empty vector. A quiet enumerator opens no log file
// and its messages go to the message log it found. A logging one whose log
// cannot be opened (a FIFO, which must not block) moves its log folder to
// the package folder; with that folder gone too it still enumerates,
// unlogged. The fall-back's notice is the log file suite's; pairing, the
// kept vector and the log's lines the end-to-end case's. No case of this
// suite opens the class-wide log, so the logging one opens it itself.
TEST_F(Enumeration, EnumeratesWithoutALogFile)
{
    ASSERT_FALSE(ModemDeviceEnumerator::logFile().is_open());
    EXPECT_TRUE(ModemDeviceEnumerator(false, IDeviceEnumerator::CUSTOMER).getDeviceVector("", 0)->empty());
    root.addModem(0, 9);
    for (const bool logging : {false, true}) {  // quiet first: a logging one's end may close the message log
        SCOPED_TRACE(logging);
        testsupport::TempDir package;
        mkdir(package.file("log").c_str(), 0755);
        setPackageConfigFile(package.file("modem/pkg.cfg").c_str());
        const std::string logPath = package.file("log/TSYmodemDeviceEnumerator.log");
        if (logging) {
            mkfifo(logPath.c_str(), 0644);
        }
        EXPECT_EQ(1u, ModemDeviceEnumerator(logging, IDeviceEnumerator::CUSTOMER).getDeviceVector("", 0)->size());
        EXPECT_EQ(package.file(logging ? "modem" : "log"), g_logDirPath);
        if (!logging) {
            EXPECT_NE(0, access(logPath.c_str(), F_OK));
            EXPECT_NE(std::string::npos, log.text().find("Normal exit"));
            EXPECT_EQ(&log.stream(), gpLogFile);
        }
    }
}
