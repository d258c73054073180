// JunitReport.cpp - JUnit XML of a run, for the CI dashboards of burn-in labs.
#include <cstdio>
#include <sstream>

#include "Outcome.h"
#include "Reports.h"
#include "Utf8.h"

namespace diaghost {

namespace {

std::string seconds(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

std::string suiteName(const DeviceRecord& device)
{
    return "modem " + std::to_string(device.index) + " (" + (device.tty.empty() ? "no tty" : device.tty) + ", " +
           device.location + ")";
}

// The five XML special characters and the carriage return escaped; what
// XML 1.0 cannot carry becomes "?".
std::string xmlEscape(const std::string& text)
{
    std::string escaped;
    escaped.reserve(text.size());
    for (std::size_t at = 0; at < text.size(); ++at) {
        const char c = text[at];
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        case '\'': escaped += "&apos;"; break;
        // A parser reads a literal carriage return as a line feed.
        case '\r': escaped += "&#13;"; break;
        default:
            if (static_cast<unsigned char>(c) >= 0x80) {
                // The report is declared UTF-8: a byte that is not part of
                // a well-formed character would make it unreadable.
                // U+FFFE and U+FFFF are well formed but not allowed in XML.
                unsigned long codePoint = 0;
                std::size_t length = utf8Length(text, at, &codePoint);
                if (codePoint == 0xFFFE || codePoint == 0xFFFF) {
                    length = 0;
                }
                escaped += length == 0 ? std::string("?") : text.substr(at, length);
                at += length == 0 ? 0 : length - 1;
            } else if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') {
                // Control characters other than tab and line ends are not
                // allowed in XML 1.0 at all.
                escaped += '?';
            } else {
                escaped += c;
            }
        }
    }
    return escaped;
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

}  // namespace

std::string junitReport(const PackageIdentity& package, const std::vector<DeviceRecord>& devices,
                        const PackageConfig& config, const ReportContext& context)
{
    std::ostringstream suites;
    int allTests = 0;
    int allFailures = 0;
    int allErrors = 0;
    int allSkipped = 0;
    double allTime = 0.0;

    for (const DeviceRecord& device : devices) {
        std::ostringstream cases;
        int failures = 0;
        int errors = 0;
        int skipped = 0;
        double time = 0.0;
        const std::string className = "diaghost.modem" + std::to_string(device.index);

        for (const TestRecord& test : device.tests) {
            time += test.seconds;
            cases << "    <testcase" << attribute("name", test.name) << attribute("classname", className)
                  << attribute("time", seconds(test.seconds)) << ">\n";
            const std::string code = config.codeName(test.code);
            const std::string message = code + ": " + config.codeText(test.code);
            switch (outcomeOf(test)) {
            case Outcome::Aborted:
            case Outcome::NotRun:
                ++skipped;
                cases << "      <skipped" << attribute("message", message) << "/>\n";
                break;
            case Outcome::Failed:
                ++failures;
                cases << "      <failure" << attribute("message", message) << attribute("type", code) << "/>\n";
                break;
            case Outcome::Unusual:
                ++errors;
                cases << "      <error" << attribute("message", message) << attribute("type", code) << "/>\n";
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
            cases << "      <system-out>" << xmlEscape(out) << "</system-out>\n";
            cases << "    </testcase>\n";
        }
        for (const SkippedTest& test : device.skipped) {
            ++skipped;
            cases << "    <testcase" << attribute("name", test.name) << attribute("classname", className)
                  << attribute("time", "0") << ">\n"
                  << "      <skipped" << attribute("message", test.reason) << "/>\n"
                  << "    </testcase>\n";
        }

        const int tests = static_cast<int>(device.tests.size() + device.skipped.size());
        suites << "  <testsuite" << attribute("name", suiteName(device)) << attribute("tests", std::to_string(tests))
               << attribute("failures", std::to_string(failures)) << attribute("errors", std::to_string(errors))
               << attribute("skipped", std::to_string(skipped)) << attribute("time", seconds(time)) << ">\n"
               << "    <properties>\n"
               << "      <property name=\"location\"" << attribute("value", device.location) << "/>\n"
               << "      <property name=\"slot\"" << attribute("value", std::to_string(device.slot)) << "/>\n"
               << "      <property name=\"status\"" << attribute("value", device.status) << "/>\n"
               << "      <property name=\"firmware_revision\"" << attribute("value", device.fru.firmwareRevision)
               << "/>\n"
               << "    </properties>\n"
               << cases.str() << "  </testsuite>\n";
        allTests += tests;
        allFailures += failures;
        allErrors += errors;
        allSkipped += skipped;
        allTime += time;
    }

    if (devices.empty() && !context.noModemReason.empty()) {
        // A CI job that found no modem must not look green.
        ++allTests;
        ++allErrors;
        suites << "  <testsuite" << attribute("name", "modems") << attribute("tests", "1") << attribute("failures", "0")
               << attribute("errors", "1") << attribute("skipped", "0") << attribute("time", seconds(0.0)) << ">\n"
               << "    <testcase" << attribute("name", "find modems") << attribute("classname", "diaghost")
               << attribute("time", seconds(0.0)) << ">\n"
               << "      <error" << attribute("message", context.noModemReason) << attribute("type", "NO_MODEM")
               << "/>\n"
               << "    </testcase>\n"
               << "  </testsuite>\n";
    }

    std::ostringstream document;
    document << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
             << "<testsuites" << attribute("name", package.name + " " + package.version)
             << attribute("tests", std::to_string(allTests)) << attribute("failures", std::to_string(allFailures))
             << attribute("errors", std::to_string(allErrors)) << attribute("skipped", std::to_string(allSkipped))
             << attribute("time", seconds(allTime)) << ">\n"
             << suites.str() << "</testsuites>\n";
    return document.str();
}

}  // namespace diaghost
