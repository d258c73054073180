// The demo run's page in a real browser (headless Chromium): every test row with its outcome, a desktop's and a
// phone's width with nothing cut, and a printed A4 PDF.
#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <regex>

#include "HostProcess.h"
#include "TestSupport.h"

using nlohmann::json;

namespace {

std::string shellWord(const std::string& text)
{
    return "'" + text + "'";
}

// Headless Chromium on a file of the test's folder, with a profile of its
// own; what it prints on standard output (the DOM with --dump-dom).
class Browser {
public:
    explicit Browser(const testsupport::TempDir& dir) : m_dir(dir)
    {
        m_program = testsupport::runCommand("command -v chromium || command -v chromium-browser");
        m_program = m_program.substr(0, m_program.find('\n'));
    }
    bool installed() const { return !m_program.empty(); }

    std::string run(const std::string& options, const std::string& file, int* status = nullptr)
    {
        const std::string profile = m_dir.file("profile-" + std::to_string(m_runs++));
        return testsupport::runCommand(
            "timeout 120 " + shellWord(m_program) +
                " --headless --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking"
                " --disable-component-update --disable-sync --hide-scrollbars --user-data-dir=" +
                shellWord(profile) + " " + options + " " + shellWord("file://" + m_dir.file(file)) + " 2>/dev/null",
            status);
    }

private:
    const testsupport::TempDir& m_dir;
    std::string m_program;
    int m_runs = 0;
};

// A PNG's width, from its IHDR chunk; 0 for a file that is no PNG.
unsigned pngWidth(const std::string& png)
{
    if (png.size() < 24 || png.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0 || png.compare(12, 4, "IHDR") != 0) {
        return 0;
    }
    unsigned width = 0;
    for (int i = 16; i < 20; ++i) {
        width = width << 8 | static_cast<unsigned char>(png[static_cast<std::size_t>(i)]);
    }
    return width;
}

// The page in a frame of the given width, measured by a script of the test's
// own (the page has none): the frame's layout width, how wide its document
// is, and the elements that reach past its edges.
std::string probe(unsigned width)
{
    return R"(<!DOCTYPE html><html><body style="margin:0">
<iframe id="page" src="page.html" style="border:0;width:)" +
           std::to_string(width) + R"(px;height:3000px"></iframe>
<script>
document.getElementById('page').addEventListener('load', function () {
  var doc = this.contentDocument, width = doc.documentElement.clientWidth, cut = [];
  doc.querySelectorAll('body *').forEach(function (e) {
    var box = e.getBoundingClientRect();
    if (box.right > width + 0.5 || box.left < -0.5) cut.push(e.tagName + '.' + e.className);
  });
  var p = document.createElement('p');
  p.id = 'probe';
  p.textContent = width + ' ' + doc.documentElement.scrollWidth + ' ' + cut.length + ' ' + cut.slice(0, 5).join(' ');
  document.body.appendChild(p);
});
</script></body></html>
)";
}

}  // namespace

TEST(HostPage, DemoPageShowsEveryTestFitsAPhoneAndPrintsOnA4)
{
    testsupport::TempDir dir;
    Browser browser(dir);
    if (!browser.installed()) {
        GTEST_SKIP() << "no chromium to show the page in (scripts/test installs Debian's chromium)";
    }
    const hosttest::Finished ran =
        hosttest::runHost({"--simulate", "run", "-q", "--html", dir.file("page.html"), "--json-file", dir.file("run.json")},
                          {"TMPDIR=" + dir.path(), "XDG_STATE_HOME=" + dir.file("state")});
    ASSERT_EQ(2, ran.status) << ran.err;

    // Every test of the document, as the browser reads the rows: modem and
    // test, its outcome's class and its word.
    const json document = json::parse(testsupport::readFile(dir.file("run.json")));
    std::map<std::string, std::string> expected;
    for (const json& device : document.at("devices")) {
        const std::string modem = device.at("index").dump() + " ";
        for (const json& test : device.at("tests")) {
            expected[modem + test.at("name").get<std::string>()] = test.at("outcome").get<std::string>();
        }
        for (const json& test : device.at("skipped")) {
            expected[modem + test.at("name").get<std::string>()] = "not-run";
        }
    }
    ASSERT_EQ(9u, expected.size());
    const std::string dom = browser.run("--window-size=1280,2000 --dump-dom", "page.html");
    const std::regex row("<tr class=\"result ([a-z-]+)\" data-modem=\"(\\d+)\" data-test=\"([a-z]+)\" "
                         "[^>]*>.*?<span class=\"badge\">([A-Z ]+)</span>");
    const std::map<std::string, std::string> labels = {{"passed", "PASSED"}, {"unusual", "UNUSUAL"}, {"failed", "FAILED"},
                                                       {"aborted", "ABORTED"}, {"not-run", "NOT RUN"}};
    std::map<std::string, std::string> shown;
    for (auto at = std::sregex_iterator(dom.begin(), dom.end(), row); at != std::sregex_iterator(); ++at) {
        const std::smatch& match = *at;
        shown[match[2].str() + " " + match[3].str()] = match[1];
        EXPECT_EQ(labels.at(match[1]), match[4].str()) << match.str();
    }
    EXPECT_EQ(expected, shown) << dom;

    // Nothing wider than the window, at a desktop's width or a phone's:
    // tables become blocks, long texts wrap.
    for (const unsigned width : {1280u, 400u}) {
        testsupport::writeFile(dir.file("probe.html"), probe(width));
        const std::string probed =
            browser.run("--window-size=1400,1000 --allow-file-access-from-files --dump-dom", "probe.html");
        std::smatch measured;
        ASSERT_TRUE(std::regex_search(probed, measured, std::regex("<p id=\"probe\">(\\d+) (\\d+) (\\d+) ?([^<]*)</p>")))
            << probed;
        EXPECT_EQ(std::to_string(width), measured[1].str());
        EXPECT_LE(std::stoul(measured[2]), width) << "the document is wider than " << width << " px";
        EXPECT_EQ("0", measured[3].str()) << "elements past the edge at " << width << " px: " << measured[4];

        // The screenshot of that width, as a person sees it.
        const std::string shot = dir.file("page-" + std::to_string(width) + ".png");
        browser.run("--window-size=" + std::to_string(width) + ",1600 --screenshot=" + shellWord(shot), "page.html");
        EXPECT_EQ(width, pngWidth(testsupport::readFile(shot))) << shot;
    }

    // Printed: a PDF of A4 pages.
    int status = -1;
    browser.run("--no-pdf-header-footer --print-to-pdf=" + shellWord(dir.file("page.pdf")), "page.html", &status);
    EXPECT_EQ(0, status);
    const std::string pdf = testsupport::readFile(dir.file("page.pdf"));
    ASSERT_EQ(0u, pdf.rfind("%PDF-", 0)) << pdf.substr(0, 16);
    const std::regex page("/Type\\s*/Page\\b");
    EXPECT_GE(std::distance(std::sregex_iterator(pdf.begin(), pdf.end(), page), std::sregex_iterator()), 2);
    const std::string info = testsupport::runCommand("command -v pdfinfo >/dev/null && pdfinfo " +
                                                     shellWord(dir.file("page.pdf")));
    if (!info.empty()) {  // poppler-utils, where installed
        EXPECT_TRUE(std::regex_search(info, std::regex("\nPages: +[2-9]"))) << info;
        EXPECT_NE(std::string::npos, info.find("(A4)")) << info;
    }
}
