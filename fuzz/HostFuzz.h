// HostFuzz.h - what diaghost's fuzz targets share: run records drawn from the input, and the oracles' own reading of UTF-8.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <string>
#include <vector>

#include "Fuzz.h"
#include "PackageConfig.h"
#include "Records.h"
#include "Reports.h"

namespace hostfuzz {

// The length (1 to 4) of the well-formed UTF-8 character at text[at], and
// its code point; 0 when the byte there starts none. Read by the ranges of
// RFC 3629's table, apart from diaghost's own reader.
inline std::size_t Utf8At(const std::string& text, std::size_t at, unsigned long* codePoint)
{
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned lead = byte(at);
    if (lead < 0x80) {
        *codePoint = lead;
        return 1;
    }
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    if (lead < 0xC2 || lead > 0xF4 || at + length > text.size()) {
        return 0;
    }
    // The second byte's range depends on the lead: no overlong form, no
    // surrogate, nothing past U+10FFFF.
    const unsigned low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const unsigned high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    unsigned long value = lead & (0x7Fu >> length);
    for (std::size_t k = 1; k < length; ++k) {
        const unsigned next = byte(at + k);
        if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) {
            return 0;
        }
        value = value << 6 | (next & 0x3F);
    }
    *codePoint = value;
    return length;
}

inline bool ValidUtf8(const std::string& text)
{
    unsigned long codePoint = 0;
    for (std::size_t at = 0, length = 0; at < text.size(); at += length) {
        if ((length = Utf8At(text, at, &codePoint)) == 0) {
            return false;
        }
    }
    return true;
}

// Any bytes: what the plug-in, the modem or the manifest may put in a text.
inline std::string Text(FuzzedDataProvider& input)
{
    return input.ConsumeRandomLengthString(48);
}

inline QuarnDiags::Uint Code(FuzzedDataProvider& input)
{
    // Mostly the plug-in's own codes, sometimes any value.
    return input.ConsumeBool() ? input.ConsumeIntegralInRange<QuarnDiags::Uint>(0, 112)
                               : input.ConsumeIntegral<QuarnDiags::Uint>();
}

struct Run {
    diaghost::PackageIdentity package;
    diaghost::PackageConfig config;
    std::vector<diaghost::DeviceRecord> devices;
};

inline Run MakeRun(FuzzedDataProvider& input)
{
    Run run;
    run.package = {Text(input), Text(input), Text(input)};
    for (int i = input.ConsumeIntegralInRange(0, 4); i > 0; --i) {
        run.config.messages[Code(input)] = {Text(input), Text(input)};
    }
    for (int d = input.ConsumeIntegralInRange(0, 3); d > 0; --d) {
        diaghost::DeviceRecord device;
        device.index = input.ConsumeIntegral<int>();
        device.name = Text(input);
        device.location = Text(input);
        device.tty = Text(input);
        device.slot = input.ConsumeIntegral<int>();
        // From the slot's bits, so that the seeds keep their meaning.
        device.slotSource = static_cast<diaghost::SlotSource>(static_cast<unsigned>(device.slot) % 4);
        device.status = Text(input);
        device.fru = {Text(input), Text(input), Text(input), Text(input),
                      Text(input), Text(input), Text(input), Text(input)};
        for (int t = input.ConsumeIntegralInRange(0, 3); t > 0; --t) {
            diaghost::TestRecord test;
            test.index = input.ConsumeIntegral<int>();
            test.name = Text(input);
            test.verdict = static_cast<QuarnDiags::Diag::TestResult>(input.ConsumeIntegralInRange(0, 2));
            test.code = Code(input);
            test.type = static_cast<QuarnDiags::Diag::EventType>(input.ConsumeIntegralInRange(0, 2));
            test.progress = input.ConsumeIntegral<QuarnDiags::Uint>();
            test.seconds = input.ConsumeFloatingPoint<double>();
            for (int e = input.ConsumeIntegralInRange(0, 3); e > 0; --e) {
                test.events.push_back(
                    {Code(input), static_cast<QuarnDiags::Diag::EventType>(input.ConsumeIntegralInRange(0, 2))});
            }
            device.tests.push_back(test);
        }
        if (input.ConsumeBool()) {
            device.skipped.push_back({Text(input), Text(input)});
        }
        run.devices.push_back(device);
    }
    return run;
}

}  // namespace hostfuzz
