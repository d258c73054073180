// MetricsReport.h - a run's results in Prometheus text format, for node_exporter's textfile collector.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "PackageConfig.h"
#include "Records.h"

namespace diaghost {

// What the metrics say beyond the devices' records.
struct RunFacts {
    std::size_t modemsFound = 0;  // every modem found, not only the ones tested
    std::int64_t finishedAt = 0;  // when the run ended, seconds since the epoch
};

// The metrics file: modems found, when the run ended, and per modem and
// test its outcome (one series per outcome, 1 for the one it had), its code,
// its duration and when it last ran. Tests that were selected but did not
// run have only the outcome "not-run".
std::string metricsReport(const std::vector<DeviceRecord>& devices, const RunFacts& facts,
                          const PackageConfig& config);

// A label value as the text format wants it: backslash, double quote and
// line feed escaped, and bytes that are not UTF-8 replaced by U+FFFD.
std::string metricsLabelValue(const std::string& text);

// Replaces path with content in one step, through a temporary file in the
// same folder (one whose name the textfile collector ignores) and a rename,
// so that a reader sees the old file or the new one, never a part. The
// file is 0644: the collector runs as another user. On failure, sets error.
bool writeFileAtomically(const std::string& path, const std::string& content, std::string& error);

// The metrics of a run that ended now, written atomically to path.
bool writeMetrics(const std::string& path, const std::vector<DeviceRecord>& devices, std::size_t modemsFound,
                  const PackageConfig& config, std::string& error);

}  // namespace diaghost
