#include <gtest/gtest.h>

#include "analysis/pipeline.h"
#include "core/primitives.h"
#include "report/driver_report.h"
#include "report/month_restriction.h"
#include "tests/support/temp_folder.h"

namespace ddd::report {
namespace {

using test::contains;

std::int64_t utc(int y, unsigned m, unsigned d, int hh = 0, int mm = 0) {
    return daysFromCivil(y, m, d) * 86400 + hh * 3600 + mm * 60;
}

ShiftRecord shift(std::int64_t start, std::int64_t end, std::int64_t drive) {
    ShiftRecord s;
    s.core.start = start;
    s.core.end = end;
    s.core.drive = drive;
    return s;
}

AnalysisResult driver(const std::string& name = "Erika Muster") {
    AnalysisResult r;
    r.ok = true;
    r.driver = name;
    r.card = "DF00001234567800";
    r.nation = 13;
    return r;
}

std::string html(const AnalysisResult& r, const std::string& month = "", bool gaps = true) {
    return buildReportHtml(r, {month, utc(2024, 4, 2, 10), gaps});
}

TEST(Report, CardTextsAreTextOnly) {
    struct Case { std::string driver, escaped, raw; };
    const Case cases[] = {
        {"<img src=x onerror=alert(1)>", "&lt;img src=x onerror=alert(1)&gt;", "<img"},
        {"</style><script>x()</script>", "&lt;/style&gt;&lt;script&gt;x()&lt;/script&gt;", "<script"},
        {"A<B", "A&lt;B", "A<B"},
    };
    for (const Case& c : cases) {
        const std::string page = html(driver(c.driver));
        EXPECT_TRUE(contains(page, "<title>Bericht — " + c.escaped + "</title>")) << c.driver;
        EXPECT_TRUE(contains(page, "<div class=\"v\">" + c.escaped + "</div>")) << c.driver;
        EXPECT_FALSE(contains(page, c.raw)) << c.driver;
    }
}

TEST(Report, PeriodText) {
    AnalysisResult r = driver();
    r.activities.push_back({utc(2024, 3, 5, 6), utc(2024, 3, 5, 15), 3, 0});
    r.activities.push_back({utc(2024, 12, 30, 20), utc(2024, 12, 31, 4), 3, 0});
    const std::pair<std::string, std::string> cases[] = {
        {"", "05. März 2024 – 31. Dezember 2024"},
        {"2024/03", "05. März 2024 – 31. März 2024"},  // from the first day of data
        {"2024/06", "01. Juni 2024 – 30. Juni 2024"},
        {"2024/12", "01. Dezember 2024 – 31. Dezember 2024"},  // to the last day of data
        {"2025/01", "–"},
        {"__all__", "05. März 2024 – 31. Dezember 2024"},
        {"2024/13", "05. März 2024 – 31. Dezember 2024"},
    };
    for (const auto& [monthKey, expected] : cases) {
        EXPECT_TRUE(contains(html(r, monthKey), "<div class=\"l\">Zeitraum</div><div class=\"v\">" + expected + "</div>")) << monthKey;
    }
}

TEST(Report, OvernightShiftAndFindingAtItsEnd) {
    AnalysisResult r = driver();
    const std::int64_t start = utc(2024, 3, 4, 21);  // 22:00 local
    const std::int64_t end = start + 8 * 3600 + 30 * 60;
    r.shifts.push_back(shift(start, end, 4 * 3600));
    r.violations.push_back({200807, end, 300, 270, 4});
    const std::string page = html(r);
    EXPECT_TRUE(contains(page, "<tr><td class=\"l pri\">Mo 04.03.2024</td><td>22:00</td><td>06:30</td>"
                               "<td class=\"pri\">08:30</td><td>04:00</td>"));
    EXPECT_TRUE(contains(page, "<span class=\"rp-vc\">1</span></td></tr>"));
    EXPECT_TRUE(contains(page, "<span class=\"rp-status\"><span class=\"d\"></span>1 Verstöße</span>"));
    EXPECT_TRUE(contains(page, "<div class=\"n num cr\">1</div><div class=\"k\">Verstöße</div>"));
    EXPECT_TRUE(contains(page, "<span class=\"w num\">05.03.2024 · 06:30</span><span class=\"val num\">05:00 / 04:30</span>"));
}

TEST(Report, WithoutFindings) {
    AnalysisResult r = driver();
    r.shifts.push_back(shift(utc(2024, 3, 4, 5), utc(2024, 3, 4, 14), 3 * 3600));
    const std::string page = html(r);
    EXPECT_TRUE(contains(page, "<span class=\"rp-status ok\"><span class=\"d\"></span>Keine Verstöße</span>"));
    EXPECT_TRUE(contains(page, "<div class=\"n num\">0</div><div class=\"k\">Verstöße</div>"));
    EXPECT_TRUE(contains(page, "<div class=\"rp-sec\">Verstöße</div><div class=\"rp-none\">Keine Verstöße im Zeitraum "
                               "festgestellt</div>"));
    EXPECT_TRUE(contains(page, "<td></td><td></td></tr></tbody></table>"));
    EXPECT_TRUE(contains(page, "<div class=\"rp-gen\">Erstellt am 02.04.2024</div>"));
}

TEST(Report, CoverageGapsFollowTheSetting) {
    AnalysisResult r = driver();
    r.coverageGaps.push_back({utc(2024, 3, 4, 5), utc(2024, 3, 5, 5), 0});
    EXPECT_TRUE(contains(html(r, "", true), "<span class=\"r\">Karte nicht gesteckt</span><span class=\"w num\">04.03.2024 · "
                                            "06:00 – 05.03.2024 · 06:00</span><span class=\"val num\">24:00</span>"));
    EXPECT_FALSE(contains(html(r, "", false), "Nicht bewertbare Zeiträume"));
}

TEST(Report, EmptyFieldsAndNoShifts) {
    AnalysisResult r = driver();
    r.card.clear();
    const std::string page = buildReportHtml(r, {"", 0, true});
    EXPECT_TRUE(contains(page, "<div class=\"l\">Kartennummer</div><div class=\"v num\">–</div>"));
    EXPECT_TRUE(contains(page, "<div class=\"rp-none\">Keine Arbeitsschichten im Zeitraum</div>"));
    EXPECT_FALSE(contains(page, "<div class=\"rp-gen\">"));
    EXPECT_TRUE(page.starts_with("<!doctype html>\n<html lang=\"de\">\n<head>\n<meta charset=\"utf-8\">\n"));
    EXPECT_TRUE(page.ends_with("</div></div>\n</body>\n</html>\n"));
}

TEST(Report, ErrorReport) {
    AnalysisResult r;
    r.error = "EF 0x0504: <bad> record";
    const std::string page = html(r);
    EXPECT_TRUE(contains(page, "<title>Bericht — Fehler</title>"));
    EXPECT_TRUE(contains(page, "Auswertung fehlgeschlagen"));
    EXPECT_FALSE(contains(page, "<div class=\"rp-who\">"));
    EXPECT_TRUE(contains(page, "<div class=\"rp-err\">Diese Fahrerkarte konnte nicht ausgewertet werden.<s>EF 0x0504: "
                               "&lt;bad&gt; record</s></div>"));
}

// The totals row and the tiles of a generated driver, against sums computed here.
TEST(Report, TotalsOfAGeneratedDriver) {
    test::TempFolder folder;
    const std::string file = folder.writeCard("d.ddd", gen::randomCard(21, 45, gen::Generation::Gen1));
    const AnalysisResult r = analyzeFiles({file});
    ASSERT_TRUE(r.ok);
    ASSERT_FALSE(r.shifts.empty());
    std::int64_t drive = 0, length = 0, rest = 0;
    for (const auto& s : r.shifts) drive += s.core.drive, length += s.core.end - s.core.start, rest += s.detail.rest;
    const std::string page = html(r);
    const std::string count = std::to_string(r.shifts.size());
    EXPECT_TRUE(contains(page, "<tr class=\"tot\"><td class=\"l\">Summe (" + count + " Schichten)</td><td></td><td></td><td>" +
                                   formatDurationSeconds(length) + "</td><td>" + formatDurationSeconds(drive) + "</td>"));
    EXPECT_TRUE(contains(page, "<td>" + formatDurationMinutes(rest) + "</td><td></td><td>"));
    EXPECT_TRUE(contains(page, "<div class=\"n num\">" + formatDurationSeconds(drive) + "</div><div class=\"k\">Lenkzeit gesamt"));
    EXPECT_TRUE(contains(page, formatDurationSeconds(drive / static_cast<std::int64_t>(r.shifts.size())) +
                                   "</div><div class=\"k\">&#216; Lenkzeit / Tag"));
}

TEST(MonthRestriction, KeepsRecordsByTheirDecidingInstant) {
    AnalysisResult r = driver();
    r.shifts.push_back(shift(utc(2024, 2, 29, 22, 30), utc(2024, 3, 1, 6), 0));  // starts 23:30 on 29 Feb local
    r.shifts.push_back(shift(utc(2024, 3, 31, 22, 30), utc(2024, 4, 1, 6), 0));  // 00:30 on 1 April local (summer time)
    r.violations.push_back({200801, utc(2024, 3, 10, 12), 1, 1, 1});
    r.legalViolations.emplace_back();
    CardVehicleRecord never;
    never.lastUse = 0xFFFFFFFF;
    r.vehicles.push_back(never);
    CardVehicleRecord march;
    march.lastUse = utc(2024, 3, 15);
    r.vehicles.push_back(march);
    CardVehicleRecord stillInUse;  // in use since 30 March when the card was downloaded
    stillInUse.firstUse = utc(2024, 3, 30);
    stillInUse.lastUse = 0xFFFFFFFF;
    r.vehicles.push_back(stillInUse);
    r.dataEnd = utc(2024, 3, 31, 12);
    const AnalysisResult m = restrictToMonth(r, "2024/03");
    EXPECT_TRUE(m.shifts.empty());
    EXPECT_EQ(m.violations.size(), 1u);
    EXPECT_TRUE(m.legalViolations.empty());
    ASSERT_EQ(m.vehicles.size(), 2u);
    EXPECT_EQ(m.vehicles[0].lastUse, march.lastUse);
    EXPECT_EQ(m.dataEnd, r.dataEnd);
    EXPECT_EQ(restrictToMonth(r, "2024/02").dataEnd, 0);
    EXPECT_EQ(restrictToMonth(r, "1970/01").vehicles.size(), 1u);
    EXPECT_EQ(m.driver, r.driver);
    for (const char* all : {"", "all", "__all__"}) EXPECT_EQ(restrictToMonth(r, all).legalViolations.size(), 1u) << all;
}

}  // namespace
}  // namespace ddd::report
