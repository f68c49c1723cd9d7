// The texts a driver's analysis is handed out as: the CSV set, the printable report, the month
// it may be restricted to, and the provenance text.
#include <gtest/gtest.h>

#include "analysis/pipeline.h"
#include "core/primitives.h"
#include "report/csv_export.h"
#include "report/driver_report.h"
#include "report/month_restriction.h"
#include "report/provenance_text.h"
#include "tests/support/temp_folder.h"

namespace ddd::report {
namespace {

using test::contains;
using test::readFile;
using test::TempFolder;

std::int64_t utc(int y, unsigned m, unsigned d, int hh = 0, int mm = 0) { return daysFromCivil(y, m, d) * 86400 + hh * 3600 + mm * 60; }

ShiftRecord shift(std::int64_t start, std::int64_t end, std::int64_t drive) { return {{start, end, drive}, {}}; }

TEST(CsvRow, QuotingAndFormulaStarts) {
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {{"a", "b c", "1"}, "a;b c;1\r\n"}, {{"HH;AB 1", "x"}, "\"HH;AB 1\";x\r\n"}, {{"say \"hi\""}, "\"say \"\"hi\"\"\"\r\n"}, {{"a\nb"}, "\"a\nb\"\r\n"},
        {{"a\rb"}, "\"a\rb\"\r\n"}, {{"", ""}, ";\r\n"}, {{}, "\r\n"}, {{"F\xC3\xA4hre/Zug"}, "F\xC3\xA4hre/Zug\r\n"},
    };
    for (const auto& [fields, expected] : rows) {
        std::string text;
        appendCsvRow(text, fields);
        EXPECT_EQ(text, expected);
    }
    const std::pair<std::string, std::string> texts[] = {
        {"=HYPERLINK(\"http://x\")", "'=HYPERLINK(\"http://x\")"}, {"+49 170", "'+49 170"}, {"-2+3", "'-2+3"}, {"@SUM(A1)", "'@SUM(A1)"},
        {"\t=1", "'\t=1"}, {"\r=1", "'\r=1"}, {"B-AB 123", "B-AB 123"}, {"AB=1", "AB=1"}, {"", ""},
    };
    for (const auto& [text, expected] : texts) EXPECT_EQ(spreadsheetText(text), expected) << text;
}

// A small result with one record in chosen lists, each carrying an awkward value.
TEST(CsvTables, BytesOfEveryLine) {
    AnalysisResult r;
    r.ok = true;
    r.shifts.push_back(shift(utc(2024, 3, 4, 5, 0), utc(2024, 3, 5, 7, 0), 9 * 3600 + 30 * 60));  // from 06:00 local
    r.shifts[0].detail.vehicle = "=cmd|' /C calc'!A0";
    r.shifts[0].detail.rest = 11 * 60;
    r.vehicles.push_back({1000, 1500, utc(2024, 3, 4, 6), 0xFFFFFFFF, {13, "HH;AB \"1\""}, 0, false, ""});
    r.activities.push_back({utc(2024, 3, 4, 6), utc(2024, 3, 4, 7), kUnknownActivity, 1});
    r.violations = {{200814, utc(2024, 3, 4, 12), 4, 3, 2}, {200801, utc(2024, 3, 4, 12), 630, 540, 4}};
    // A crossing west of Greenwich with its odometer not written, an operation without position.
    r.borderCrossings = {{13, 40, {utc(2024, 3, 4, 8, 30), 5, 52205, -14330, 0, true}, 0xFFFFFF}};
    r.loadOperations = {{utc(2024, 3, 4, 9), 3, {}, 1234}};
    r.countryDays = {{utc(2024, 3, 3, 23), {{40, 3600, 60, 0}}, true}};
    const auto tables = buildCsvTables(r);
    ASSERT_EQ(tables.size(), 7u) << "only tables with records";
    EXPECT_EQ(tables[0].second, "\xEF\xBB\xBF"
                                "Datum;Beginn;Ende;Dauer;Lenken;Arbeit;Bereitschaft;Pause;Unbekannt;Ruhe;Fahrzeug;Stopps;Taetigkeiten\r\n"
                                "04.03.2024;06:00;08:00;26:00;09:30;00:00;00:00;00:00;00:00;11:00;'=cmd|' /C calc'!A0;0;0\r\n");
    EXPECT_TRUE(contains(tables[1].second, ";04.03.2024 13:00;4;3;2\r\n")) << "a count-valued finding is a plain number";
    EXPECT_TRUE(contains(tables[1].second, ";04.03.2024 13:00;10:30;09:00;4\r\n"));
    EXPECT_EQ(tables[2].second, "\xEF\xBB\xBF"
                                "Kennzeichen;Nation;ErsteNutzung;LetzteNutzung;kmBeginn;kmEnde\r\n"
                                "\"HH;AB \"\"1\"\"\";" + nationName(13) + ";04.03.2024;-;1000;1500\r\n");
    EXPECT_EQ(tables[3].second, "\xEF\xBB\xBF"
                                "Datum;Beginn;Ende;Dauer;Taetigkeit;Karte\r\n"
                                "04.03.2024;07:00;08:00;01:00;Unbekannt;nein\r\n");
    EXPECT_EQ(tables[4].second, "\xEF\xBB\xBF"
                                "Zeitpunkt;LandVerlassen;LandBetreten;Breite;Laenge;BreiteDezimal;LaengeDezimal;Odometer;Authentisiert\r\n"
                                "04.03.2024 09:30;Deutschland (D);Polen (PL);52°20.5'N;14°33.0'W;52,34167;-14,55000;;nein\r\n");
    EXPECT_EQ(tables[5].second, "\xEF\xBB\xBF"
                                "Zeitpunkt;Vorgang;Breite;Laenge;BreiteDezimal;LaengeDezimal;Odometer;Authentisiert\r\n"
                                "04.03.2024 10:00;Gleichzeitiges Be- und Entladen;;;;;1234;nein\r\n");
    EXPECT_EQ(tables[6].second, "\xEF\xBB\xBF"
                                "Datum;Land;Lenken;Arbeit;Bereitschaft;Arbeitszeit;Quelle\r\n"
                                "04.03.2024;Polen (PL);01:00;00:01;00:00;01:01;Ortseintrag\r\n");
}

// The set written beside the base path replaces an earlier export whole: tables the new set no
// longer holds are removed, others of the folder left alone. A failed analysis, a missing folder
// or a disk filling up in the middle of the set leave the earlier export whole and name what failed.
TEST(CsvExport, WritesTheSetWholeOrNotAtAll) {
    TempFolder folder;
    const std::string file = folder.writeCard("card.ddd", gen::randomCard(7, 40, gen::Generation::Gen1));
    const char* names[] = {"schichten", "verstoesse", "nicht_bewertbar", "fahrzeuge", "laender", "ereignisse", "kontrollen", "sonderfaelle", "taetigkeiten"};
    for (const char* name : names) folder.writeText(std::string("csv_") + name + ".csv", "from an earlier export");
    folder.writeText("other_sonderfaelle.csv", "not ours");
    const CsvExportResult result = exportCsv({file}, "", folder.file("csv"));
    ASSERT_TRUE(result.ok) << result.error;
    const auto tables = buildCsvTables(analyzeFiles({file}));
    ASSERT_LT(tables.size(), std::size(names));
    EXPECT_EQ(result.written, static_cast<int>(tables.size()));
    for (const char* name : names) {
        const auto table = std::find_if(tables.begin(), tables.end(), [&](const CsvTable& t) { return t.first == name; });
        const std::string path = folder.file(std::string("csv_") + name + ".csv");
        EXPECT_EQ(table == tables.end() ? "" : table->second, std::filesystem::exists(path) ? readFile(path) : "") << name;
    }
    EXPECT_EQ(readFile(folder.file("other_sonderfaelle.csv")), "not ours");

    const auto entries = folder.entries().size();
    const CsvExportResult broken = exportCsv({folder.writeText("broken.ddd", std::string(300, 'v')).string()}, "", folder.file("csv"));
    EXPECT_TRUE(!broken.ok && broken.written == 0 && !broken.error.empty());
    const std::string base = folder.file("missing/csv");
    const CsvExportResult missing = exportCsv({file}, "", base);
    EXPECT_EQ(std::tie(missing.ok, missing.error, missing.basePath), std::tuple(false, "cannot write: " + base + "_schichten.csv", base));
    const CsvExportResult full = [&] {
        const test::FileSizeLimit limit(2048);
        return exportCsv({file}, "", folder.file("csv"));
    }();
    EXPECT_FALSE(full.ok);
    EXPECT_TRUE(full.error.starts_with("write failed: " + folder.file("csv_"))) << full.error;
    EXPECT_EQ(readFile(folder.file("csv_taetigkeiten.csv")), tables.back().second);
    EXPECT_EQ(folder.entries().size(), entries + 1) << "only the broken download was added";
}

AnalysisResult driver(const std::string& name = "Erika Muster") {
    AnalysisResult r;
    r.ok = true;
    r.driver = name;
    r.card = "DF00001234567800";
    r.nation = 13;
    return r;
}

TEST(Report, WhatThePageShows) {
    AnalysisResult overnight = driver("<img src=x onerror=alert(1)>"), plain = driver("A<B"), period = driver(), refused;
    const std::int64_t start = utc(2024, 3, 4, 21), end = start + 8 * 3600 + 30 * 60;  // 22:00 to 06:30 local
    overnight.shifts.push_back(shift(start, end, 4 * 3600));
    overnight.shifts.back().detail.vehicle = "B-VM 4711";
    overnight.violations.push_back({200807, end, 300, 270, 4});
    plain.shifts.push_back(shift(utc(2024, 3, 4, 5), utc(2024, 3, 4, 14), 3 * 3600));
    plain.coverageGaps.push_back({utc(2024, 3, 4, 5), utc(2024, 3, 5, 5), 0});
    period.activities = {{utc(2024, 3, 5, 6), utc(2024, 3, 5, 15), 3, 0}, {utc(2024, 12, 30, 20), utc(2024, 12, 31, 4), 3, 0}};
    period.card.clear();
    refused.error = "EF 0x0504: <bad> record";
    AnalysisResult abroad = driver();
    abroad.borderCrossings = {{13, 40, {utc(2024, 3, 4, 8, 30), 5, 52205, 14330, 1, true}, 0xFFFFFF}};
    const std::string zeitraum = "<div class=\"l\">Zeitraum</div><div class=\"v\">";
    struct Row { const char* name; const AnalysisResult& result; std::string month; std::int64_t created; bool gaps; std::string part; bool shown; };
    const Row rows[] = {
        {"card texts are text only", overnight, "", 0, true, "<title>Bericht — &lt;img src=x onerror=alert(1)&gt;</title>", true},
        {"no raw tag", overnight, "", 0, true, "<img", false},
        {"a shift across midnight", overnight, "", 0, true, "<tr><td class=\"l pri\">Mo 04.03.2024</td><td>22:00</td><td>06:30</td><td class=\"pri\">08:30</td><td>04:00</td>", true},
        {"its vehicle and its finding", overnight, "", 0, true, "<span class=\"rp-fc\">B-VM 4711</span></td><td><span class=\"rp-vc\">1</span></td></tr>", true},
        {"the status counts findings", overnight, "", 0, true, "<span class=\"rp-status\"><span class=\"d\"></span>1 Verstöße</span>", true},
        {"a finding at the shift's end", overnight, "", 0, true, "<span class=\"w num\">05.03.2024 · 06:30</span><span class=\"val num\">05:00 / 04:30</span>", true},
        {"a raw less-than", plain, "", 0, true, "A<B", false},
        {"without findings", plain, "", 0, true, "<span class=\"rp-status ok\"><span class=\"d\"></span>Keine Verstöße</span>", true},
        {"no findings listed", plain, "", 0, true, "<div class=\"rp-sec\">Verstöße</div><div class=\"rp-none\">Keine Verstöße im Zeitraum festgestellt</div>", true},
        {"no total of findings", plain, "", 0, true, "<td></td><td></td></tr></tbody></table>", true},
        {"the creation date", plain, "", utc(2024, 4, 2, 10), true, "<div class=\"rp-gen\">Erstellt am 02.04.2024</div>", true},
        {"no creation date when not given", plain, "", 0, true, "<div class=\"rp-gen\">", false},
        {"from the first second", plain, "", 1, true, "<div class=\"rp-gen\">Erstellt am 01.01.1970</div>", true},
        {"coverage gaps when asked for", plain, "", 0, true,
         "<span class=\"r\">Karte nicht gesteckt</span><span class=\"w num\">04.03.2024 · 06:00 – 05.03.2024 · 06:00</span><span class=\"val num\">24:00</span>", true},
        {"and not otherwise", plain, "", 0, false, "Nicht bewertbare Zeiträume", false},
        {"the whole period", period, "", 0, true, zeitraum + "05. März 2024 – 31. Dezember 2024</div>", true},
        {"a month from the first day of data", period, "2024/03", 0, true, zeitraum + "05. März 2024 – 31. März 2024</div>", true},
        {"a month without data", period, "2024/06", 0, true, zeitraum + "01. Juni 2024 – 30. Juni 2024</div>", true},
        {"a month to the last day of data", period, "2024/12", 0, true, zeitraum + "01. Dezember 2024 – 31. Dezember 2024</div>", true},
        {"a month after the data", period, "2025/01", 0, true, zeitraum + "–</div>", true},
        {"no such month", period, "2024/13", 0, true, zeitraum + "05. März 2024 – 31. Dezember 2024</div>", true},
        {"an empty card number", period, "", 0, true, "<div class=\"l\">Kartennummer</div><div class=\"v num\">–</div>", true},
        {"no shifts", period, "", 0, true, "<div class=\"rp-none\">Keine Arbeitsschichten im Zeitraum</div>", true},
        {"countries and crossings", abroad, "", 0, true,
         "<td class=\"l\">Deutschland (D)</td><td class=\"l\">Polen (PL)</td><td class=\"l\">52°20.5'N 14°33.0'E</td><td>–</td><td>ja</td>", true},
        {"no countries for a card without crossings", plain, "", 0, true, "Länder und Grenzübertritte", false},
        {"an error report", refused, "", 0, true, "<title>Bericht — Fehler</title>", true},
        {"names its error escaped", refused, "", 0, true, "<div class=\"rp-err\">Diese Fahrerkarte konnte nicht ausgewertet werden.<s>EF 0x0504: &lt;bad&gt; record</s></div>", true},
    };
    for (const auto& row : rows) EXPECT_EQ(contains(buildReportHtml(row.result, {row.month, row.created, row.gaps}), row.part), row.shown) << row.name;
    const std::string page = buildReportHtml(period, {"", 0, true});
    EXPECT_TRUE(page.starts_with("<!doctype html>\n<html lang=\"de\">\n<head>\n<meta charset=\"utf-8\">\n") && page.ends_with("</div></div>\n</body>\n</html>\n"));
}

// The totals row and the tiles of a generated driver, against sums computed here.
TEST(Report, TotalsOfAGeneratedDriver) {
    test::TempFolder folder;
    const AnalysisResult r = analyzeFiles({folder.writeCard("d.ddd", gen::randomCard(21, 45, gen::Generation::Gen1))});
    ASSERT_TRUE(r.ok && !r.shifts.empty());
    std::int64_t drive = 0, length = 0, work = 0, standby = 0, rest = 0;
    for (const auto& s : r.shifts) drive += s.core.drive, length += s.core.end - s.core.start, work += s.core.work, standby += s.core.standby, rest += s.detail.rest;
    const std::string page = buildReportHtml(r, {"", 0, true});
    EXPECT_TRUE(contains(page, "<tr class=\"tot\"><td class=\"l\">Summe (" + std::to_string(r.shifts.size()) + " Schichten)</td><td></td><td></td><td>" +
                                   formatDurationSeconds(length) + "</td><td>" + formatDurationSeconds(drive) + "</td><td>" + formatDurationSeconds(work) + "</td><td>" +
                                   formatDurationSeconds(standby) + "</td><td>" + formatDurationMinutes(rest) + "</td><td></td><td>"));
    EXPECT_TRUE(contains(page, "<div class=\"n num\">" + formatDurationSeconds(drive) + "</div><div class=\"k\">Lenkzeit gesamt"));
    EXPECT_TRUE(contains(page, formatDurationSeconds(drive / static_cast<std::int64_t>(r.shifts.size())) + "</div><div class=\"k\">&#216; Lenkzeit / Tag"));
}

TEST(MonthRestriction, KeepsRecordsByTheirDecidingInstant) {
    AnalysisResult r = driver();
    r.shifts.push_back(shift(utc(2024, 2, 29, 22, 30), utc(2024, 3, 1, 6), 0));  // starts 23:30 on 29 Feb local
    r.shifts.push_back(shift(utc(2024, 3, 31, 22, 30), utc(2024, 4, 1, 6), 0));  // 00:30 on 1 April local (summer time)
    r.violations.push_back({200801, utc(2024, 3, 10, 12), 1, 1, 1});
    r.legalViolations.emplace_back();
    // Never used, last used in March, and in use since 30 March when the card was downloaded.
    r.vehicles = {{0, 0, 0, 0xFFFFFFFF, {}, 0, false, ""}, {0, 0, 0, utc(2024, 3, 15), {}, 0, false, ""}, {0, 0, utc(2024, 3, 30), 0xFFFFFFFF, {}, 0, false, ""}};
    r.dataEnd = utc(2024, 3, 31, 12);
    const AnalysisResult m = restrictToMonth(r, "2024/03");
    EXPECT_TRUE(m.shifts.empty() && m.legalViolations.empty());
    EXPECT_EQ(std::tuple(m.violations.size(), m.vehicles.size(), m.dataEnd, m.driver), std::tuple(1u, 2u, r.dataEnd, r.driver));
    EXPECT_EQ(m.vehicles[0].lastUse, utc(2024, 3, 15));
    EXPECT_EQ(restrictToMonth(r, "2024/02").dataEnd, 0);
    EXPECT_EQ(restrictToMonth(r, "1970/01").vehicles.size(), 1u);
    for (const char* all : {"", "all", "__all__"}) EXPECT_EQ(restrictToMonth(r, all).legalViolations.size(), 1u) << all;
}

ProvenanceFile file(const std::string& name, std::int64_t first, std::int64_t last, std::uint32_t dates, std::optional<std::int64_t> download = {}) {
    return {name, download, {}, last, first, dates, {}};
}

// A model of the files and days; each day names the files it was taken from.
ProvenanceModel model(std::vector<ProvenanceFile> files = {}, std::vector<ProvenanceDay> days = {}) {
    return {"DF00001234567800", "Erika Muster", 13, std::move(files), std::move(days)};
}

TEST(ProvenanceText, OneFileByteExact) {
    ProvenanceModel m = model({file("march.ddd", utc(2024, 3, 1), utc(2024, 3, 5), 4, utc(2024, 3, 6) + 9 * 3600)});
    for (unsigned d : {1u, 2u, 3u, 5u}) m.days.push_back({utc(2024, 3, d), {0}, false});
    const std::string ruler(56, '='), line(56, '-');
    EXPECT_EQ(renderProvenanceText(m, "2024/03", utc(2024, 4, 2) + 12 * 3600),
              ruler + "\n  QUELLENNACHWEIS — VELMORANT DDD\n" + ruler + "\n" +
                  "Fahrer:   Erika Muster  (" + nationName(13) + ")\n"
                  "Karte:    DF00001234567800\n"
                  "Zeitraum: März 2024\n"
                  "Erstellt: 02.04.2024 durch VELMORANT DDD\n"
                  "\n"
                  "Dieser Bericht wurde aus 1 Quelldatei zusammengesetzt.\n"
                  "Für jeden Tag ist die Datei angegeben, aus der er übernommen\n"
                  "wurde — jede lässt sich einzeln öffnen und unabhängig prüfen\n"
                  "(z. B. in einer Tachograph-Auswertung wie Tavrisco).\n" +
                  line + "\n"
                  "  (1) march.ddd\n"
                  "   Kartenauslesung: 06.03.2024 10:00\n"
                  "   Datei-Abdeckung: 01.03.2024 – 05.03.2024  (4 Tage in der Datei)\n"
                  "   Tage daraus:     01.03.2024 – 03.03.2024, 05.03.2024  (4 Tage)\n" +
                  line + "\nZusammengesetzt: 4 Tage aus 1 Datei.\n");
}

TEST(ProvenanceText, WhatTheTextSays) {
    const auto read = [](std::optional<std::int64_t> latestChange) {
        ProvenanceFile f = file("a.ddd", utc(2024, 3, 1), utc(2024, 3, 29), 2, utc(2024, 3, 6) + 9 * 3600);
        f.latestChange = latestChange;
        return model({f}, {{utc(2024, 3, 1), {0}, false}});
    };
    const ProvenanceModel identical = model({file("b.ddd", utc(2024, 3, 1), utc(2024, 3, 2), 2), file("a.ddd", utc(2024, 3, 1), utc(2024, 3, 2), 2)},
                                                {{utc(2024, 3, 1), {0, 1}, true}, {utc(2024, 3, 2), {0, 1}, true}});
    const ProvenanceModel fewest = model({file("z-full.ddd", utc(2024, 3, 1), utc(2024, 3, 3), 3), file("a-part.ddd", utc(2024, 3, 3), utc(2024, 3, 4), 2)},
                                             {{utc(2024, 3, 1), {0}, false}, {utc(2024, 3, 2), {0}, false}, {utc(2024, 3, 3), {0, 1}, false},
                                              {utc(2024, 3, 4), {1}, false}, {utc(2024, 3, 5), {}, false}});
    ProvenanceModel nothing = model({file("march.ddd", utc(2024, 3, 1), utc(2024, 3, 1), 1)}, {{utc(2024, 3, 1), {0}, false}});
    nothing.driver.clear();
    struct Row { const char* name; ProvenanceModel model; std::string period, part; bool shown; };
    const Row rows[] = {
        // A card read in an office reader still records its last download by a tachograph: the
        // read date shown is never earlier than the newest data of the file.
        {"no newest change known", read(std::nullopt), "", "   Kartenauslesung: 06.03.2024 10:00\n", true},
        {"data before the read", read(utc(2024, 3, 6) + 8 * 3600), "", "   Kartenauslesung: 06.03.2024 10:00\n", true},
        {"data after the read", read(utc(2024, 3, 29) + 16 * 3600), "", "   Kartenauslesung: nicht vor 29.03.2024 17:00 (die Karte vermerkt 06.03.2024 10:00)\n", true},
        {"identical downloads list only one", identical, "", "  (1) a.ddd\n   Kartenauslesung: unbekannt\n", true},
        {"the other is left out", identical, "", "b.ddd", false},
        {"their days", identical, "", "Zusammengesetzt: 2 Tage aus 1 Datei.\n", true},
        {"the fewest files, sorted", fewest, "2024/03", "  (1) a-part.ddd\n", true},
        {"the part takes the day the full one lacks", fewest, "2024/03", "   Tage daraus:     04.03.2024  (1 Tag)\n", true},
        {"its days", fewest, "2024/03", "   Tage daraus:     01.03.2024 – 03.03.2024  (3 Tage)\n", true},
        {"the sum", fewest, "2024/03", "Zusammengesetzt: 4 Tage aus 2 Dateien.\n", true},
        {"no note without conflicts", fewest, "2024/03", "Hinweis", false},
        {"a driver without a name", nothing, "2024/05", "Fahrer:   (" + nationName(13) + ")\n", true},
        {"nothing in the period", nothing, "2024/05", "Erstellt: 01.01.1970 durch VELMORANT DDD\n\nFür diesen Zeitraum wurden keine Tagesdaten aus Quelldateien\nübernommen.\n", true},
        {"the whole history", model(), "", "Zeitraum: Gesamter Verlauf\n", true},
        {"a month", model(), "2024/05", "Zeitraum: Mai 2024\n", true},
        {"no month 13", model(), "2024/13", "Zeitraum: 2024/13\n", true},
        {"another separator", model(), "2024-05", "Zeitraum: 2024-05\n", true},
    };
    for (const auto& row : rows) EXPECT_EQ(contains(renderProvenanceText(row.model, row.period, 0), row.part), row.shown) << row.name;
    EXPECT_TRUE(renderProvenanceText(identical, "", 0).ends_with("zugeordnete Datei:\n   01.03.2024 – 02.03.2024\n"));
}

}  // namespace
}  // namespace ddd::report
