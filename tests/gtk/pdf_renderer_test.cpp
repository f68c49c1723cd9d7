// The WebKitGTK renderer and the driver report on its sheets on a real X display.
#include <gtest/gtest.h>

#include <array>
#include <regex>
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
    // HTML, target relative to the test folder, time-out, error (the target path is appended to one ending in "to ")
    const std::tuple<std::string, std::string, double, std::string> cases[] = {
        {"<p>x</p>", "missing/out.pdf", 30, "could not write PDF to "},
        {"<p>\xC3</p>", "out.pdf", 30, "report HTML is not valid UTF-8"},
        {"<script>for(;;){}</script>", "out.pdf", 1, "PDF render timed out"},
    };
    for (const auto& [html, target, timeout, expected] : cases) {
        const std::string out = folder_.file(target);
        std::string error;
        EXPECT_FALSE(renderHtmlToPdf(html, out, error, timeout)) << expected;
        EXPECT_EQ(error, expected + (expected.ends_with(" to ") ? out : ""));
        EXPECT_TRUE(folder_.entries().empty()) << expected;
    }
    std::string error;
    EXPECT_TRUE(renderHtmlToPdf("<p>after</p>", folder_.file("after.pdf"), error, 30)) << error;
    EXPECT_EQ(folder_.entries(), std::vector<std::string>{"after.pdf"});
}

// Reports asked for at once render one after another through the same view: each PDF holds its
// own driver and nothing of the report before it, and a report whose page breaks the measurement
// fails alone, leaving no file. A Cyrillic name costs its few letters, not a whole system face.
TEST_F(PdfRenderer, ReportsInARowKeepApart) {
    // driver's surname (empty: a page whose head is gone, so that the sheets cannot be cut)
    const std::string surnames[] = {"Erstfahrer", "", "Zweitfahrer", "Третьяков"};
    std::vector<int> answers(std::size(surnames), -1);
    for (std::size_t i = 0; i < answers.size(); ++i) {
        std::string html = "<!doctype html><script>document.head.remove()</script><div class=page><p>x</p></div>";
        if (!surnames[i].empty()) {
            auto description = gen::randomCard(40 + i, 20, gen::Generation::Gen1);
            description.identity.surname = gen::Text(surnames[i], 80);
            html = report::buildReportHtml(analyzeFiles({folder_.writeCard(surnames[i] + ".ddd", description)}), {"", 0, true});
        }
        renderPdfAsync(html, folder_.file(std::to_string(i) + ".pdf"), [&answers, i](bool ok) { answers[i] = ok; });
    }
    ASSERT_TRUE(test::spinUntil([&] { return livePdfJobs() == 0; }, 60));
    EXPECT_EQ(answers, (std::vector<int>{1, 0, 1, 1}));
    EXPECT_FALSE(std::filesystem::exists(folder_.file("1.pdf")));
    EXPECT_LT(std::filesystem::file_size(folder_.file("3.pdf")), std::filesystem::file_size(folder_.file("0.pdf")) * 3 / 2);
    for (std::size_t i = 0; i < answers.size(); ++i) {
        const std::string text = commandOutput("pdftotext '" + folder_.file(std::to_string(i) + ".pdf") + "' - 2>/dev/null");
        for (const std::string& surname : surnames) {
            if (!surname.empty()) {
                EXPECT_EQ(contains(text, surname), surname == surnames[i]) << i << " " << surname;
            }
        }
    }
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
    for (const char* signature : {"ZUR KENNTNIS GENOMMEN", "Disponent", "Unterschrift"}) EXPECT_TRUE(contains(last, signature)) << signature;
    // The report's own typeface, embedded as a subset, not a system fallback embedded whole.
    const std::string fonts = commandOutput("pdffonts '" + whole + "'");
    EXPECT_TRUE(contains(fonts, "PlusJakartaSans") && !contains(fonts, "DejaVu")) << fonts;
    const CivilTime first = toCivilTime(result.shifts.front().core.start);
    EXPECT_LT(pdfFacts(render(formatMonthKey(first.year, first.month), "month.pdf"))[0], pages);
    // A document with a script is loaded as a page of its own instead of going into the kept one:
    // both ways give the same sheets.
    const std::string html = report::buildReportHtml(result, {"", 0, true});
    std::string error, sheets[2];
    for (const std::string tail : {"", "<script></script>"}) {
        ASSERT_TRUE(renderHtmlToPdf(html + tail, folder_.file("same.pdf"), error, 30)) << error;
        sheets[tail.empty()] = commandOutput("pdftotext -raw '" + folder_.file("same.pdf") + "' -");
    }
    EXPECT_EQ(sheets[0], sheets[1]);

    const std::string broken = folder_.writeText("broken.ddd", std::string(100, '\x76'));
    EXPECT_FALSE(report::berichtPdf({broken}, "", folder_.file("r.pdf"), error, true, renderHtmlToPdf));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(std::filesystem::exists(folder_.file("r.pdf")));
}

}  // namespace
}  // namespace ddd::app
