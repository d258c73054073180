// The host classes' virtual slot order, seen by a host built against a mirror of the documented order.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <memory>

#include "DiagHarness.h"
#include "ModemDeviceEnumerator.h"
#include "ModemLoopbackTest.h"
#include "SimulatedRoot.h"

using namespace diagtest;
using DeviceEnum::IDeviceEnumerator;
using DeviceEnum::VirtualDevice;

namespace mirror {

// The four host classes as a host compiled against the documented slot
// order sees them: virtual operations only, in that order, after the
// virtual destructor.
struct IDiagnostics {
    virtual ~IDiagnostics() = default;
    virtual void runDiagnostic(VirtualDevice*, const Diag::DiagnosticSettings&) = 0;
    virtual bool isDeviceSupportedByTest(VirtualDevice*, int) = 0;
    virtual Diag::DiagnosticStatus getDiagnosticStatus() = 0;
    virtual void abortDiagnostic() = 0;
    virtual void suspendDiagnostic() = 0;
    virtual void resumeDiagnostic() = 0;
    virtual Diag::DiagnosticEventVector getDiagnosticEvents() = 0;
    virtual Diag::DiagnosticResultVector getDiagnosticResults() = 0;
    virtual const char* getName() = 0;
    virtual const char* getVersion() = 0;
    virtual const char* getDescription() = 0;
};
struct IFunctionalTest {
    virtual ~IFunctionalTest() = default;
    virtual Diag::DiagnosticResult* run(const DeviceEnum::IDevice*, const Diag::DiagnosticSettings&) = 0;
    virtual bool isDeviceSupported(const DeviceEnum::IDevice*, IDeviceEnumerator::DiagnosticMode) = 0;
    virtual Diag::DiagnosticStatus getStatus() const = 0;
    virtual void abortTest() = 0;
    virtual void suspendTest() = 0;
    virtual void resumeTest() = 0;
};
struct IDevice {
    virtual ~IDevice() = default;
    virtual Uint open(DeviceEnum::IDevice::AccessMode) = 0;
    virtual void close() = 0;
    virtual void identifyDevice(int) = 0;
    virtual DeviceEnum::IDevice::DeviceStatus getDeviceStatus() const = 0;
};
struct IDeviceEnumerator {
    virtual ~IDeviceEnumerator() = default;
    virtual DeviceEnum::VirtualDeviceVector* getDeviceVector(const char*, Uint) = 0;
};

}  // namespace mirror

namespace {

// The vtable slot a pointer to a virtual member names (Itanium C++ ABI, as
// GCC and clang use on x86: the pointer holds 1 + the slot's byte offset).
template <typename Member>
long SlotOf(Member member)
{
    struct {
        std::ptrdiff_t ptr;
        std::ptrdiff_t adj;
    } raw;
    static_assert(sizeof member == sizeof raw, "a pointer to member function is two words");
    std::memcpy(&raw, &member, sizeof raw);
    return (raw.ptr & 1) != 0 ? static_cast<long>((raw.ptr - 1) / static_cast<std::ptrdiff_t>(sizeof(void*))) : -1;
}

// A mirror pointer to a real object, as a host that gets its objects from
// another library holds it. The empty asm hides the object's type from the
// optimizer, which would otherwise find no mirror operation in the real
// type's vtable and drop the call. (UBSan's type check, which objects to
// calls through a type the object does not derive from, is off for this file.)
template <typename Mirror, typename Real>
Mirror* AsMirror(Real* real)
{
    void* opaque = real;
    asm volatile("" : "+r"(opaque));
    return static_cast<Mirror*>(opaque);
}

}  // namespace

// Every documented operation sits in the slot the mirror expects: a swapped
// or inserted declaration in a host header moves one of them.
TEST(SlotOrder, EachDocumentedOperationSitsWhereTheMirrorExpectsIt)
{
#define SLOT(Mirror, Real, op) {#op, SlotOf(&mirror::Mirror::op), SlotOf(&Real::op)}
    const struct {
        const char* name;
        long mirror;
        long real;
    } slots[] = {
        SLOT(IDiagnostics, Diag::IDiagnostics, runDiagnostic), SLOT(IDiagnostics, Diag::IDiagnostics, isDeviceSupportedByTest),
        SLOT(IDiagnostics, Diag::IDiagnostics, getDiagnosticStatus), SLOT(IDiagnostics, Diag::IDiagnostics, abortDiagnostic),
        SLOT(IDiagnostics, Diag::IDiagnostics, suspendDiagnostic), SLOT(IDiagnostics, Diag::IDiagnostics, resumeDiagnostic),
        SLOT(IDiagnostics, Diag::IDiagnostics, getDiagnosticEvents), SLOT(IDiagnostics, Diag::IDiagnostics, getDiagnosticResults),
        SLOT(IDiagnostics, Diag::IDiagnostics, getName), SLOT(IDiagnostics, Diag::IDiagnostics, getVersion),
        SLOT(IDiagnostics, Diag::IDiagnostics, getDescription),
        SLOT(IFunctionalTest, ModemLoopbackTest, run), SLOT(IFunctionalTest, ModemLoopbackTest, isDeviceSupported),
        SLOT(IFunctionalTest, ModemLoopbackTest, getStatus), SLOT(IFunctionalTest, ModemLoopbackTest, abortTest),
        SLOT(IFunctionalTest, ModemLoopbackTest, suspendTest), SLOT(IFunctionalTest, ModemLoopbackTest, resumeTest),
        SLOT(IDevice, ModemDevice, open), SLOT(IDevice, ModemDevice, close), SLOT(IDevice, ModemDevice, identifyDevice),
        SLOT(IDevice, ModemDevice, getDeviceStatus), SLOT(IDeviceEnumerator, ModemDeviceEnumerator, getDeviceVector),
    };
#undef SLOT
    for (const auto& slot : slots) {
        EXPECT_NE(-1, slot.mirror) << slot.name;
        EXPECT_EQ(slot.mirror, slot.real) << slot.name;
    }
}

// The mirror's calls reach the real operations of the plug-in's objects.
// A device whose tty is missing makes every test post and return at once.
TEST(SlotOrder, AHostBuiltAgainstTheMirrorReachesTheRealOperations)
{
    testsupport::TempDir dir;
    testsupport::settlePluginLogs(dir.path());
    modemsim::SimulatedRoot root;  // no ttys, no modules, no PCI functions
    root.exportToEnvironment();
    VirtualDevice missing = ModemOn("/dev/ttySM0");
    VirtualDevice noTty = ModemOn("");
    {
        OpenDiagnostic real(true, IDeviceEnumerator::CUSTOMER);
        auto* host = AsMirror<mirror::IDiagnostics>(static_cast<Diag::IDiagnostics*>(&real));
        EXPECT_EQ("Modem Test 1.0 Modem  Controller Test",
                  std::string(host->getName()) + " " + host->getVersion() + " " + host->getDescription());
        EXPECT_TRUE(host->isDeviceSupportedByTest(&missing, 0));
        EXPECT_FALSE(host->isDeviceSupportedByTest(&noTty, 2));
        host->runDiagnostic(&missing, Diag::DiagnosticSettings());
        EXPECT_EQ(Diag::DiagnosticStatus::COMPLETED, host->getDiagnosticStatus().getStatus());
        EXPECT_EQ(3u, host->getDiagnosticResults().size());
        EXPECT_EQ(real.getDiagnosticEvents(), host->getDiagnosticEvents());

        auto* test = AsMirror<mirror::IFunctionalTest>(real.test(ModemDiagnostic::LOOPBACK_TEST));
        std::unique_ptr<Diag::DiagnosticResult> result(test->run(noTty.getDevice(), Diag::DiagnosticSettings()));
        EXPECT_EQ(INVALID_DEVICE_REFERENCE, result->getId());
        EXPECT_TRUE(test->isDeviceSupported(missing.getDevice(), IDeviceEnumerator::BRINGUP));
        EXPECT_EQ(Diag::DiagnosticStatus::COMPLETED, test->getStatus().getStatus());

        auto* device = AsMirror<mirror::IDevice>(missing.getDevice());
        EXPECT_EQ(0u, device->open(DeviceEnum::IDevice::READ_WRITE));
        EXPECT_EQ(DeviceEnum::IDevice::NORMAL, device->getDeviceStatus());
        EXPECT_EQ(DeviceEnum::IDevice::DRIVERS_NOT_INSTALLED,
                  AsMirror<mirror::IDevice>(noTty.getDevice())->getDeviceStatus());
        // The operations whose effect a finished run does not show are
        // reached too; the slot table pins which is which.
        host->suspendDiagnostic(), host->resumeDiagnostic(), host->abortDiagnostic();
        test->suspendTest(), test->resumeTest(), test->abortTest();
        device->identifyDevice(0), device->close();
    }
    ModemDeviceEnumerator real(true, IDeviceEnumerator::CUSTOMER);
    root.addModem(0, 9);
    auto* host = AsMirror<mirror::IDeviceEnumerator>(static_cast<IDeviceEnumerator*>(&real));
    EXPECT_EQ(1u, host->getDeviceVector("", 0)->size());
    unsetenv("MODEMDIAG_SYSROOT");
}
