// Reports.h - machine-readable results: the JSON document, the JUnit XML report and the Prometheus metrics.
#pragma once

#include <cstdint>
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

// The machine a run or list looked at, as uname(2) names it.
struct MachineInfo {
    std::string hostname;
    std::string kernel;         // system name and release: "Linux 6.1.0-28-686"
    std::string kernelVersion;  // the kernel's build: "#1 SMP Debian 6.1.119-1 (2024-11-22)"
    std::string architecture;   // "i686", "x86_64"
    std::string simulated;      // --simulate's machine ("demo"), "" for the real one
};

MachineInfo thisMachine(const std::string& simulated);

struct ReportContext {
    bool withTests = true;       // false for list: no "tests", "skipped" or "not_tested" per device
    std::string started;         // UTC, ISO 8601 ("2026-12-06T03:00:00Z"); "" gives null
    std::string finished;        // run: when its last test ended, the same way
    MachineInfo machine;
    bool interrupted = false;    // Ctrl-C cut the run short
    std::string noModemReason;   // JUnit: the error case when no modem was found
    std::size_t modemsFound = 0; // every modem found, also those --device left out
    int exitStatus = 0;          // the status diaghost ends with
    int roundsAsked = 1;         // run --repeat N
    int roundsRun = 1;           // fewer after Ctrl-C or a halt on error
};

std::string utcNow();  // a run's start as the reports give it: now, UTC, ISO 8601

// Raised when a key of the JSON document changes meaning or goes. 4: a
// test's "verdict" is diaghost's ("ABORTED" for a stopped test, never the
// plug-in's "PASSED"), the plug-in's own is "plugin_verdict"; "progress" is
// 100 for a test that ran to its end ("plugin_progress" the plug-in's last
// figure); tests and skipped tests carry their "round".
constexpr int kJsonSchemaVersion = 4;

// {"schema_version", "tool", "started", "finished" (run only), "interrupted",
// "machine", "no_modem" and "summary" (run only), "package", "devices":
// [{..., "fru", "tests"}]}; a missing text is null.
std::string jsonReport(const PackageIdentity& package, const std::vector<DeviceRecord>& devices,
                       const PackageConfig& config, const ReportContext& context);

std::string jsonInfo(const PackageIdentity& package, const PackageConfig& config, const std::string& logDir);

// One <testsuite> per modem, one <testcase> per test: FAILED is a
// <failure>, UNUSUAL_STATUS an <error>, aborted or not run <skipped>. With
// no modem, one <error> case that says what was looked for.
std::string junitReport(const PackageIdentity& package, const std::vector<DeviceRecord>& devices,
                        const PackageConfig& config, const ReportContext& context);

// The metrics for node_exporter's textfile collector: the modems found, the
// run's end (finishedAt, seconds since the epoch), per modem and test its
// outcome, code, duration and time; a test that did not run only "not-run".
// Over several rounds a test has one series each: the round with its worst
// outcome (failed, unusual, aborted, not run, passed) gives them.
std::string metricsReport(const std::vector<DeviceRecord>& devices, std::size_t modemsFound, std::int64_t finishedAt,
                          const PackageConfig& config);

}  // namespace diaghost
