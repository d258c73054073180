// Jobs.cpp - the parent of run --jobs: children started, told to go, their reports merged in modem order.
#include "Jobs.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ExitStatus.h"
#include "JobLines.h"

namespace diaghost {

namespace {

// One child and what the parent knows of it.
struct Job {
    enum State { Enumerating, Ready, Running, Finished, NotStarted };

    DeviceRecord* record = nullptr;
    State state = Enumerating;
    pid_t pid = -1;
    int out = -1;  // the child's reports
    int in = -1;   // the go (a socket, so that a gone child gives EPIPE, not SIGPIPE)
    std::string buffer;
    bool ended = false;  // the child reported the end of its run
    bool shown = false;  // its modem heading is on screen
    std::vector<RunMessage> pending;
    std::unique_ptr<RunFollower> follower;
};

// Starts diaghost again as a job, its stdin and stdout connected to the
// parent. The arguments are prepared before the fork: the parent has
// threads (the simulator's modems), so the child calls only what is safe
// until exec.
bool spawn(Job& job, const std::vector<std::string>& args)
{
    int control[2];
    int reports[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, control) != 0) {
        return false;
    }
    if (pipe2(reports, O_CLOEXEC) != 0) {
        close(control[0]);
        close(control[1]);
        return false;
    }
    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    job.pid = fork();
    if (job.pid == 0) {
        dup2(control[1], STDIN_FILENO);
        dup2(reports[1], STDOUT_FILENO);
        // A job outlives no parent, however the parent ends.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) {
            _exit(EXIT_SOFTWARE);
        }
        execv("/proc/self/exe", argv.data());
        _exit(EXIT_SOFTWARE);
    }
    close(control[1]);
    close(reports[1]);
    if (job.pid < 0) {
        close(control[0]);
        close(reports[0]);
        return false;
    }
    job.in = control[0];
    job.out = reports[0];
    fcntl(job.out, F_SETFL, fcntl(job.out, F_GETFL) | O_NONBLOCK);
    return true;
}

// Reads what the child has written; whole lines go to lines. False once
// the child has closed its end (it has ended).
bool readLines(Job& job, std::vector<std::string>& lines)
{
    for (;;) {
        char chunk[4096];
        const ssize_t count = read(job.out, chunk, sizeof chunk);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count > 0) {
            job.buffer.append(chunk, static_cast<std::size_t>(count));
        }
        for (std::size_t end = job.buffer.find('\n'); end != std::string::npos; end = job.buffer.find('\n')) {
            lines.push_back(job.buffer.substr(0, end));
            job.buffer.erase(0, end + 1);
        }
        if (count == 0 || (count < 0 && errno != EAGAIN)) {
            return false;
        }
        if (count < 0) {
            return true;
        }
    }
}

// Closes the child's channels and reaps it.
void reap(Job& job)
{
    for (int* fd : {&job.in, &job.out}) {
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
    }
    if (job.pid > 0) {
        while (waitpid(job.pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        job.pid = -1;
    }
}

// Chosen tests that neither ran nor were reported as not run.
void recordUnreported(Job& job, const RunPlan& plan, const PackageConfig& config, const std::string& reason)
{
    for (int testIndex : plan.tests) {
        const std::string name = config.testName(testIndex);
        bool reported = false;
        for (const TestRecord& test : job.record->tests) {
            reported = reported || test.index == testIndex;
        }
        for (const SkippedTest& skipped : job.record->skipped) {
            reported = reported || skipped.name == name;
        }
        if (!reported) {
            job.record->skipped.push_back(SkippedTest{name, reason});
        }
    }
}

std::vector<std::string> jobArguments(const Session& session, const RunPlan& plan, int deviceIndex)
{
    std::vector<std::string> args = {"diaghost", "--package", session.plugin.configPath()};
    const char* root = std::getenv("MODEMDIAG_SYSROOT");
    if (root != nullptr && root[0] != '\0') {
        args.insert(args.end(), {"--sysroot", root});
    }
    args.insert(args.end(), {"run", "--device", std::to_string(deviceIndex)});
    for (int testIndex : plan.tests) {
        args.insert(args.end(), {"--test", session.config.testName(testIndex)});
    }
    if (plan.haltOnError) {
        args.push_back("--halt-on-error");
    }
    args.push_back("--job");
    return args;
}

}  // namespace

RunOutcome runJobs(Session& session, const RunPlan& plan, int jobs, RunView& view)
{
    RunOutcome outcome;
    std::vector<Job> all(plan.targets.size());
    for (std::size_t i = 0; i < all.size(); ++i) {
        all[i].record = plan.targets[i].record;
        all[i].follower = std::make_unique<RunFollower>(*all[i].record, session.config, view);
    }
    // However diaghost ends, no job is left behind.
    Cleanup endJobs([&all] {
        for (Job& job : all) {
            if (job.pid > 0) {
                kill(job.pid, SIGTERM);
            }
        }
        for (Job& job : all) {
            reap(job);
        }
    });
    // The first Ctrl-C goes on to the running jobs, once: each asks its
    // test to abort. A job takes interrupts from its parent only, so the
    // terminal's Ctrl-C to the whole process group does not count twice.
    // Jobs not running yet are simply never started.
    auto onSignal = [&](int signal) {
        if (signal != SIGINT || outcome.interrupted) {
            stopNow(view, signal);
        }
        outcome.interrupted = true;
        for (Job& job : all) {
            if (job.state == Job::Running && job.pid > 0) {
                kill(job.pid, kParentInterrupt);
            }
        }
        noticeInterrupt(view);
    };
    auto take = [&](Job& job) {
        std::vector<std::string> lines;
        const bool open = readLines(job, lines);
        for (const std::string& line : lines) {
            RunMessage message;
            if (job.state == Job::Enumerating && line == kJobReady) {
                job.state = Job::Ready;
            } else if (job.state == Job::Running && decodeMessage(line, message)) {
                if (message.kind == RunMessage::Ended) {
                    job.ended = true;
                    outcome.halted = outcome.halted || message.summary.halted;
                }
                // Only the last progress of a modem not on screen matters.
                if (message.kind == RunMessage::Progress && !job.pending.empty() &&
                    job.pending.back().kind == RunMessage::Progress) {
                    job.pending.back() = message;
                } else {
                    job.pending.push_back(message);
                }
            }
        }
        if (!open) {
            const Job::State was = job.state;
            reap(job);
            job.state = was == Job::Running ? Job::Finished : Job::NotStarted;
            if (!job.ended) {
                recordUnreported(job, plan, session.config, "its test process ended without a result");
            }
        }
        return open;
    };

    // Enumerations one after another: each asks every modem for its version.
    for (Job& job : all) {
        if (outcome.interrupted) {
            break;
        }
        if (!spawn(job, jobArguments(session, plan, job.record->index))) {
            job.state = Job::NotStarted;
            recordUnreported(job, plan, session.config, "its test process could not be started");
            continue;
        }
        while (job.state == Job::Enumerating) {
            if (const int signal = waitForSignal(-1, {job.out})) {
                onSignal(signal);
            }
            take(job);
        }
    }

    std::size_t live = 0;  // the first modem not yet shown to its end
    auto show = [&] {
        for (; live < all.size(); ++live) {
            Job& job = all[live];
            if (job.state == Job::Enumerating || job.state == Job::Ready) {
                return;
            }
            if (!job.shown && (job.state == Job::Running || !job.pending.empty())) {
                view.device(*job.record);
                job.shown = true;
            }
            for (const RunMessage& message : job.pending) {
                job.follower->apply(message);
            }
            job.pending.clear();
            if (job.state == Job::Running) {
                return;
            }
        }
    };
    int running = 0;
    auto startMore = [&] {
        for (Job& job : all) {
            if (running >= jobs || outcome.interrupted || outcome.halted) {
                return;
            }
            if (job.state == Job::Ready) {
                if (send(job.in, kJobGo, std::strlen(kJobGo), MSG_NOSIGNAL) < 0) {
                    reap(job);
                    job.state = Job::NotStarted;
                    recordUnreported(job, plan, session.config, "its test process ended without a result");
                    continue;
                }
                job.state = Job::Running;
                ++running;
            }
        }
    };

    startMore();
    show();
    while (running > 0) {
        std::vector<int> fds;
        for (const Job& job : all) {
            if (job.state == Job::Running) {
                fds.push_back(job.out);
            }
        }
        if (const int signal = waitForSignal(-1, fds)) {
            onSignal(signal);
        }
        for (Job& job : all) {
            if (job.state == Job::Running && !take(job)) {
                --running;
            }
        }
        startMore();
        show();
    }

    // Jobs that were never told to start end on the closed channel.
    for (Job& job : all) {
        if (job.state == Job::Enumerating || job.state == Job::Ready) {
            reap(job);
            job.state = Job::NotStarted;
        }
        if (job.state == Job::NotStarted && job.record->tests.empty() && job.record->skipped.empty()) {
            recordNotStarted(*job.record, plan.tests, session.config,
                             outcome.halted ? QuarnDiags::Diag::HALTED_ON_ERROR : QuarnDiags::Diag::RUN_ABORTED);
        }
    }
    show();
    return outcome;
}

}  // namespace diaghost
