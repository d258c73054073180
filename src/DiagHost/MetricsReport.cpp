// MetricsReport.cpp - Prometheus text exposition of a run.
#include "Reports.h"

#include <algorithm>
#include <sstream>

#include "Outcome.h"
#include "Utf8.h"

namespace diaghost {

namespace {

void header(std::ostringstream& out, const char* name, const char* help)
{
    out << "# HELP " << name << ' ' << help << "\n# TYPE " << name << " gauge\n";
}

// A label, its value as the text format wants it: backslash, double quote
// and line feed escaped, and bytes that are not UTF-8 replaced by U+FFFD.
std::string label(const char* name, const std::string& value)
{
    const std::string escaped = rewriteUtf8(
        value,
        [](unsigned long codePoint, const std::string& bytes) {
            return codePoint == '\\' ? "\\\\" : codePoint == '"' ? "\\\"" : codePoint == '\n' ? "\\n" : bytes;
        },
        [](unsigned char) { return "\xEF\xBF\xBD"; });
    return std::string(name) + "=\"" + escaped + "\"";
}

std::string modemLabels(const DeviceRecord& device)
{
    return label("modem", std::to_string(device.index)) + "," + label("location", device.location) + "," +
           label("tty", device.tty);
}

std::string testLabels(const DeviceRecord& device, const std::string& test)
{
    return "{" + modemLabels(device) + "," + label("test", test);
}

}  // namespace

std::string metricsReport(const std::vector<DeviceRecord>& devices, std::size_t modemsFound, std::int64_t finishedAt,
                          const PackageConfig& config)
{
    std::ostringstream out;
    header(out, "modemdiag_modems_found", "Modems the last run found.");
    out << "modemdiag_modems_found " << modemsFound << '\n';
    header(out, "modemdiag_run_timestamp_seconds", "When the last run ended, in seconds since the epoch.");
    out << "modemdiag_run_timestamp_seconds " << finishedAt << '\n';

    header(out, "modemdiag_modem_info",
           "Each modem the last run tested: its status, firmware revision, slot and where the slot came from "
           "(kcore, firmware or sysfs; empty when not known).");
    for (const DeviceRecord& device : devices) {
        out << "modemdiag_modem_info{" << modemLabels(device) << "," << label("status", device.status) << ","
            << label("firmware", device.fru.firmwareRevision) << "," << label("slot", std::to_string(device.slot))
            << "," << label("slot_source", describe(device.slotSource).name) << "} 1\n";
    }

    // Only when it has a series: most runs find no lock.
    const auto locked = [](const DeviceRecord& device) { return device.lockedByPid != 0; };
    if (std::any_of(devices.begin(), devices.end(), locked)) {
        header(out, "modemdiag_modem_locked",
               "Modems not tested because another program held the port's lock; holder names that program "
               "(its PID, new each time, is left out).");
    }
    for (const DeviceRecord& device : devices) {
        if (locked(device)) {
            out << "modemdiag_modem_locked{" << modemLabels(device) << "," << label("holder", device.lockedByName)
                << "} 1\n";
        }
    }

    header(out, "modemdiag_test_outcome",
           "Outcome of each test's last run: 1 for the outcome it had, 0 for the others.");
    for (const DeviceRecord& device : devices) {
        const auto series = [&](const std::string& test, Outcome had) {
            for (const OutcomeInfo& outcome : kOutcomes) {
                out << "modemdiag_test_outcome" << testLabels(device, test) << "," << label("outcome", outcome.name)
                    << "} " << (&outcome == &describe(had) ? 1 : 0) << '\n';
            }
        };
        for (const TestRecord& test : device.tests) {
            series(test.name, outcomeOf(test));
        }
        for (const SkippedTest& test : device.skipped) {
            series(test.name, Outcome::NotRun);
        }
    }

    // One series per test that ran: the labels after the test's own, and the value.
    const auto perTest = [&](const char* name, const char* help, const auto& series) {
        header(out, name, help);
        for (const DeviceRecord& device : devices) {
            for (const TestRecord& test : device.tests) {
                out << name << testLabels(device, test.name) << series(test) << '\n';
            }
        }
    };
    perTest("modemdiag_test_code", "Message code each test ended with; the label code names it.",
            [&config](const TestRecord& test) {
                return "," + label("code", config.codeName(test.code)) + "} " + std::to_string(test.code);
            });
    perTest("modemdiag_test_duration_seconds", "How long each test ran.",
            [](const TestRecord& test) { return "} " + secondsText(test.seconds); });
    perTest("modemdiag_test_last_run_timestamp_seconds",
            "When each test last ran (the end of its run), in seconds since the epoch.",
            [finishedAt](const TestRecord&) { return "} " + std::to_string(finishedAt); });
    return out.str();
}

}  // namespace diaghost
