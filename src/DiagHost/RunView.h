// RunView.h - what a person sees of a run: live progress, events, summary.
#pragma once

#include <string>
#include <vector>

#include "Console.h"
#include "PackageConfig.h"
#include "Records.h"

namespace diaghost {

// On a terminal each running test has a live progress bar with events
// printed above it as they come; elsewhere the same facts come as plain
// lines, one per start, event and verdict.
class RunView {
public:
    RunView(Console& console, const PackageConfig& config) : m_console(console), m_config(config) {}

    void device(const DeviceRecord& device);
    void testStarted(const DeviceRecord& device, int testIndex);
    void progress(QuarnDiags::Uint percent, double seconds);
    void event(const EventRecord& event);
    void testFinished(const TestRecord& test);
    void skipped(const DeviceRecord& device);
    void notice(const std::string& text);
    void summary(const std::vector<DeviceRecord>& devices, bool interrupted);

private:
    std::string verdictText(QuarnDiags::Diag::TestResult verdict) const;
    std::string testLabel(int testIndex) const;

    Console& m_console;
    const PackageConfig& m_config;
    int m_testIndex = -1;
};

// Text, colour and one-line meaning of a verdict.
const char* verdictMeaning(QuarnDiags::Diag::TestResult verdict);

}  // namespace diaghost
