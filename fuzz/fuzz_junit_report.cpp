// fuzz_junit_report.cpp - diaghost's JUnit XML over arbitrary device, test and event texts.
//
// Whatever bytes the plug-in, the modem or the manifest hand over, the
// report must be well-formed XML (libxml2 parses it, strictly, without
// recovering) with one <testsuite> per modem and one <testcase> per test.
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstdint>
#include <cstring>

#include "HostRecords.h"

namespace {

int CountElements(xmlNode* node, const char* name)
{
    int count = 0;
    for (; node != nullptr; node = node->next) {
        if (node->type == XML_ELEMENT_NODE && std::strcmp(reinterpret_cast<const char*>(node->name), name) == 0) {
            ++count;
        }
        count += CountElements(node->children, name);
    }
    return count;
}

// libxml2 reports parse errors on stderr; the verdict is the result alone.
void Quiet(void*, const char*, ...) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool quiet = [] {
        xmlSetGenericErrorFunc(nullptr, Quiet);
        return true;
    }();
    (void)quiet;
    FuzzedDataProvider input(data, size);
    const hostrecords::Run run = hostrecords::MakeRun(input);
    const std::string report = diaghost::junitReport(run.package, run.devices, run.config);

    xmlDoc* doc = xmlReadMemory(report.data(), static_cast<int>(report.size()), "junit.xml", nullptr,
                                XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (doc == nullptr) {
        __builtin_trap();  // not well-formed
    }
    std::size_t cases = 0;
    for (const diaghost::DeviceRecord& device : run.devices) {
        cases += device.tests.size() + device.skipped.size();
    }
    xmlNode* root = xmlDocGetRootElement(doc);
    if (CountElements(root, "testsuite") != static_cast<int>(run.devices.size()) ||
        CountElements(root, "testcase") != static_cast<int>(cases)) {
        __builtin_trap();
    }
    xmlFreeDoc(doc);
    return 0;
}
