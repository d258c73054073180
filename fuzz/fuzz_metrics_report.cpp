// fuzz_metrics_report.cpp - diaghost's Prometheus metrics over arbitrary device, test and event texts.
//
// Whatever bytes the plug-in, the modem or the manifest hand over, every
// line must be what the text format's parser accepts: a HELP or TYPE
// comment, or a metric name, labels whose values are UTF-8 with only the
// three escapes the format knows, and a number. Each modem has its info
// series, whose label values give back its texts when they were UTF-8.
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include "HostFuzz.h"

using fuzz::Expect;
using hostfuzz::ValidUtf8;

namespace {

bool NameChar(char c, bool first, bool colon)
{
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || (colon && c == ':');
    return letter || (!first && c >= '0' && c <= '9');
}

// Reads a name at line[at]; false when there is none.
bool ReadName(const std::string& line, std::size_t& at, bool colon, std::string& name)
{
    const std::size_t start = at;
    while (at < line.size() && NameChar(line[at], at == start, colon)) {
        ++at;
    }
    name = line.substr(start, at - start);
    return at > start;
}

// Parses one sample line; labels receive the unescaped values.
bool ParseSample(const std::string& line, std::string& name, std::map<std::string, std::string>& labels)
{
    std::size_t at = 0;
    // Steps over c when it comes next.
    const auto next = [&line, &at](char c) { return at < line.size() && line[at] == c ? (++at, true) : false; };
    if (!ReadName(line, at, true, name)) {
        return false;
    }
    if (next('{')) {
        while (!next('}')) {
            std::string label;
            std::string value;
            if (!ReadName(line, at, false, label) || !next('=') || !next('"')) {
                return false;
            }
            while (at < line.size() && line[at] != '"') {
                if (!next('\\')) {
                    value += line[at++];
                } else if (next('\\') || next('"')) {
                    value += line[at - 1];
                } else if (next('n')) {
                    value += '\n';
                } else {
                    return false;  // an escape the format does not know
                }
            }
            if (!next('"') || !ValidUtf8(value) || !labels.emplace(label, value).second) {
                return false;
            }
            next(',');
        }
    }
    if (!next(' ')) {
        return false;
    }
    const std::string value = line.substr(at);
    char* end = nullptr;
    std::strtod(value.c_str(), &end);
    return !value.empty() && end == value.c_str() + value.size() && value.find(' ') == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const std::size_t modemsFound = input.ConsumeIntegral<std::size_t>();
    const std::int64_t finishedAt = input.ConsumeIntegral<std::int64_t>();
    const hostfuzz::Run run = hostfuzz::MakeRun(input);
    const std::string text = diaghost::metricsReport(run.devices, modemsFound, finishedAt, run.config);

    Expect(!text.empty() && text.back() == '\n');
    std::size_t infos = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        if (line.rfind("# HELP ", 0) == 0 || line.rfind("# TYPE ", 0) == 0) {
            continue;
        }
        std::string name;
        std::map<std::string, std::string> labels;
        Expect(ParseSample(line, name, labels));  // a line the text format accepts
        if (name != "modemdiag_modem_info") {
            continue;
        }
        const diaghost::DeviceRecord& device = run.devices.at(infos++);
        for (const auto& [label, original] : {std::pair<const char*, const std::string&>{"location", device.location},
                                              {"tty", device.tty},
                                              {"firmware", device.fru.firmwareRevision}}) {
            Expect(!ValidUtf8(original) || labels[label] == original);  // a text that came back
        }
        Expect(labels["slot"] == std::to_string(device.slot) &&
               labels["slot_source"] == diaghost::describe(device.slotSource).name);
    }
    Expect(infos == run.devices.size());
    return 0;
}
