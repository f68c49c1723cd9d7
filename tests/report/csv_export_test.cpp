#include <gtest/gtest.h>

#include "analysis/pipeline.h"
#include "core/primitives.h"
#include "report/csv_export.h"
#include "tests/support/temp_folder.h"

namespace ddd::report {
namespace {

using test::contains;
using test::readFile;
using test::TempFolder;

std::int64_t utc(int y, unsigned m, unsigned d, int hh = 0, int mm = 0) {
    return daysFromCivil(y, m, d) * 86400 + hh * 3600 + mm * 60;
}

TEST(CsvRow, Quoting) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"a", "b c", "1"}, "a;b c;1\r\n"},
        {{"HH;AB 1", "x"}, "\"HH;AB 1\";x\r\n"},
        {{"say \"hi\""}, "\"say \"\"hi\"\"\"\r\n"},
        {{"a\nb"}, "\"a\nb\"\r\n"},
        {{"a\rb"}, "\"a\rb\"\r\n"},
        {{"", ""}, ";\r\n"},
        {{}, "\r\n"},
        {{"F\xC3\xA4hre/Zug"}, "F\xC3\xA4hre/Zug\r\n"},
    };
    for (const auto& [fields, expected] : cases) {
        std::string text;
        appendCsvRow(text, fields);
        EXPECT_EQ(text, expected);
    }
}

TEST(SpreadsheetText, NeutralisesFormulaStarts) {
    const std::pair<std::string, std::string> cases[] = {
        {"=HYPERLINK(\"http://x\")", "'=HYPERLINK(\"http://x\")"}, {"+49 170", "'+49 170"}, {"-2+3", "'-2+3"},
        {"@SUM(A1)", "'@SUM(A1)"}, {"\t=1", "'\t=1"}, {"\r=1", "'\r=1"}, {"B-AB 123", "B-AB 123"}, {"AB=1", "AB=1"}, {"", ""},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(spreadsheetText(text), expected) << text;
}

// A small result with one record in chosen lists, each carrying an awkward value.
AnalysisResult sampleResult() {
    AnalysisResult r;
    r.ok = true;
    ShiftRecord shift;
    shift.core.start = utc(2024, 3, 4, 5, 0);   // 06:00 local
    shift.core.end = shift.core.start + 26 * 3600;
    shift.core.drive = 9 * 3600 + 30 * 60;
    shift.detail.vehicle = "=cmd|' /C calc'!A0";
    shift.detail.rest = 11 * 60;
    r.shifts.push_back(shift);
    CardVehicleRecord vehicle;
    vehicle.registration = {13, "HH;AB \"1\""};
    vehicle.firstUse = utc(2024, 3, 4, 6);
    vehicle.lastUse = 0xFFFFFFFF;
    vehicle.odometerBegin = 1000;
    vehicle.odometerEnd = 1500;
    r.vehicles.push_back(vehicle);
    ActivitySegment unknown{utc(2024, 3, 4, 6), utc(2024, 3, 4, 7), kUnknownActivity, 1};
    r.activities.push_back(unknown);
    return r;
}

TEST(CsvTables, BytesOfEveryLine) {
    const auto tables = buildCsvTables(sampleResult());
    ASSERT_EQ(tables.size(), 3u) << "only tables with records";
    EXPECT_EQ(tables[0].second,
              "\xEF\xBB\xBF"
              "Datum;Beginn;Ende;Dauer;Lenken;Arbeit;Bereitschaft;Pause;Unbekannt;Ruhe;Fahrzeug;Stopps;Taetigkeiten\r\n"
              "04.03.2024;06:00;08:00;26:00;09:30;00:00;00:00;00:00;00:00;11:00;'=cmd|' /C calc'!A0;0;0\r\n");
    EXPECT_EQ(tables[1].second,
              "\xEF\xBB\xBF"
              "Kennzeichen;Nation;ErsteNutzung;LetzteNutzung;kmBeginn;kmEnde\r\n"
              "\"HH;AB \"\"1\"\"\";" + nationName(13) + ";04.03.2024;-;1000;1500\r\n");
    EXPECT_EQ(tables[2].second,
              "\xEF\xBB\xBF"
              "Datum;Beginn;Ende;Dauer;Taetigkeit;Karte\r\n"
              "04.03.2024;07:00;08:00;01:00;Unbekannt;nein\r\n");
}

TEST(CsvTables, CountValuedFindingIsAPlainNumber) {
    AnalysisResult r;
    r.ok = true;
    r.violations.push_back({200814, utc(2024, 3, 4, 12), 4, 3, 2});
    r.violations.push_back({200801, utc(2024, 3, 4, 12), 630, 540, 4});
    const auto tables = buildCsvTables(r);
    ASSERT_EQ(tables.size(), 1u);
    EXPECT_TRUE(contains(tables[0].second, ";04.03.2024 13:00;4;3;2\r\n"));
    EXPECT_TRUE(contains(tables[0].second, ";04.03.2024 13:00;10:30;09:00;4\r\n"));
}

class CsvExport : public testing::Test {
protected:
    std::string card(std::uint64_t seed = 7, int days = 40) {
        return folder_.writeCard("card.ddd", gen::randomCard(seed, days, gen::Generation::Gen1));
    }
    TempFolder folder_;
};

TEST_F(CsvExport, WritesTheSetBesideTheBasePath) {
    const std::string file = card();
    const CsvExportResult result = exportCsv({file}, "", folder_.file("csv"));
    ASSERT_TRUE(result.ok) << result.error;
    const auto tables = buildCsvTables(analyzeFiles({file}));
    EXPECT_EQ(result.written, static_cast<int>(tables.size()));
    for (const auto& [name, content] : tables) EXPECT_EQ(readFile(folder_.file("csv_" + name + ".csv")), content) << name;
    EXPECT_EQ(folder_.entries().size(), tables.size() + 1);
}

// Sum of the "Lenken" column, read back from the bytes, against the analysis.
TEST_F(CsvExport, DrivingColumnAddsUpToTheAnalysis) {
    const std::string file = card(11, 60);
    ASSERT_TRUE(exportCsv({file}, "", folder_.file("csv")).ok);
    std::int64_t expected = 0;
    for (const auto& shift : analyzeFiles({file}).shifts) expected += shift.core.drive / 60;
    std::istringstream lines(readFile(folder_.file("csv_schichten.csv")));
    std::string line;
    std::getline(lines, line);
    std::int64_t minutes = 0;
    while (std::getline(lines, line)) {
        ASSERT_EQ(line.back(), '\r');
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, ';');) fields.push_back(cell);
        ASSERT_GE(fields.size(), 5u);
        minutes += std::stoll(fields[4].substr(0, fields[4].find(':'))) * 60 + std::stoll(fields[4].substr(fields[4].find(':') + 1));
    }
    EXPECT_EQ(minutes, expected);
}

TEST_F(CsvExport, OutdatedTablesOfTheSameBaseAreRemoved) {
    const std::string file = card();
    const char* names[] = {"schichten",  "verstoesse", "nicht_bewertbar", "fahrzeuge",   "laender",
                           "ereignisse", "kontrollen", "sonderfaelle",    "taetigkeiten"};
    for (const char* name : names) folder_.writeText(std::string("csv_") + name + ".csv", "from an earlier export");
    folder_.writeText("other_sonderfaelle.csv", "not ours");
    ASSERT_TRUE(exportCsv({file}, "", folder_.file("csv")).ok);
    const auto tables = buildCsvTables(analyzeFiles({file}));
    ASSERT_LT(tables.size(), std::size(names));
    for (const char* name : names) {
        const bool current = std::any_of(tables.begin(), tables.end(), [&](const CsvTable& t) { return t.first == name; });
        EXPECT_EQ(std::filesystem::exists(folder_.file(std::string("csv_") + name + ".csv")), current) << name;
    }
    EXPECT_EQ(readFile(folder_.file("other_sonderfaelle.csv")), "not ours");
}

TEST_F(CsvExport, AnalysisFailureWritesNothing) {
    const std::string file = folder_.writeText("broken.ddd", std::string(300, 'v'));
    const CsvExportResult result = exportCsv({file}, "", folder_.file("csv"));
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.written, 0);
    EXPECT_FALSE(result.error.empty());
    EXPECT_EQ(folder_.entries().size(), 1u);
}

TEST_F(CsvExport, MissingFolderNamesTheFile) {
    const std::string file = card();
    const std::string base = folder_.file("missing/csv");
    const CsvExportResult result = exportCsv({file}, "", base);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, "cannot write: " + base + "_schichten.csv");
    EXPECT_EQ(result.basePath, base);
    EXPECT_EQ(folder_.entries().size(), 1u);
}

// A file-size limit fills the "disk" in the middle of the set: the earlier export stays whole.
TEST_F(CsvExport, FullDiskLeavesTheEarlierSetWhole) {
    const std::string file = card(3, 60);
    ASSERT_TRUE(exportCsv({file}, "", folder_.file("csv")).ok);
    const std::string before = readFile(folder_.file("csv_taetigkeiten.csv"));
    const auto entries = folder_.entries().size();
    const CsvExportResult result = [&] {
        const test::FileSizeLimit full(2048);
        return exportCsv({file}, "", folder_.file("csv"));
    }();
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error.rfind("write failed: " + folder_.file("csv_"), 0), 0u) << result.error;
    EXPECT_EQ(readFile(folder_.file("csv_taetigkeiten.csv")), before);
    EXPECT_EQ(folder_.entries().size(), entries);
}

}  // namespace
}  // namespace ddd::report
