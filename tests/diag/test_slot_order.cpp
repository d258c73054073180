// The host classes' virtual slot order, against the documented order a host is compiled with.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <utility>

#include "DiagHarness.h"
#include "ModemDeviceEnumerator.h"
#include "ModemLoopbackTest.h"

using namespace diagtest;

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

// Each host class's documented virtual operations, in the documented order:
// after the two slots of the virtual destructor the first sits in slot 2,
// the next in 3, and so on. A swapped or inserted declaration in a host
// header moves one of them, and a host's calls would reach another operation.
TEST(SlotOrder, EachDocumentedOperationSitsInItsSlot)
{
#define SLOT(Real, op) std::make_pair(#op, SlotOf(&Real::op))
    const std::vector<std::vector<std::pair<const char*, long>>> classes = {
        {SLOT(Diag::IDiagnostics, runDiagnostic), SLOT(Diag::IDiagnostics, isDeviceSupportedByTest),
         SLOT(Diag::IDiagnostics, getDiagnosticStatus), SLOT(Diag::IDiagnostics, abortDiagnostic),
         SLOT(Diag::IDiagnostics, suspendDiagnostic), SLOT(Diag::IDiagnostics, resumeDiagnostic),
         SLOT(Diag::IDiagnostics, getDiagnosticEvents), SLOT(Diag::IDiagnostics, getDiagnosticResults),
         SLOT(Diag::IDiagnostics, getName), SLOT(Diag::IDiagnostics, getVersion), SLOT(Diag::IDiagnostics, getDescription)},
        {SLOT(ModemLoopbackTest, run), SLOT(ModemLoopbackTest, isDeviceSupported), SLOT(ModemLoopbackTest, getStatus),
         SLOT(ModemLoopbackTest, abortTest), SLOT(ModemLoopbackTest, suspendTest), SLOT(ModemLoopbackTest, resumeTest)},
        {SLOT(ModemDevice, open), SLOT(ModemDevice, close), SLOT(ModemDevice, identifyDevice),
         SLOT(ModemDevice, getDeviceStatus)},
        {SLOT(ModemDeviceEnumerator, getDeviceVector)},
    };
#undef SLOT
    for (const auto& operations : classes) {
        for (std::size_t i = 0; i < operations.size(); ++i) {
            EXPECT_EQ(static_cast<long>(2 + i), operations[i].second) << operations[i].first;
        }
    }
}
