// DriverUseCount.cpp - follows opens and closes of the simulated driver ttys and publishes the module's use count.
#include "DriverUseCount.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "Deadline.h"

namespace modemsim {

namespace {

const std::uint32_t kWatchedEvents = IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE;

// A look costs a few milliseconds of processor time on a busy system, and
// replacing proc/modules most of one on some file systems; a modem's answer
// that waits behind them on a small machine comes late. So the model settles
// what it was told (looks, if a tty closed, and publishes) once the ttys
// have been quiet this long, and at the latest this long after the first
// notification it has not settled: a program that goes through the ttys one
// after another (a search for modems) costs one look and one file, not one
// beside each of its dialogues, and a tty opened and closed without pause
// cannot put them off for ever.
const std::int64_t kQuietUs = 1000;
const std::int64_t kSettleWithinUs = 20000;

// A whole number made only of digits (a process folder of /proc).
bool IsNumber(const char* text, long* value)
{
    if (*text == '\0') {
        return false;
    }
    char* end = nullptr;
    *value = std::strtol(text, &end, 10);
    return *end == '\0';
}

}  // namespace

struct DriverUseCount::Impl {
    struct Followed {
        std::string path;
        int ownDescriptor;
        dev_t device;
        int watch;
        bool open = false;   // some descriptor other than ours is on it, as far as the model knows
        bool shown = false;  // counted in the count last published
    };

    std::vector<Followed> ttys;
    int base = 0;
    std::int64_t releaseDelayUs = 0;
    std::function<void(int)> publish;
    int notify = -1;
    int stopRead = -1;
    int stopWrite = -1;
    std::vector<Deadline> releases;  // references still held after a last close
    bool settling = false;    // notifications were read that are not settled yet
    bool lookNeeded = false;  // among them a close (or what may hide one)
    Deadline settleAt;        // when they are settled
    Deadline settleLatest;    // and the latest that may be put off to
    std::atomic<int> published{-1};
    mutable std::mutex mutex;  // with changed, for waitFor()
    mutable std::condition_variable changed;
    std::thread thread;

    // What the notifications last said of a tty.
    enum Told { kNothing, kOpened, kOther };
    void look();
    std::vector<Told> readNotifications();
    void settleLater();
    void settle();
    void publishCount();
    // Takes the pending notifications when notified, settles them when that
    // is due, drops the releases that are due and publishes the count.
    void update(bool notified);
    void serve();
};

// Marks each tty open when a descriptor other than the simulator's own is on
// it, in any process this one may look at.
void DriverUseCount::Impl::look()
{
    for (Followed& tty : ttys) {
        tty.open = false;
    }
    const long self = static_cast<long>(getpid());
    DIR* proc = opendir("/proc");
    if (proc == nullptr) {
        return;
    }
    while (const dirent* process = readdir(proc)) {
        long pid = 0;
        if (!IsNumber(process->d_name, &pid)) {
            continue;
        }
        const int fdFolder = openat(dirfd(proc), (std::string(process->d_name) + "/fd").c_str(),
                                    O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fdFolder < 0) {
            continue;  // gone meanwhile, or not ours to look at
        }
        DIR* descriptors = fdopendir(fdFolder);
        if (descriptors == nullptr) {
            close(fdFolder);
            continue;
        }
        while (const dirent* entry = readdir(descriptors)) {
            long fd = 0;
            struct stat info;
            if (!IsNumber(entry->d_name, &fd) || fstatat(fdFolder, entry->d_name, &info, 0) != 0 ||
                !S_ISCHR(info.st_mode)) {
                continue;
            }
            for (Followed& tty : ttys) {
                if (info.st_rdev == tty.device && !(pid == self && fd == tty.ownDescriptor)) {
                    tty.open = true;
                }
            }
        }
        closedir(descriptors);
    }
    closedir(proc);
}

// Reads every pending notification and says, per tty, what the last one
// was. A tty whose last notification is an open is open now: nothing else
// makes one, and a close after it would have come with it. Any other last
// word (a close, which may have left another descriptor on the tty,
// coalesced or lost notifications, a tty gone) leaves it to a look through
// /proc when the notifications are settled.
std::vector<DriverUseCount::Impl::Told> DriverUseCount::Impl::readNotifications()
{
    alignas(struct inotify_event) char buffer[4096];
    std::vector<Told> last(ttys.size(), kNothing);
    bool unknown = false;
    ssize_t got = 0;
    while ((got = read(notify, buffer, sizeof buffer)) > 0) {
        for (std::size_t at = 0; at + sizeof(struct inotify_event) <= static_cast<std::size_t>(got);) {
            struct inotify_event event;
            std::memcpy(&event, buffer + at, sizeof event);
            at += sizeof event + event.len;
            bool followed = false;
            for (std::size_t i = 0; i < ttys.size(); ++i) {
                if (ttys[i].watch == event.wd) {
                    last[i] = (event.mask & IN_OPEN) != 0 ? kOpened : kOther;
                    followed = true;
                }
            }
            unknown = unknown || !followed;  // the queue's overflow among them
        }
    }
    bool any = unknown;
    for (std::size_t i = 0; i < ttys.size(); ++i) {
        ttys[i].open = ttys[i].open || last[i] == kOpened;
        lookNeeded = lookNeeded || unknown || last[i] == kOther;
        any = any || last[i] != kNothing;
    }
    if (any) {
        settleLater();
    }
    return last;
}

void DriverUseCount::Impl::settleLater()
{
    if (!settling) {
        settling = true;
        settleLatest = Deadline(kSettleWithinUs);
    }
    const Deadline quiet(kQuietUs);
    settleAt = quiet.endsBefore(settleLatest) ? quiet : settleLatest;
}

void DriverUseCount::Impl::settle()
{
    settling = false;
    if (lookNeeded) {
        // A tty is shown closed only once a look found no descriptor on it.
        // A close told during the look may not be in it: that tty stays as
        // it was shown until the next settling, and a session that began and
        // ended while the look went on is not shown at all (the count would
        // rise after the fact, when the driver is free).
        lookNeeded = false;
        look();
        const std::vector<Told> told = readNotifications();
        for (std::size_t i = 0; i < ttys.size(); ++i) {
            ttys[i].open = told[i] == kOther ? ttys[i].shown : ttys[i].open;
        }
    }
    // A close may have come during the look, so its release counts from the
    // look's end: later than the kernel's at times, never earlier.
    const Deadline released(releaseDelayUs);
    for (Followed& tty : ttys) {
        if (tty.shown && !tty.open) {
            releases.push_back(released);
        }
        tty.shown = tty.open;
    }
}

void DriverUseCount::Impl::publishCount()
{
    int count = base + static_cast<int>(releases.size());
    for (const Followed& tty : ttys) {
        count += tty.shown ? 1 : 0;
    }
    if (count != published.load()) {
        publish(count);
        {
            std::lock_guard<std::mutex> lock(mutex);
            published.store(count);
        }
        changed.notify_all();
    }
}

void DriverUseCount::Impl::update(bool notified)
{
    if (notified) {
        readNotifications();
    }
    if (settling && settleAt.expired()) {
        settle();
    }
    std::vector<Deadline> held;
    for (const Deadline& release : releases) {
        if (!release.expired()) {
            held.push_back(release);
        }
    }
    releases.swap(held);
    publishCount();
}

void DriverUseCount::Impl::serve()
{
    for (;;) {
        int timeoutMs = settling ? settleAt.pollTimeoutMs() : -1;
        for (const Deadline& release : releases) {
            const int left = release.pollTimeoutMs();
            timeoutMs = timeoutMs < 0 || left < timeoutMs ? left : timeoutMs;
        }
        struct pollfd fds[2] = {{stopRead, POLLIN, 0}, {notify, POLLIN, 0}};
        if (poll(fds, 2, timeoutMs) < 0 && errno != EINTR) {
            return;
        }
        if (fds[0].revents != 0) {
            return;
        }
        update(fds[1].revents != 0);
    }
}

DriverUseCount::DriverUseCount(const std::vector<Tty>& ttys, int base, int releaseDelayMs,
                               std::function<void(int)> publish)
    : m_impl(std::make_unique<Impl>())
{
    Impl& impl = *m_impl;
    impl.base = base;
    impl.releaseDelayUs = static_cast<std::int64_t>(releaseDelayMs < 0 ? 0 : releaseDelayMs) * 1000;
    impl.publish = std::move(publish);
    int stop[2];
    impl.notify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (impl.notify < 0 || pipe2(stop, O_CLOEXEC) != 0) {
        const std::string reason = std::strerror(errno);
        if (impl.notify >= 0) {
            close(impl.notify);
        }
        throw std::runtime_error("driver use count: cannot watch ttys: " + reason);
    }
    impl.stopRead = stop[0];
    impl.stopWrite = stop[1];
    for (const Tty& tty : ttys) {
        struct stat info;
        const int watch = inotify_add_watch(impl.notify, tty.path.c_str(), kWatchedEvents);
        if (stat(tty.path.c_str(), &info) != 0 || !S_ISCHR(info.st_mode) || watch < 0) {
            const std::string reason = std::strerror(errno);
            close(impl.notify);
            close(impl.stopRead);
            close(impl.stopWrite);
            throw std::runtime_error("driver use count: cannot watch " + tty.path + ": " + reason);
        }
        impl.ttys.push_back(Impl::Followed{tty.path, tty.ownDescriptor, info.st_rdev, watch});
    }
    impl.look();
    impl.settle();
    impl.update(false);
    impl.thread = std::thread([&impl] { impl.serve(); });
}

DriverUseCount::~DriverUseCount()
{
    const char stop = 1;
    while (write(m_impl->stopWrite, &stop, 1) < 0 && errno == EINTR) {
    }
    m_impl->thread.join();
    close(m_impl->notify);
    close(m_impl->stopRead);
    close(m_impl->stopWrite);
}

int DriverUseCount::count() const
{
    return m_impl->published.load();
}

bool DriverUseCount::waitFor(int count, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_impl->mutex);
    return m_impl->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                    [this, count] { return m_impl->published.load() == count; });
}

}  // namespace modemsim
