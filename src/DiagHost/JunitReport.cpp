// JunitReport.cpp - JUnit XML of a run, for the CI dashboards of burn-in labs.

#include "Outcome.h"
#include "Reports.h"
#include "Utf8.h"

namespace diaghost {

namespace {

std::string suiteName(const DeviceRecord& device)
{
    return "modem " + std::to_string(device.index) + " (" + (device.tty.empty() ? "no tty" : device.tty) + ", " +
           device.location + ")";
}

// The five XML special characters and the carriage return escaped. The
// report is declared UTF-8: a byte that is not part of a well-formed
// character would make it unreadable, and XML 1.0 allows neither U+FFFE,
// U+FFFF nor control characters other than tab and line ends; each of
// their bytes becomes "?".
std::string xmlEscape(const std::string& text)
{
    return rewriteUtf8(
        text,
        [](unsigned long codePoint, const std::string& bytes) {
            switch (codePoint) {
            case '&': return std::string("&amp;");
            case '<': return std::string("&lt;");
            case '>': return std::string("&gt;");
            case '"': return std::string("&quot;");
            case '\'': return std::string("&apos;");
            // A parser reads a literal carriage return as a line feed.
            case '\r': return std::string("&#13;");
            }
            const bool allowed = (codePoint >= 0x20 || codePoint == '\t' || codePoint == '\n') &&
                                 codePoint != 0xFFFE && codePoint != 0xFFFF;
            return allowed ? bytes : std::string(bytes.size(), '?');
        },
        [](unsigned char) { return "?"; });
}

std::string attribute(const char* name, const std::string& value)
{
    // A parser turns a literal tab or line feed in an attribute into a
    // blank; as character references they read back as written.
    std::string escaped;
    for (const char c : xmlEscape(value)) {
        escaped += c == '\t' ? std::string("&#9;") : c == '\n' ? std::string("&#10;") : std::string(1, c);
    }
    return std::string(" ") + name + "=\"" + escaped + "\"";
}

// The numbers of a suite, or of the whole report, as its attributes.
struct Counts {
    int tests = 0;
    int failures = 0;
    int errors = 0;
    int skipped = 0;
    double time = 0.0;

    void add(const Counts& other)
    {
        tests += other.tests;
        failures += other.failures;
        errors += other.errors;
        skipped += other.skipped;
        time += other.time;
    }
    std::string attributes() const
    {
        return attribute("tests", std::to_string(tests)) + attribute("failures", std::to_string(failures)) +
               attribute("errors", std::to_string(errors)) + attribute("skipped", std::to_string(skipped)) +
               attribute("time", secondsText(time));
    }
};

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
    Counts all;
    for (const DeviceRecord& device : devices) {
        Counts counts;
        counts.tests = static_cast<int>(device.tests.size() + device.skipped.size());
        std::string cases;
        const std::string className = "diaghost.modem" + std::to_string(device.index);
        for (const TestRecord& test : device.tests) {
            counts.time += test.seconds;
            const std::string code = config.codeName(test.code);
            const std::string message = attribute("message", code + ": " + config.codeText(test.code));
            std::string body;
            switch (outcomeOf(test)) {
            case Outcome::Aborted:
            case Outcome::NotRun:
                ++counts.skipped;
                body = "      <skipped" + message + "/>\n";
                break;
            case Outcome::Failed:
                ++counts.failures;
                body = "      <failure" + message + attribute("type", code) + "/>\n";
                break;
            case Outcome::Unusual:
                ++counts.errors;
                body = "      <error" + message + attribute("type", code) + "/>\n";
                break;
            case Outcome::Passed:
                break;
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
            ++counts.skipped;
            cases += testCase(test.name, className, "0", "      <skipped" + attribute("message", test.reason) + "/>\n");
        }
        suites += "  <testsuite" + attribute("name", suiteName(device)) + counts.attributes() + ">\n" +
                  "    <properties>\n" + property("location", device.location) +
                  property("slot", std::to_string(device.slot)) +
                  property("slot_source", device.slotSource == SlotSource::Unknown ? "" : slotSourceName(device.slotSource)) +
                  property("status", device.status) +
                  property("firmware_revision", device.fru.firmwareRevision) + "    </properties>\n" + cases +
                  "  </testsuite>\n";
        all.add(counts);
    }

    if (devices.empty() && !context.noModemReason.empty()) {
        // A CI job that found no modem must not look green.
        const Counts one{1, 0, 1, 0, 0.0};
        all.add(one);
        suites += "  <testsuite" + attribute("name", "modems") + one.attributes() + ">\n" +
                  testCase("find modems", "diaghost", secondsText(0.0),
                           "      <error" + attribute("message", context.noModemReason) +
                               attribute("type", "NO_MODEM") + "/>\n") +
                  "  </testsuite>\n";
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites" +
           attribute("name", package.name + " " + package.version) + all.attributes() + ">\n" + suites +
           "</testsuites>\n";
}

}  // namespace diaghost
