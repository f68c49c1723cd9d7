// One figure, one value: the month report the dashboard page builds and the native driver report
// give the same period, shift count, findings, driving total and activity count, and the CSV set
// as many rows.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <map>
#include <regex>
#include <set>
#include <string>

#include "analysis/pipeline.h"
#include "app/bridge_text.h"
#include "app/window_page.h"
#include "core/primitives.h"
#include "report/csv_export.h"
#include "report/driver_report.h"
#include "report/month_restriction.h"
#include "tests/gtk/gtk_test_support.h"
#include "tests/support/temp_folder.h"
#include "tools/generator/card_generator.h"

namespace ddd::app {
namespace {

using Figures = std::map<std::string, std::string>;

const char* const kCompared[] = {"Zeitraum", "Arbeitsschichten", "Verstöße", "Lenkzeit gesamt", "Tätigkeiten"};

// Label → value of the report's fields and summary tiles, from its HTML.
Figures reportFigures(const std::string& html) {
    Figures figures;
    const std::regex field("<div class=\"l\">([^<]+)</div><div class=\"v[^\"]*\">([^<]*)</div>");
    const std::regex tile("<div class=\"n num[^\"]*\">([^<]*)</div><div class=\"k\">([^<]+)</div>");
    for (std::sregex_iterator m(html.begin(), html.end(), field), end; m != end; ++m) figures[(*m)[1]] = (*m)[2];
    for (std::sregex_iterator m(html.begin(), html.end(), tile), end; m != end; ++m) figures[(*m)[2]] = (*m)[1];
    return figures;
}

// The CSV set's rows: shifts, findings and activities.
Figures csvFigures(const AnalysisResult& month) {
    const std::map<std::string, std::string> labelOf{{"schichten", "Arbeitsschichten"}, {"verstoesse", "Verstöße"},
                                                     {"taetigkeiten", "Tätigkeiten"}};
    Figures figures{{"Arbeitsschichten", "0"}, {"Verstöße", "0"}, {"Tätigkeiten", "0"}};
    for (const auto& [name, content] : report::buildCsvTables(month)) {
        std::size_t lines = 0;
        for (std::size_t at = content.find("\r\n"); at != std::string::npos; at = content.find("\r\n", at + 2)) ++lines;
        if (labelOf.count(name)) figures[labelOf.at(name)] = std::to_string(lines - 1);  // without the header
    }
    return figures;
}

TEST(ReportFigures, PageReportCsvAgree) {
    ASSERT_TRUE(test::startGtk()) << "no display: run under xvfb-run";
    test::TempFolder home, files;
    ::setenv("HOME", home.path().c_str(), 1);
    const std::string card = files.writeCard("fahrer.ddd", gen::randomCard(23, 100, gen::Generation::Gen1));
    const AnalysisResult result = analyzeFiles({card});
    ASSERT_TRUE(result.ok) << result.error;

    DddWebView view;
    test::DialogFreeHost host;
    ShellState state;
    host.setWebView(&view);
    const WindowPage page = dashboardPage();
    page.bind(view, state, host);
    view.setHtml(page.html);
    ASSERT_EQ(test::awaitScript(view, "document.readyState === 'complete' && document.getElementById('drop').dataset.stage "
                                      "=== 'drop' ? 'ready' : ''"),
              "ready");
    view.eval("openPath(" + jsonQuote(card) + ")");
    ASSERT_EQ(test::awaitScript(view, "(function(){var s=document.getElementById('drop').dataset.stage;return "
                                      "!document.getElementById('app').hidden ? 'app' : s === 'loading' ? '' : s;})()", 60),
              "app");

    std::set<std::string> months{""};
    for (const auto& shift : result.shifts) months.insert(monthKeyOf(shift.core.start));
    for (const std::string& key : months) {
        SCOPED_TRACE(key.empty() ? "all months" : key);
        const std::string selection = key.empty() ? "__all__" : key.substr(5, 2) + "." + key.substr(0, 4);
        const Figures onPage = reportFigures(test::evaluateNow(view, "monthReportHtml(" + jsonQuote(selection) + ")"));
        const Figures native = reportFigures(report::buildReportHtml(result, {key, 0, true}));
        const Figures csv = csvFigures(restrictToMonth(result, key));
        for (const char* label : kCompared) {
            EXPECT_EQ(onPage.at(label), native.at(label)) << label;
            if (csv.count(label)) {
                EXPECT_EQ(csv.at(label), native.at(label)) << label;
            }
        }
    }
    EXPECT_EQ(test::evaluateNow(view, "String(DATA.counts.activities)"), std::to_string(result.activities.size()));
    shutdownShellState(state);
    host.setWebView(nullptr);
}

}  // namespace
}  // namespace ddd::app
