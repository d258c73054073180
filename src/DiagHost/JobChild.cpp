// JobChild.cpp - a run --jobs child: one modem's tests, each step reported to the parent as a line.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <unistd.h>

#include "ExitStatus.h"
#include "JobLines.h"
#include "Jobs.h"

namespace diaghost {

int runJob(Session& session)
{
    const Options& options = session.options;
    takeInterruptsFromParent();
    auto quit = [](int signal) { quitNow(EXIT_SIGNAL_BASE + signal); };

    std::string error;
    QuarnDiags::Diag::IDiagnostics* diagnostics = session.plugin.diagnostics(error);
    QuarnDiags::DeviceEnum::IDeviceEnumerator* enumerator =
        diagnostics != nullptr ? session.plugin.enumerator(error) : nullptr;
    if (enumerator == nullptr) {
        printError(error);
        return EXIT_NO_MODEM;
    }
    QuarnDiags::DeviceEnum::VirtualDeviceVector* devices = nullptr;
    Wakeup wakeup;
    watch([&] { devices = enumerator->getDeviceVector("", 0); }, [] { return -1; }, quit, wakeup);
    const int index = options.deviceIndex();
    if (devices == nullptr || index < 0 || static_cast<std::size_t>(index) >= devices->size()) {
        printError("job: no modem with index " + options.device);
        return EXIT_USAGE;
    }
    std::vector<int> tests;
    for (int i = 0; i < diagnostics->getTestCount(); ++i) {
        const std::string name = session.config.testName(i);
        if (options.allTests() || std::find(options.tests.begin(), options.tests.end(), name) != options.tests.end()) {
            tests.push_back(i);
        }
    }
    if (!writeAll(STDOUT_FILENO, std::string(kJobReady) + "\n")) {
        return EXIT_SOFTWARE;
    }

    // The parent starts the tests when its limit of jobs allows; a closed
    // channel means they are not to run.
    for (std::string input; input.find('\n') == std::string::npos;) {
        if (const int signal = waitForSignal(-1, {STDIN_FILENO})) {
            quit(signal);
        }
        char chunk[16];
        const ssize_t count = read(STDIN_FILENO, chunk, sizeof chunk);
        if (count == 0 || (count < 0 && errno != EINTR && errno != EAGAIN)) {
            return EXIT_ALL_PASSED;
        }
        input.append(chunk, count > 0 ? static_cast<std::size_t>(count) : 0);
    }

    bool aborting = false;
    runDevice(
        *diagnostics, &(*devices)[static_cast<std::size_t>(index)], tests, options.haltOnError,
        [](const RunMessage& message) {
            if (!writeAll(STDOUT_FILENO, encodeMessage(message) + "\n")) {
                quitNow(EXIT_SIGNAL_BASE + SIGPIPE);
            }
        },
        [&](int signal) {
            if (signal != SIGINT) {
                quitNow(EXIT_SIGNAL_BASE + signal);
            }
            if (!aborting) {
                aborting = true;
                diagnostics->abortDiagnostic();
            }
        });
    return EXIT_ALL_PASSED;
}

}  // namespace diaghost
