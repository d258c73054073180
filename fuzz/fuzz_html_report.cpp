// fuzz_html_report.cpp - the run's page over any run diaghost could record, and over any bytes given as a document.
//
// A run's own document always has a page, with one summary row per test,
// and whatever the plug-in, the modem or the log put in a text, every '<'
// of the page opens one of the page's own tags: no text becomes markup.
// Any other bytes give a page or a one-line reason, never a crash.
#include <cstdint>
#include <set>

#include "HostFuzz.h"
#include "HtmlReport.h"

using fuzz::Expect;

namespace {

// Every '<' opens or closes a tag the renderer writes.
bool OnlyOwnTags(const std::string& page)
{
    static const std::set<std::string> kTags = {
        "!DOCTYPE", "html", "head", "meta", "link", "title", "style", "body", "header", "main", "footer",
        "section", "article", "div", "p", "br", "h1", "h2", "h4", "h5", "strong", "b", "span", "code",
        "time", "a", "dl", "dt", "dd", "ul", "ol", "li", "table", "thead", "tbody", "tr", "th", "td"};
    for (std::size_t at = page.find('<'); at != std::string::npos; at = page.find('<', at + 1)) {
        const std::size_t name = at + 1 + (page.compare(at + 1, 1, "/") == 0 ? 1 : 0);
        const std::size_t end = page.find_first_of(" >", name);
        if (end == std::string::npos || kTags.count(page.substr(name, end - name)) == 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 0 && data[0] == '{') {
        // The bytes as a document, as report reads a file.
        std::string page;
        std::string error;
        if (diaghost::htmlReport(std::string(reinterpret_cast<const char*>(data), size), page, error)) {
            Expect(OnlyOwnTags(page));
        } else {
            Expect(!error.empty() && error.find('\n') == std::string::npos);
        }
        return 0;
    }
    FuzzedDataProvider input(data, size);
    hostfuzz::Run run = hostfuzz::MakeRun(input);
    std::size_t rows = 0;
    for (diaghost::DeviceRecord& device : run.devices) {
        for (diaghost::TestRecord& test : device.tests) {
            for (int line = input.ConsumeIntegralInRange(0, 2); line > 0; --line) {
                test.log.push_back(hostfuzz::Text(input));
            }
        }
        rows += device.tests.size() + device.skipped.size() + (device.tests.empty() && device.skipped.empty() ? 1 : 0);
    }
    diaghost::ReportContext context;
    context.machine = {hostfuzz::Text(input), hostfuzz::Text(input), hostfuzz::Text(input), hostfuzz::Text(input),
                       hostfuzz::Text(input)};
    context.started = hostfuzz::Text(input);
    context.noModemReason = hostfuzz::Text(input);
    context.exitStatus = input.ConsumeIntegral<int>();
    const std::string document = diaghost::jsonReport(run.package, run.devices, run.config, context);

    std::string page;
    std::string error;
    Expect(diaghost::htmlReport(document, page, error));
    Expect(OnlyOwnTags(page));
    std::size_t shown = 0;
    for (std::size_t at = page.find("<tr class=\"result "); at != std::string::npos;
         at = page.find("<tr class=\"result ", at + 1)) {
        ++shown;
    }
    Expect(shown == rows);
    return 0;
}
