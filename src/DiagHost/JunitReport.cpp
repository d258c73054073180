// JunitReport.cpp - JUnit XML of a run, for the CI dashboards of burn-in labs.

#include <iterator>
#include <numeric>

#include "Outcome.h"
#include "Reports.h"
#include "Utf8.h"

namespace diaghost {

namespace {

// The five XML special characters and the carriage return escaped, in an
// attribute tab and line feed too. The report is declared UTF-8, and XML 1.0
// allows neither malformed characters, U+FFFE, U+FFFF nor control characters
// other than tab and line ends: each of their bytes becomes "?".
std::string xmlEscape(const std::string& text, bool inAttribute = false)
{
    return rewriteUtf8(
        text,
        [inAttribute](unsigned long codePoint, const std::string& bytes) {
            switch (codePoint) {
            case '&': return std::string("&amp;");
            case '<': return std::string("&lt;");
            case '>': return std::string("&gt;");
            case '"': return std::string("&quot;");
            case '\'': return std::string("&apos;");
            // A parser reads a literal carriage return as a line feed, and
            // in an attribute a literal tab or line feed as a blank.
            case '\r': return std::string("&#13;");
            case '\t': return inAttribute ? std::string("&#9;") : bytes;
            case '\n': return inAttribute ? std::string("&#10;") : bytes;
            }
            const bool allowed = codePoint >= 0x20 && codePoint != 0xFFFE && codePoint != 0xFFFF;
            return allowed ? bytes : std::string(bytes.size(), '?');
        },
        [](unsigned char) { return "?"; });
}

std::string attribute(const char* name, const std::string& value)
{
    return std::string(" ") + name + "=\"" + xmlEscape(value, true) + "\"";
}

std::string countAttributes(const Tally& tally)
{
    const std::size_t tests = std::accumulate(std::begin(tally.outcomes), std::end(tally.outcomes), std::size_t{0});
    return attribute("tests", std::to_string(tests)) + attribute("failures", std::to_string(tally[Outcome::Failed])) +
           attribute("errors", std::to_string(tally[Outcome::Unusual])) +
           attribute("skipped", std::to_string(tally[Outcome::Aborted] + tally[Outcome::NotRun])) +
           attribute("time", secondsText(tally.seconds));
}

std::string testCase(const std::string& name, const std::string& className, const std::string& time,
                     const std::string& body)
{
    return "    <testcase" + attribute("name", name) + attribute("classname", className) + attribute("time", time) +
           ">\n" + body + "    </testcase>\n";
}

std::string property(const char* name, const std::string& value)
{
    return "      <property" + attribute("name", name) + attribute("value", value) + "/>\n";
}

}  // namespace

std::string junitReport(const PackageIdentity& package, const std::vector<DeviceRecord>& devices,
                        const PackageConfig& config, const ReportContext& context)
{
    std::string suites;
    Tally all(devices);
    for (const DeviceRecord& device : devices) {
        std::string cases;
        const std::string className = "diaghost.modem" + std::to_string(device.index);
        for (const TestRecord& test : device.tests) {
            const Outcome outcome = outcomeOf(test);
            const std::string code = config.codeName(test.code);
            const std::string message = attribute("message", code + ": " + config.codeText(test.code));
            std::string body;
            if (outcome == Outcome::Aborted) {
                body = "      <skipped" + message + "/>\n";
            } else if (outcome != Outcome::Passed) {
                body = std::string("      <") + (outcome == Outcome::Failed ? "failure" : "error") + message +
                       attribute("type", code) + "/>\n";
            }
            std::string out;
            for (const EventRecord& event : test.events) {
                out += std::string(QuarnDiags::Diag::eventTypeName(event.type)) + " " + config.codeName(event.code) +
                       ": " + config.codeText(event.code) + "\n";
            }
            out += std::string("result ") + QuarnDiags::Diag::testResultName(test.verdict) + " " + code +
                   ", progress " + std::to_string(test.progress) + "%\n";
            cases += testCase(test.name, className, secondsText(test.seconds),
                              body + "      <system-out>" + xmlEscape(out) + "</system-out>\n");
        }
        for (const SkippedTest& test : device.skipped) {
            cases += testCase(test.name, className, "0", "      <skipped" + attribute("message", test.reason) + "/>\n");
        }
        Tally counts;
        counts.add(device);
        const std::string name =
            "modem " + std::to_string(device.index) + " (" + (device.tty.empty() ? "no tty" : device.tty) + ", " +
            device.location + ")";
        suites += "  <testsuite" + attribute("name", name) + countAttributes(counts) + ">\n" +
                  "    <properties>\n" + property("location", device.location) +
                  property("slot", std::to_string(device.slot)) +
                  property("slot_source", describe(device.slotSource).name) +
                  property("status", device.status) +
                  property("firmware_revision", device.fru.firmwareRevision) + "    </properties>\n" + cases +
                  "  </testsuite>\n";
    }

    if (devices.empty() && !context.noModemReason.empty()) {
        // A CI job that found no modem must not look green: one error.
        all.outcomes[static_cast<int>(Outcome::Unusual)] = 1;
        suites += "  <testsuite" + attribute("name", "modems") + countAttributes(all) + ">\n" +
                  testCase("find modems", "diaghost", secondsText(0.0),
                           "      <error" + attribute("message", context.noModemReason) +
                               attribute("type", "NO_MODEM") + "/>\n") +
                  "  </testsuite>\n";
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites" +
           attribute("name", package.name + " " + package.version) + countAttributes(all) + ">\n" + suites +
           "</testsuites>\n";
}

}  // namespace diaghost
