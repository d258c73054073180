// The host classes' virtual slot order, seen by a host built against a mirror of the documented order.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "DiagHarness.h"
#include "ModemDeviceEnumerator.h"
#include "ModemLoopbackTest.h"

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
