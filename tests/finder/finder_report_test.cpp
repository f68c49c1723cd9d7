// The finder report's HTML for searches with and without hits.
#include <gtest/gtest.h>

#include <cstdio>

#include "finder/finder_report.h"
#include "tests/support/temp_folder.h"
#include "tools/generator/card_generator.h"

namespace {

using namespace ddd::finder;
using ddd::gen::utcTime;

FinderSession session(std::string surname, char source, std::uint32_t slot, std::int64_t start, std::int64_t end) {
    FinderSession s;
    s.firstNames = "Jürgen", s.surname = std::move(surname), s.card = "DF000000000011", s.plate = "M AB 123";
    s.source = source, s.slot = slot, s.start = start, s.end = end, s.odometerStart = 0, s.odometerEnd = 1234;
    return s;
}

using ddd::test::contains;

// The file's SHA-256 as the system's own tool computes it.
std::string sha256sum(const std::string& path) {
    std::string out(64, '\0');
    FILE* pipe = popen(("sha256sum '" + path + "'").c_str(), "r");
    const std::size_t read = pipe ? std::fread(out.data(), 1, out.size(), pipe) : 0;
    if (pipe) pclose(pipe);
    return out.substr(0, read);
}

TEST(FinderReport, RowsAndCriteria) {
    ddd::test::TempFolder folder;
    DriverIndex index;
    index.sessions = {session("Berger & Söhne", 'C', 0, utcTime(2024, 3, 5, "05:00"), 0),
                      session("<Weiß>", 'V', 1, utcTime(2024, 3, 5, "07:30"), utcTime(2024, 3, 5, "14:00")),
                      session("Lange", 'V', 0, utcTime(2024, 3, 4, "07:30"), utcTime(2024, 3, 4, "14:00"))};
    index.sessions[0].file = folder.writeCard("karte.ddd", ddd::gen::randomCard(3, 2, ddd::gen::Generation::Gen1));
    index.sessions[1].file = folder.writeText("fahrzeug.ddd", "abc").string();
    // The card's open record and the unit's co-driver stay within it are one trip.
    const std::string all = finderReportHtml(index, R"({"plate":"MAB123","y":2024,"mo":3,"d":5,"hStart":9})");
    EXPECT_EQ(all.rfind("<!DOCTYPE html>", 0), 0u);
    for (const char* part : {"<html lang=\"de\">", "<title>Fahrerermittlung</title>", "Fahrerermittlung — wer fuhr ein Fahrzeug zu einem Zeitpunkt?",
                             "<div class=\"q\">Suche: Kennzeichen <b>MAB123</b> Zeitpunkt <b>05.03.2024 09:00 – 10:00 Uhr</b> · 1 Treffer</div>"}) {
        EXPECT_TRUE(contains(all, part)) << part;
    }
    EXPECT_TRUE(contains(all, "<tr class=\"hit\"><td class=\"p\">Jürgen Berger &amp; Söhne</td><td>Beifahrer</td>"
                              "<td>M AB 123</td><td>05.03.2024 06:00</td><td>offen</td><td class=\"n\">—</td>"
                              "<td>DF000000000011</td><td>Fahrerkarte + Fahrzeugeinheit</td></tr>"));
    EXPECT_FALSE(contains(all, "Lange"));
    // Each source file with its fingerprint, computed here by the system's own tool.
    const std::string sha = sha256sum(index.sessions[0].file);
    EXPECT_TRUE(contains(all, "<td>" + index.sessions[0].file + "</td><td class=\"h\">" + sha + "</td><td>")) << all;
    const std::string unit = sha256sum(index.sessions[1].file);
    EXPECT_TRUE(contains(all, unit + "</td><td>nicht geprüft (Fahrzeugeinheit)</td>"));
    EXPECT_TRUE(all.ends_with("</tbody></table><div class=\"foot\">VELMORANT DDD · Fahrerermittlung</div></div></body></html>"));
}

TEST(FinderReport, CriteriaLineAndNotices) {
    DriverIndex lange, empty;
    lange.sessions = {session("Lange", 'V', 0, utcTime(2024, 3, 4, "07:30"), utcTime(2024, 3, 4, "14:00"))};
    struct Case {
        const char* name;
        const DriverIndex& index;
        const char* query;
        std::vector<std::string> parts, absent;
    };
    const Case cases[] = {
        {"a plate-only search has no time part", lange, R"({"plate":"M AB 123"})",
         {"<div class=\"q\">Suche: Kennzeichen <b>M AB 123</b>  · 1 Treffer</div>", "<td>Fahrer</td>"}, {}},
        {"a day without hours is the day alone", lange, R"({"y":2024,"mo":3,"d":4})",
         {"Zeitpunkt <b>04.03.2024</b> · 1 Treffer"}, {"04.03.2024 00:00"}},
        {"criteria escaped", empty, R"({"plate":"m ab \"1\""})", {"Kennzeichen <b>m ab &quot;1&quot;</b>"}, {}},
        {"no match", empty, R"({"name":"Niemand"})",
         {"<div class=\"none\">Keine Übereinstimmung für die gesuchten Kriterien.</div>"}, {"<table>"}},
        {"a refused search shows its reason", empty, R"({"y":2024,"mo":2,"d":31})",
         {"<div class=\"none\">Ungültiges Datum.</div>"}, {}},
    };
    for (const Case& c : cases) {
        const std::string html = finderReportHtml(c.index, c.query);
        for (const auto& part : c.parts) EXPECT_TRUE(contains(html, part)) << c.name << ": " << part;
        for (const auto& part : c.absent) EXPECT_FALSE(contains(html, part)) << c.name << ": " << part;
    }
}

TEST(FinderReport, MoreThan500Matches) {
    DriverIndex index;
    for (int i = 0; i < 600; ++i) index.sessions.push_back(session("Lange", 'V', 0, 1000 + i, 0));
    const std::string html = finderReportHtml(index, "{}");
    EXPECT_TRUE(contains(html, " · 600 Treffer (zeige 500)</div>"));
    EXPECT_TRUE(contains(html, "<div class=\"foot\">Hinweis: Es werden nur die ersten 500 von 600 Treffern angezeigt.</div>"));
    std::size_t rows = 0;
    for (std::size_t at = html.find("<tr"); at < html.find("</table>"); at = html.find("<tr", at + 1)) ++rows;
    EXPECT_EQ(rows, 501u);  // with the header row
}

}  // namespace
