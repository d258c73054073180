// fuzz_junit_report.cpp - diaghost's JUnit XML over arbitrary device, test and event texts.
//
// Whatever bytes the plug-in, the modem or the manifest hand over, the
// report must be well-formed XML (libxml2 parses it, strictly, without
// recovering) with one <testsuite> per modem and one <testcase> per test,
// and every text must read back as written, after the replacements the
// writer promises: each byte of a malformed UTF-8 sequence, U+FFFE, U+FFFF
// and each control character but tab, line feed and carriage return become
// "?".
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "HostFuzz.h"

using fuzz::Expect;

namespace {

// The length of the well-formed UTF-8 character at text[at] that XML
// allows, 0 for anything else.
std::size_t Character(const std::string& text, std::size_t at)
{
    unsigned long value = 0;
    const std::size_t length = hostfuzz::Utf8At(text, at, &value);
    const bool allowed = (value >= 0x20 || value == '\t' || value == '\n' || value == '\r') && value != 0xFFFE &&
                         value != 0xFFFF;
    return allowed ? length : 0;
}

std::string Replaced(const std::string& text)
{
    std::string replaced;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = Character(text, at);
        replaced += length == 0 ? std::string("?") : text.substr(at, length);
        at += length == 0 ? 1 : length;
    }
    return replaced;
}

std::vector<xmlNode*> Children(xmlNode* parent, const char* name)
{
    std::vector<xmlNode*> found;
    for (xmlNode* node = parent != nullptr ? parent->children : nullptr; node != nullptr; node = node->next) {
        if (node->type == XML_ELEMENT_NODE && std::strcmp(reinterpret_cast<const char*>(node->name), name) == 0) {
            found.push_back(node);
        }
    }
    return found;
}

std::string Attribute(xmlNode* node, const char* name)
{
    xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    Expect(value != nullptr);
    const std::string text(reinterpret_cast<const char*>(value));
    xmlFree(value);
    return text;
}

std::string Content(xmlNode* node)
{
    xmlChar* value = xmlNodeGetContent(node);
    const std::string text(value != nullptr ? reinterpret_cast<const char*>(value) : "");
    xmlFree(value);
    return text;
}

void CheckSuite(xmlNode* suite, const diaghost::DeviceRecord& device, const diaghost::PackageConfig& config)
{
    std::vector<xmlNode*> properties = Children(suite, "properties");
    Expect(properties.size() == 1);
    std::vector<xmlNode*> property = Children(properties[0], "property");
    Expect(property.size() == 5);
    Expect(Attribute(property[0], "value") == Replaced(device.location));
    Expect(Attribute(property[2], "value") == diaghost::describe(device.slotSource).name);
    Expect(Attribute(property[3], "value") == Replaced(device.status));
    Expect(Attribute(property[4], "value") == Replaced(device.fru.firmwareRevision));
    Expect(Attribute(suite, "name").find(Replaced(device.location)) != std::string::npos);

    const std::vector<xmlNode*> cases = Children(suite, "testcase");
    Expect(cases.size() == device.tests.size() + device.skipped.size());
    for (std::size_t t = 0; t < device.tests.size(); ++t) {
        const diaghost::TestRecord& test = device.tests[t];
        Expect(Attribute(cases[t], "name") == Replaced(test.name));
        // The result's message names the code and gives its text.
        const std::string message = config.codeName(test.code) + ": " + config.codeText(test.code);
        for (const char* result : {"failure", "error", "skipped"}) {
            for (xmlNode* node : Children(cases[t], result)) {
                Expect(Attribute(node, "message") == Replaced(message));
            }
        }
        const std::vector<xmlNode*> out = Children(cases[t], "system-out");
        Expect(out.size() == 1);
        const std::string shown = Content(out[0]);
        for (const diaghost::EventRecord& event : test.events) {
            Expect(shown.find(Replaced(config.codeName(event.code) + ": " + config.codeText(event.code) + "\n")) !=
                   std::string::npos);
        }
    }
    for (std::size_t s = 0; s < device.skipped.size(); ++s) {
        xmlNode* node = cases[device.tests.size() + s];
        Expect(Attribute(node, "name") == Replaced(device.skipped[s].name));
        const std::vector<xmlNode*> skipped = Children(node, "skipped");
        Expect(skipped.size() == 1 && Attribute(skipped[0], "message") == Replaced(device.skipped[s].reason));
    }
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
    const hostfuzz::Run run = hostfuzz::MakeRun(input);
    const std::string report = diaghost::junitReport(run.package, run.devices, run.config, diaghost::ReportContext());

    xmlDoc* doc = xmlReadMemory(report.data(), static_cast<int>(report.size()), "junit.xml", nullptr,
                                XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    Expect(doc != nullptr);  // well-formed
    xmlNode* root = xmlDocGetRootElement(doc);
    Expect(Attribute(root, "name") == Replaced(run.package.name + " " + run.package.version));
    const std::vector<xmlNode*> suites = Children(root, "testsuite");
    Expect(suites.size() == run.devices.size());
    for (std::size_t d = 0; d < suites.size(); ++d) {
        CheckSuite(suites[d], run.devices[d], run.config);
    }
    xmlFreeDoc(doc);
    return 0;
}
