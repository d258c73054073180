// Reports.h - machine-readable results: the JSON document and the JUnit XML report.
#pragma once

#include <string>
#include <vector>

#include "PackageConfig.h"
#include "Records.h"

namespace diaghost {

struct PackageIdentity {
    std::string name;
    std::string version;
    std::string description;
};

// The run around the records: when it started and how it ended.
struct ReportContext {
    bool withTests = true;       // false for list: no "tests", "skipped" or "not_tested" per device
    std::string started;         // UTC, ISO 8601 ("2026-12-06T03:00:00Z"); "" gives null
    bool interrupted = false;    // Ctrl-C cut the run short
    std::string noModemReason;   // JUnit: the error case when no modem was found
};

// The start time of a run as a report gives it: now, UTC, ISO 8601.
std::string utcNow();

// Version of the JSON document's layout, raised when a key changes meaning
// or goes; new keys leave it alone.
constexpr int kJsonSchemaVersion = 2;

// {"schema_version", "tool", "started", "interrupted", "package": {...},
// "devices": [{..., "fru": {...}, "tests": [...]}]}; texts missing from the
// records are null.
std::string jsonReport(const PackageIdentity& package, const std::vector<DeviceRecord>& devices,
                       const PackageConfig& config, const ReportContext& context);
// The same with no start time; withTests false leaves out each device's tests (the list command).
std::string jsonReport(const PackageIdentity& package, const std::vector<DeviceRecord>& devices,
                       const PackageConfig& config, bool withTests);

// info --json: the package, its plug-in, log folder and tests.
std::string jsonInfo(const PackageIdentity& package, const PackageConfig& config, const std::string& logDir);

// One <testsuite> per modem, one <testcase> per test: FAILED is a
// <failure>, UNUSUAL_STATUS an <error>, an aborted test or one the modem
// cannot run (no tty) is <skipped>. With no modem at all, one suite with
// one <error> case that says what was looked for.
std::string junitReport(const PackageIdentity& package, const std::vector<DeviceRecord>& devices,
                        const PackageConfig& config, const ReportContext& context);
std::string junitReport(const PackageIdentity& package, const std::vector<DeviceRecord>& devices,
                        const PackageConfig& config);

// Text with the five XML special characters and the carriage return
// escaped; a byte that is not part of well-formed UTF-8, U+FFFE, U+FFFF and
// the control characters XML does not allow become "?".
std::string xmlEscape(const std::string& text);

}  // namespace diaghost
