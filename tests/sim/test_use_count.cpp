// The driver's use count in a simulated root follows open ttys as the kernel's does.
#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "MachinePlan.h"
#include "TestSupport.h"

namespace {

// The use count on the driver's line of proc/modules, -1 without one.
int CountInFile(const modemsim::SimulatedMachine& machine)
{
    const std::string text = testsupport::readFile(machine.root().file("/proc/modules"));
    const std::size_t line = text.find("TSYSM ");
    int size = 0;
    int count = -1;
    return line != std::string::npos && std::sscanf(text.c_str() + line, "TSYSM %d %d", &size, &count) == 2 ? count
                                                                                                              : -1;
}

int OpenTty(const modemsim::SimulatedMachine& machine, int n)
{
    return open(machine.root().file(modemsim::SimulatedRoot::ttyPath(n)).c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
}

modemsim::MachinePlan TwoModems(int releaseDelayMs, int base = 0)
{
    modemsim::MachinePlan plan = modemsim::MachinePlan::spread({"healthy", "healthy"});
    plan.releaseDelayMs = releaseDelayMs;
    plan.driverUseCount = base;
    return plan;
}

}  // namespace

// An open anywhere but in the simulator counts at once, once per tty however
// often it is opened (the simulator's own descriptors never: the count
// starts at the base); the count falls the release delay after the tty's
// last close, and a tty that keeps another descriptor keeps its count; the
// plan's base stays on top. The file says what the model says.
TEST(DriverUseCount, FollowsOpenTtysAndFallsTheReleaseDelayAfterTheLastClose)
{
    const int base = 1;
    modemsim::SimulatedMachine machine(TwoModems(200, base));
    const modemsim::DriverUseCount& count = *machine.useCount();
    EXPECT_EQ(base, count.count());
    EXPECT_EQ(base, CountInFile(machine));

    const int first = OpenTty(machine, 0);
    ASSERT_GE(first, 0);
    EXPECT_TRUE(count.waitFor(base + 1, 2000));
    const int second = OpenTty(machine, 0);
    const int other = OpenTty(machine, 1);
    // Two ttys open: the second open of tty 0 added nothing.
    EXPECT_TRUE(count.waitFor(base + 2, 2000));
    EXPECT_EQ(base + 2, CountInFile(machine));

    // tty 1's last close, and one of tty 0's two: only tty 1 is released
    // (had tty 0 gone too, both would fall together, straight to the base).
    close(first);
    close(other);
    const auto closed = std::chrono::steady_clock::now();
    EXPECT_EQ(base + 2, CountInFile(machine)) << "fell at the close, not after the delay";
    EXPECT_TRUE(count.waitFor(base + 1, 2000));
    const auto fell = std::chrono::steady_clock::now();
    EXPECT_GE(fell - closed, std::chrono::milliseconds(190));
    EXPECT_EQ(base + 1, CountInFile(machine));

    // A child process's open counts too, and its exit closes it.
    const pid_t child = fork();
    if (child == 0) {
        const int fd = OpenTty(machine, 1);
        usleep(300000);
        _exit(fd >= 0 ? 0 : 1);
    }
    EXPECT_TRUE(count.waitFor(base + 2, 2000));
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_EQ(0, status);
    EXPECT_TRUE(count.waitFor(base + 1, 2000));
    close(second);
    EXPECT_TRUE(count.waitFor(base, 2000));
    EXPECT_EQ(base, CountInFile(machine));
}

// Without a driver there is no count and no module line.
TEST(DriverUseCount, NoDriverNoCount)
{
    modemsim::MachinePlan unloaded = TwoModems(0);
    unloaded.driverLoaded = false;
    modemsim::SimulatedMachine without(unloaded);
    EXPECT_EQ(nullptr, without.useCount());
    EXPECT_EQ(-1, CountInFile(without));
}
