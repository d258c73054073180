// HostRecords.h - diaghost's run records and manifest texts drawn from fuzz input.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <string>
#include <vector>

#include "PackageConfig.h"
#include "Records.h"
#include "Reports.h"

namespace hostrecords {

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

}  // namespace hostrecords
