// MetricsReport.cpp - Prometheus text exposition of a run, written atomically.
#include "MetricsReport.h"
#include "Utf8.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>  // mkostemp
#include <cstring>
#include <ctime>
#include <sstream>

namespace diaghost {

namespace {

const Outcome kOutcomes[] = {Outcome::Passed, Outcome::Unusual, Outcome::Failed, Outcome::Aborted, Outcome::NotRun};

std::string number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

void header(std::ostringstream& out, const char* name, const char* help)
{
    out << "# HELP " << name << ' ' << help << "\n# TYPE " << name << " gauge\n";
}

std::string label(const char* name, const std::string& value)
{
    return std::string(name) + "=\"" + metricsLabelValue(value) + "\"";
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

bool writeAll(int fd, const std::string& content)
{
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t wrote = ::write(fd, content.data() + done, content.size() - done);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote <= 0) {
            errno = wrote == 0 ? EIO : errno;
            return false;
        }
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

}  // namespace

std::string metricsLabelValue(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = utf8Length(text, i);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        const char c = text[i];
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '"') {
            out += "\\\"";
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out.append(text, i, length);
        }
        i += length;
    }
    return out;
}

std::string metricsReport(const std::vector<DeviceRecord>& devices, const RunFacts& facts,
                          const PackageConfig& config)
{
    std::ostringstream out;
    header(out, "modemdiag_modems_found", "Modems the last run found.");
    out << "modemdiag_modems_found " << facts.modemsFound << '\n';
    header(out, "modemdiag_run_timestamp_seconds", "When the last run ended, in seconds since the epoch.");
    out << "modemdiag_run_timestamp_seconds " << facts.finishedAt << '\n';

    header(out, "modemdiag_modem_info", "Each modem the last run tested, with its status and firmware revision.");
    for (const DeviceRecord& device : devices) {
        out << "modemdiag_modem_info{" << modemLabels(device) << "," << label("status", device.status) << ","
            << label("firmware", device.fru.firmwareRevision) << "} 1\n";
    }

    // Only when it has a series: most runs find no lock.
    bool anyLocked = false;
    for (const DeviceRecord& device : devices) {
        if (device.lockedByPid != 0 && !anyLocked) {
            anyLocked = true;
            header(out, "modemdiag_modem_locked",
                   "Modems not tested because another program held the port's lock; holder names that program "
                   "(its PID, new each time, is left out).");
        }
        if (device.lockedByPid != 0) {
            out << "modemdiag_modem_locked{" << modemLabels(device) << "," << label("holder", device.lockedByName)
                << "} 1\n";
        }
    }

    header(out, "modemdiag_test_outcome",
           "Outcome of each test's last run: 1 for the outcome it had, 0 for the others.");
    for (const DeviceRecord& device : devices) {
        const auto series = [&](const std::string& test, Outcome had) {
            for (Outcome outcome : kOutcomes) {
                out << "modemdiag_test_outcome" << testLabels(device, test) << ","
                    << label("outcome", outcomeName(outcome)) << "} " << (outcome == had ? 1 : 0) << '\n';
            }
        };
        for (const TestRecord& test : device.tests) {
            series(test.name, outcomeOf(test));
        }
        for (const SkippedTest& test : device.skipped) {
            series(test.name, Outcome::NotRun);
        }
    }

    header(out, "modemdiag_test_code", "Message code each test ended with; the label code names it.");
    for (const DeviceRecord& device : devices) {
        for (const TestRecord& test : device.tests) {
            out << "modemdiag_test_code" << testLabels(device, test.name) << ","
                << label("code", config.codeName(test.code)) << "} " << test.code << '\n';
        }
    }
    header(out, "modemdiag_test_duration_seconds", "How long each test ran.");
    for (const DeviceRecord& device : devices) {
        for (const TestRecord& test : device.tests) {
            out << "modemdiag_test_duration_seconds" << testLabels(device, test.name) << "} "
                << number(test.seconds) << '\n';
        }
    }
    header(out, "modemdiag_test_last_run_timestamp_seconds",
           "When each test last ran (the end of its run), in seconds since the epoch.");
    for (const DeviceRecord& device : devices) {
        for (const TestRecord& test : device.tests) {
            out << "modemdiag_test_last_run_timestamp_seconds" << testLabels(device, test.name) << "} "
                << facts.finishedAt << '\n';
        }
    }
    return out.str();
}

bool writeFileAtomically(const std::string& path, const std::string& content, std::string& error)
{
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    if (base.empty()) {
        error = path + " names a folder, not a file";
        return false;
    }
    // A dot name without the .prom ending: the collector skips it.
    std::string temp = path.substr(0, slash == std::string::npos ? 0 : slash + 1) + "." + base + ".XXXXXX";
    const int fd = ::mkostemp(&temp[0], O_CLOEXEC);
    if (fd < 0) {
        error = "cannot create a file in " + folder + ": " + std::strerror(errno);
        return false;
    }
    int failure = 0;
    if (!writeAll(fd, content) || ::fchmod(fd, 0644) != 0 || ::fsync(fd) != 0) {
        failure = errno;
    }
    if (::close(fd) != 0 && failure == 0) {
        failure = errno;
    }
    if (failure == 0 && ::rename(temp.c_str(), path.c_str()) != 0) {
        failure = errno;
    }
    if (failure != 0) {
        ::unlink(temp.c_str());
        error = "cannot write " + path + ": " + std::strerror(failure);
        return false;
    }
    // The rename itself survives a crash once the folder is on disk.
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

bool writeMetrics(const std::string& path, const std::vector<DeviceRecord>& devices, std::size_t modemsFound,
                  const PackageConfig& config, std::string& error)
{
    RunFacts facts;
    facts.modemsFound = modemsFound;
    facts.finishedAt = static_cast<std::int64_t>(std::time(nullptr));
    return writeFileAtomically(path, metricsReport(devices, facts, config), error);
}

}  // namespace diaghost
