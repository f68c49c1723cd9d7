// The WebKitGTK renderer, the driver report on its sheets and the diagnostic mode on a real X display.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <regex>
#include <thread>
#include <tuple>

#include "analysis/pipeline.h"
#include "app/gtk/pdf_renderer.h"
#include "core/primitives.h"
#include "report/driver_report.h"
#include "tests/gtk/main_loop.h"
#include "tests/support/temp_folder.h"

namespace ddd::app {
namespace {

using test::commandOutput;
using test::contains;

// Pages, width and height in points of a PDF file.
std::array<double, 3> pdfFacts(const std::string& path) {
    const std::string info = commandOutput("pdfinfo '" + path + "' 2>/dev/null");
    std::smatch pages, size;
    if (!std::regex_search(info, pages, std::regex("Pages:\\s+(\\d+)")) ||
        !std::regex_search(info, size, std::regex("Page size:\\s+([0-9.]+) x ([0-9.]+) pts"))) {
        return {0, 0, 0};
    }
    return {std::stod(pages[1]), std::stod(size[1]), std::stod(size[2])};
}

std::string pageText(const std::string& path, int page, const char* mode = "-layout") {
    return commandOutput("pdftotext " + std::string(mode) + " -f " + std::to_string(page) + " -l " + std::to_string(page) + " '" + path + "' - 2>/dev/null");
}

constexpr double kA4Width = 595, kA4Height = 842;

class PdfRenderer : public testing::Test {
protected:
    test::TempFolder folder_;
};

// A4 portrait pages: a layout 820 pixels wide fills the page's width; a document without a report
// frame is paginated by the engine.
TEST_F(PdfRenderer, A4PortraitPages) {
    const std::pair<std::string, double> cases[] = {
        {"<!doctype html><body style=\"margin:0\"><div style=\"height:2400px\"></div>", 3},
        {"<!doctype html><body style=\"margin:0\"><div style=\"width:820px;display:flex;justify-content:space-between\">"
         "<span>LEFTEDGE</span><span>RIGHTEDGE</span></div>", 1},
    };
    for (const auto& [html, pages] : cases) {
        const std::string out = folder_.file("page.pdf");
        std::string error;
        ASSERT_TRUE(renderHtmlToPdf(html, out, error, 30)) << error;
        EXPECT_EQ(pdfFacts(out), (std::array<double, 3>{pages, kA4Width, kA4Height})) << html;
    }
    const std::string ruler = commandOutput("pdftotext -bbox '" + folder_.file("page.pdf") + "' - 2>/dev/null");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(ruler, m, std::regex("xMin=\"([0-9.]+)\"[^>]*>LEFTEDGE")));
    EXPECT_LT(std::stod(m[1]), 2.0);
    ASSERT_TRUE(std::regex_search(ruler, m, std::regex("xMax=\"([0-9.]+)\"[^>]*>RIGHTEDGE")));
    EXPECT_GT(std::stod(m[1]), kA4Width - 5);
    EXPECT_LE(std::stod(m[1]), kA4Width + 1);
}

// A render that fails says why and leaves no file; the renderer works again after a time-out.
TEST_F(PdfRenderer, FailsWithReasonAndLeavesNoFile) {
    struct Case {
        std::string html;
        std::string target;  // relative to the test folder
        double timeout;
        std::string error;   // the target path is appended when it ends with "to "
    };
    const Case cases[] = {
        {"<p>x</p>", "missing/out.pdf", 30, "could not write PDF to "},
        {"<p>\xC3</p>", "out.pdf", 30, "report HTML is not valid UTF-8"},
        {"<script>for(;;){}</script>", "out.pdf", 1, "PDF render timed out"},
    };
    for (const Case& c : cases) {
        const std::string out = folder_.file(c.target);
        std::string error;
        EXPECT_FALSE(renderHtmlToPdf(c.html, out, error, c.timeout)) << c.error;
        EXPECT_EQ(error, c.error + (c.error.ends_with(" to ") ? out : ""));
        EXPECT_TRUE(folder_.entries().empty()) << c.error;
    }
    std::string error;
    bool ok = true;
    std::thread([&] { ok = renderHtmlToPdf("<p>x</p>", folder_.file("out.pdf"), error, 30); }).join();
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, "renderHtmlToPdf must be called on the main thread");
    EXPECT_TRUE(renderHtmlToPdf("<p>after</p>", folder_.file("after.pdf"), error, 30)) << error;
    EXPECT_EQ(folder_.entries(), std::vector<std::string>{"after.pdf"});
}

// Two years on numbered A4 sheets: every shift row once and whole, the table header on every
// sheet that holds shift rows, the signature block at the end, the text extractable as written
// (no "ff" ligature lost, no hyphen turned into a minus sign); a refused analysis writes nothing.
TEST_F(PdfRenderer, DriverReportOnNumberedSheets) {
    auto description = gen::randomCard(31, 730, gen::Generation::Gen1);
    description.identity.surname = "Treffer 6140-KGV";
    const std::string file = folder_.writeCard("driver.ddd", description);
    const AnalysisResult result = analyzeFiles({file});
    ASSERT_TRUE(result.ok);
    const auto render = [&](const std::string& month, const std::string& name) {
        std::string error;
        EXPECT_TRUE(report::berichtPdf({file}, month, folder_.file(name), error, true, renderHtmlToPdf)) << error;
        return folder_.file(name);
    };
    const std::string whole = render("", "whole.pdf");
    const auto facts = pdfFacts(whole);
    const int pages = static_cast<int>(facts[0]);
    ASSERT_GE(pages, 10);
    EXPECT_EQ(facts[1], kA4Width);
    EXPECT_EQ(facts[2], kA4Height);
    const std::regex shiftRow("(^|\\n)\\s*(Mo|Di|Mi|Do|Fr|Sa|So) \\d\\d\\.\\d\\d\\.\\d{4} ");
    std::size_t rows = 0;
    for (int page = 1; page <= pages; ++page) {
        const std::string text = pageText(whole, page);
        EXPECT_TRUE(contains(text, "Seite " + std::to_string(page) + " von " + std::to_string(pages))) << text;
        // The running head in the order it was drawn: the layout would merge it with the line below.
        EXPECT_TRUE(contains(pageText(whole, page, "-raw"), "Fahrer: " + result.driver + " · Karte: " + result.card)) << page;
        const auto onPage = std::distance(std::sregex_iterator(text.begin(), text.end(), shiftRow), std::sregex_iterator());
        EXPECT_TRUE(onPage == 0 || contains(text, "DATUM")) << "page " << page;
        rows += static_cast<std::size_t>(onPage);
    }
    EXPECT_EQ(rows, result.shifts.size());
    std::int64_t drive = 0;
    for (const auto& s : result.shifts) drive += s.core.drive;
    const std::string text = commandOutput("pdftotext -layout '" + whole + "' - 2>/dev/null");
    EXPECT_TRUE(contains(text, "Tätigkeiten") && contains(text, formatDurationSeconds(drive)) &&
                contains(text, "Summe (" + std::to_string(result.shifts.size()) + " Schichten)"));
    const std::string last = pageText(whole, pages);
    for (const char* signature : {"ZUR KENNTNIS GENOMMEN", "Fahrer", "Disponent", "Datum", "Unterschrift"}) {
        EXPECT_TRUE(contains(last, signature)) << signature;
    }
    // The report's own typeface, embedded as a subset, not a system fallback embedded whole.
    const std::string fonts = commandOutput("pdffonts '" + whole + "'");
    EXPECT_TRUE(contains(fonts, "PlusJakartaSans") && !contains(fonts, "DejaVu")) << fonts;
    const CivilTime first = toCivilTime(result.shifts.front().core.start);
    EXPECT_LT(pdfFacts(render(formatMonthKey(first.year, first.month), "month.pdf"))[0], pages);

    const std::string broken = folder_.writeText("broken.ddd", std::string(100, '\x76'));
    std::string error;
    EXPECT_FALSE(report::berichtPdf({broken}, "", folder_.file("r.pdf"), error, true, renderHtmlToPdf));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(std::filesystem::exists(folder_.file("r.pdf")));
}

// The real program's diagnostic mode: with a display it renders the report; without one the CSV
// set is still written and the PDF step names the missing graphical session. The private folder
// is gone afterwards either way.
TEST_F(PdfRenderer, DiagnosticModeWithAndWithoutDisplay) {
    const std::tuple<const char*, int, const char*> cases[] = {
        {"", 0, "DIAG: diag berichtPdf: ok=1 err=\n"},
        {"env -u DISPLAY -u WAYLAND_DISPLAY ", 1, "DIAG: diag berichtPdf: ok=0 err=PDF rendering needs a graphical session"},
    };
    for (const auto& [prefix, exitCode, pdfLine] : cases) {
        const std::string log = folder_.file("log.txt");
        const int status = std::system((std::string(prefix) + ("'" DDD_APP_PATH "' --diag '" DDD_DEMO_PATH "' 2>'") + log + "'").c_str());
        const std::string text = test::readFile(log);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), exitCode) << text;
        EXPECT_TRUE(contains(text, "DIAG: diag CSV: ok=1 written=") && contains(text, pdfLine)) << text;
        std::smatch folder;
        ASSERT_TRUE(std::regex_search(text, folder, std::regex("writing into (\\S+)\n")));
        EXPECT_FALSE(std::filesystem::exists(folder[1].str()));
    }
}

}  // namespace
}  // namespace ddd::app
