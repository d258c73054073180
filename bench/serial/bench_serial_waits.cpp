// bench_serial_waits.cpp - what the serial waits cost: processor time idle, wake-up latency, dead-line logging.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "Deadline.h"
#include "PortComm.h"
#include "Velk.h"

namespace {

double ThreadCpuMs()
{
    struct rusage usage;
    getrusage(RUSAGE_THREAD, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

// A pty: the benchmark plays the modem on the master, the port is the slave.
struct Pty {
    int master = -1;
    HANDLE port = -1;
    std::string path;
    bool open()
    {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        char name[128];
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
            return false;
        }
        path = name;
        port = PortOpen(name);
        return port >= 0 && PortSetup(port);
    }
    void close()
    {
        if (port >= 0) {
            PortClose(port);
        }
        if (master >= 0) {
            ::close(master);
        }
        port = master = -1;
    }
};

void IdleWaitCost()
{
    Pty pty;
    if (!pty.open()) {
        std::printf("idle wait: no pty\n");
        return;
    }
    const double cpu = ThreadCpuMs();
    const Deadline started;
    const BOOL seen = PortWaitFor(pty.port, "OK", 5000);
    const double wallMs = started.elapsedMs();
    std::printf("idle 5000 ms wait on a silent line: result %d, wall %.1f ms, cpu %.2f ms (target < 20)\n", seen,
                wallMs, ThreadCpuMs() - cpu);
    pty.close();
}

void WakeLatency(int samples)
{
    Pty pty;
    if (!pty.open()) {
        std::printf("latency: no pty\n");
        return;
    }
    std::atomic<std::int64_t> sentAt{0};
    std::atomic<int> round{-1};
    std::thread modem([&] {
        for (int i = 0; i < samples; ++i) {
            while (round.load() != i) {
                std::this_thread::yield();
            }
            // Let the wait settle into poll before the byte comes.
            struct timespec pause = {0, 2000000};
            nanosleep(&pause, nullptr);
            sentAt.store(Deadline::nowUs());
            if (write(pty.master, "OK", 2) != 2) {
                return;
            }
        }
    });
    std::vector<double> latencies;
    for (int i = 0; i < samples; ++i) {
        round.store(i);
        if (!PortWaitFor(pty.port, "OK", 1000)) {
            std::printf("latency: sample %d missed\n", i);
            break;
        }
        latencies.push_back((Deadline::nowUs() - sentAt.load()) / 1000.0);
    }
    modem.join();
    pty.close();
    if (latencies.empty()) {
        return;
    }
    std::sort(latencies.begin(), latencies.end());
    const auto at = [&](double q) { return latencies[static_cast<std::size_t>(q * (latencies.size() - 1))]; };
    std::printf("byte written -> matching wait returns, %zu samples: median %.3f ms (target < 1), p90 %.3f ms, "
                "max %.3f ms\n",
                latencies.size(), at(0.5), at(0.9), latencies.back());
}

// A dead line: the slave of a closed master reads end-of-file, the master
// of a closed slave fails with EIO. Both must run to the limit quietly.
void DeadLineLogging()
{
    char logPath[] = "/tmp/bench-serial-XXXXXX";
    const int logFd = mkstemp(logPath);
    if (logFd < 0) {
        return;
    }
    ::close(logFd);
    std::ofstream log(logPath, std::ios::out | std::ios::trunc);
    gpLogFile = &log;

    const auto countLines = [&] {
        log.flush();
        std::ifstream in(logPath);
        int lines = 0;
        for (std::string line; std::getline(in, line);) {
            ++lines;
        }
        return lines;
    };
    const auto measure = [&](const char* what, HANDLE port) {
        const int linesBefore = countLines();
        const double cpu = ThreadCpuMs();
        const Deadline started;
        const BOOL seen = PortWaitFor(port, "OK", 1000);
        const double wallMs = started.elapsedMs();
        const double cpuMs = ThreadCpuMs() - cpu;
        std::printf("1000 ms wait on %s: result %d, wall %.1f ms, cpu %.2f ms, %d log lines (target <= 50)\n", what,
                    seen, wallMs, cpuMs, countLines() - linesBefore);
    };

    Pty hungUp;
    if (hungUp.open()) {
        ::close(hungUp.master);
        hungUp.master = -1;
        measure("a hung-up tty (reads end-of-file)", hungUp.port);
        hungUp.close();
    }

    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    char name[128];
    if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0 && ptsname_r(master, name, sizeof name) == 0) {
        ::close(::open(name, O_RDWR | O_NOCTTY));
        measure("a tty failing every read with EIO", master);
    }
    if (master >= 0) {
        ::close(master);
    }
    gpLogFile = nullptr;
    unlink(logPath);
}

}  // namespace

int main(int argc, char** argv)
{
    const int samples = argc > 1 ? std::atoi(argv[1]) : 500;
    IdleWaitCost();
    WakeLatency(samples > 0 ? samples : 500);
    DeadLineLogging();
    return 0;
}
