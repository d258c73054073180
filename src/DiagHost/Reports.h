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

// {"package": {...}, "devices": [{..., "fru": {...}, "tests": [...]}]};
// withTests false leaves out each device's "tests" (the list command).
std::string jsonReport(const PackageIdentity& package, const std::vector<DeviceRecord>& devices,
                       const PackageConfig& config, bool withTests);

// One <testsuite> per modem, one <testcase> per test: FAILED is a
// <failure>, UNUSUAL_STATUS an <error>, an aborted test or one the modem
// cannot run (no tty) is <skipped>.
std::string junitReport(const PackageIdentity& package, const std::vector<DeviceRecord>& devices,
                        const PackageConfig& config);

// Text with the five XML special characters escaped.
std::string xmlEscape(const std::string& text);

}  // namespace diaghost
