// The WebKitGTK renderers and the diagnostic mode on a real X display.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <regex>
#include <thread>

#include <gtk/gtk.h>

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

struct PdfFacts {
    int pages = 0;
    double width = 0;
    double height = 0;
};

PdfFacts pdfFacts(const std::string& path) {
    const std::string info = commandOutput("pdfinfo '" + path + "' 2>/dev/null");
    PdfFacts facts;
    std::smatch m;
    if (std::regex_search(info, m, std::regex("Pages:\\s+(\\d+)"))) facts.pages = std::stoi(m[1]);
    if (std::regex_search(info, m, std::regex("Page size:\\s+([0-9.]+) x ([0-9.]+) pts"))) {
        facts.width = std::stod(m[1]);
        facts.height = std::stod(m[2]);
    }
    return facts;
}

std::string pdfText(const std::string& path) { return commandOutput("pdftotext -layout '" + path + "' - 2>/dev/null"); }

class PdfRenderer : public testing::Test {
protected:
    test::TempFolder folder_;
};

std::string pageText(const std::string& path, int page) {
    return commandOutput("pdftotext -layout -f " + std::to_string(page) + " -l " + std::to_string(page) + " '" + path +
                         "' - 2>/dev/null");
}

constexpr double kA4Width = 595, kA4Height = 842;

// A4 portrait pages; a document without a report frame is paginated by the engine.
TEST_F(PdfRenderer, A4PortraitPages) {
    const std::pair<std::string, int> cases[] = {
        {"<!doctype html><html><body style=\"margin:0\"></body></html>", 1},
        {"<!doctype html><body style=\"margin:0\"><div style=\"height:2400px\"></div>", 3},
    };
    for (const auto& [html, pages] : cases) {
        const std::string out = folder_.file("page.pdf");
        std::string error;
        ASSERT_TRUE(renderHtmlToPdf(html, out, error, 30)) << error;
        const PdfFacts facts = pdfFacts(out);
        EXPECT_EQ(facts.pages, pages) << html;
        EXPECT_EQ(facts.width, kA4Width);
        EXPECT_EQ(facts.height, kA4Height);
    }
}

TEST_F(PdfRenderer, LayoutOf820PixelsFillsThePageWidth) {
    const std::string out = folder_.file("ruler.pdf");
    std::string error;
    ASSERT_TRUE(renderHtmlToPdf("<!doctype html><body style=\"margin:0\"><div style=\"width:820px;display:flex;"
                                "justify-content:space-between\"><span>LEFTEDGE</span><span>RIGHTEDGE</span></div>",
                                out, error, 30))
        << error;
    const std::string boxes = commandOutput("pdftotext -bbox '" + out + "' - 2>/dev/null");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(boxes, m, std::regex("xMin=\"([0-9.]+)\"[^>]*>LEFTEDGE")));
    EXPECT_LT(std::stod(m[1]), 2.0);
    ASSERT_TRUE(std::regex_search(boxes, m, std::regex("xMax=\"([0-9.]+)\"[^>]*>RIGHTEDGE")));
    EXPECT_GT(std::stod(m[1]), kA4Width - 5);
    EXPECT_LE(std::stod(m[1]), kA4Width + 1);
}

TEST_F(PdfRenderer, FailsWithReasonAndLeavesNoFile) {
    struct Case {
        const char* name;
        std::string html;
        std::string target;  // relative to the test folder
        double timeout;
        std::string error;   // the target path is appended when it ends with "to "
    };
    const Case cases[] = {
        {"missing folder", "<p>x</p>", "missing/out.pdf", 30, "could not write PDF to "},
        {"invalid UTF-8", "<p>\xC3</p>", "out.pdf", 30, "report HTML is not valid UTF-8"},
        {"never finishes loading", "<script>for(;;){}</script>", "out.pdf", 2, "PDF render timed out"},
    };
    for (const Case& c : cases) {
        const std::string out = folder_.file(c.target);
        std::string error;
        EXPECT_FALSE(renderHtmlToPdf(c.html, out, error, c.timeout)) << c.name;
        EXPECT_EQ(error, c.error + (c.error.ends_with(" to ") ? out : "")) << c.name;
        EXPECT_TRUE(folder_.entries().empty()) << c.name;
    }
}

TEST_F(PdfRenderer, RendersAgainAfterATimeOut) {
    std::string error;
    ASSERT_FALSE(renderHtmlToPdf("<script>for(;;){}</script>", folder_.file("hung.pdf"), error, 1));
    EXPECT_TRUE(renderHtmlToPdf("<p>after</p>", folder_.file("after.pdf"), error, 30)) << error;
    EXPECT_EQ(folder_.entries(), std::vector<std::string>{"after.pdf"});
}

TEST_F(PdfRenderer, RefusesOtherThreads) {
    std::string error;
    bool ok = true;
    std::thread([&] { ok = renderHtmlToPdf("<p>x</p>", folder_.file("out.pdf"), error, 30); }).join();
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, "renderHtmlToPdf must be called on the main thread");
    EXPECT_TRUE(folder_.entries().empty());
}

// Runs the main loop until `flag` is set or ten seconds have passed.
void waitFor(const bool& flag) {
    const gint64 deadline = g_get_monotonic_time() + 10 * G_USEC_PER_SEC;
    while (!flag && g_get_monotonic_time() < deadline) g_main_context_iteration(nullptr, FALSE), g_usleep(1000);
}

TEST_F(PdfRenderer, AsynchronousCallsBackOnceAndForgetsTheJob) {
    int calls = 0;
    bool result = false, called = false;
    renderPdfAsync("<!doctype html><body style=\"margin:0\"></body>", folder_.file("a.pdf"), [&](bool ok) {
        ++calls;
        result = ok;
        called = true;
    });
    EXPECT_EQ(livePdfJobs(), 1u);
    waitFor(called);
    for (int i = 0; i < 20; ++i) g_main_context_iteration(nullptr, FALSE);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(result);
    EXPECT_EQ(livePdfJobs(), 0u);
    const PdfFacts facts = pdfFacts(folder_.file("a.pdf"));
    EXPECT_EQ(facts.pages, 1);
    EXPECT_EQ(facts.height, kA4Height);
}

class DriverReportPdf : public PdfRenderer {
protected:
    std::string card(gen::CardDescription description) { return folder_.writeCard("driver.ddd", description); }
    std::string render(const std::string& file, const std::string& month, const std::string& name) {
        std::string error;
        EXPECT_TRUE(report::berichtPdf({file}, month, folder_.file(name), error, true, renderHtmlToPdf)) << error;
        return folder_.file(name);
    }
};

// Two years on numbered A4 sheets: every shift row once and whole, the table header on every
// sheet that holds shift rows, the signature block at the end, the text extractable as written
// (no "ff" ligature lost, no hyphen turned into a minus sign).
TEST_F(DriverReportPdf, TwoYearsOnNumberedSheets) {
    auto description = gen::randomCard(31, 730, gen::Generation::Gen1);
    description.identity.surname = "Treffer 6140-KGV";
    const std::string file = card(description);
    const AnalysisResult result = analyzeFiles({file});
    ASSERT_TRUE(result.ok);
    std::int64_t drive = 0;
    for (const auto& s : result.shifts) drive += s.core.drive;

    const std::string whole = render(file, "", "whole.pdf");
    const PdfFacts facts = pdfFacts(whole);
    ASSERT_GE(facts.pages, 10);
    EXPECT_EQ(facts.width, kA4Width);
    EXPECT_EQ(facts.height, kA4Height);
    const std::regex shiftRow("(^|\\n)\\s*(Mo|Di|Mi|Do|Fr|Sa|So) \\d\\d\\.\\d\\d\\.\\d{4} ");
    std::size_t rows = 0;
    for (int page = 1; page <= facts.pages; ++page) {
        const std::string text = pageText(whole, page);
        EXPECT_TRUE(contains(text, "Seite " + std::to_string(page) + " von " + std::to_string(facts.pages))) << text;
        // The running head in the order it was drawn: the layout would merge it with the line below.
        const std::string reading = commandOutput("pdftotext -raw -f " + std::to_string(page) + " -l " +
                                                  std::to_string(page) + " '" + whole + "' - 2>/dev/null");
        EXPECT_TRUE(contains(reading, "Fahrer: " + result.driver + " · Karte: " + result.card)) << reading;
        const auto onPage = std::distance(std::sregex_iterator(text.begin(), text.end(), shiftRow), std::sregex_iterator());
        EXPECT_TRUE(onPage == 0 || contains(text, "DATUM")) << "page " << page;
        rows += static_cast<std::size_t>(onPage);
    }
    EXPECT_EQ(rows, result.shifts.size());
    const std::string text = pdfText(whole);
    EXPECT_TRUE(contains(text, "Tätigkeiten"));
    EXPECT_TRUE(contains(text, formatDurationSeconds(drive)));
    EXPECT_TRUE(contains(text, "Summe (" + std::to_string(result.shifts.size()) + " Schichten)"));
    const std::string last = pageText(whole, facts.pages);
    for (const char* signature : {"ZUR KENNTNIS GENOMMEN", "Fahrer", "Disponent", "Datum", "Unterschrift"}) {
        EXPECT_TRUE(contains(last, signature)) << signature;
    }
    // The report's own typeface, embedded as a subset, not a system fallback embedded whole.
    const std::string fonts = commandOutput("pdffonts '" + whole + "'");
    EXPECT_TRUE(contains(fonts, "PlusJakartaSans")) << fonts;
    EXPECT_FALSE(contains(fonts, "DejaVu")) << fonts;

    const CivilTime first = toCivilTime(result.shifts.front().core.start);
    const std::string month = render(file, formatMonthKey(first.year, first.month), "month.pdf");
    EXPECT_LT(pdfFacts(month).pages, facts.pages);
}

TEST_F(DriverReportPdf, RefusedAnalysisWritesNoPdf) {
    const std::string file = folder_.writeText("broken.ddd", std::string(100, '\x76'));
    std::string error;
    EXPECT_FALSE(report::berichtPdf({file}, "", folder_.file("r.pdf"), error, true, renderHtmlToPdf));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(folder_.entries(), std::vector<std::string>{"broken.ddd"});
}

TEST_F(PdfRenderer, DiagnosticModeOnTheDemoDownload) {
    const std::string log = folder_.file("log.txt");
    const int status =
        std::system(("'" + std::string(DDD_APP_PATH) + "' --diag '" DDD_DEMO_PATH "' 2>'" + log + "'").c_str());
    ASSERT_TRUE(WIFEXITED(status));
    const std::string text = test::readFile(log);
    EXPECT_EQ(WEXITSTATUS(status), 0) << text;
    EXPECT_TRUE(contains(text, "DIAG: diag berichtPdf: ok=1 err=\n")) << text;
    std::smatch folder;
    ASSERT_TRUE(std::regex_search(text, folder, std::regex("writing into (\\S+)\n")));
    EXPECT_FALSE(std::filesystem::exists(folder[1].str()));
}

}  // namespace
}  // namespace ddd::app
