#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <random>

#include "analysis/reference_rules.h"
#include "core/json_writer.h"
#include "core/primitives.h"
#include "report/analysis_json.h"
#include "tests/support/temp_folder.h"
#include "tools/generator/card_generator.h"

namespace ddd {
namespace {

std::int64_t utc(int y, unsigned m, unsigned d, int hh = 0, int mm = 0) { return daysFromCivil(y, m, d) * 86400 + hh * 3600 + mm * 60; }

// One record of every kind, with awkward texts.
AnalysisResult oneOfEach() {
    AnalysisResult r;
    r.ok = true;
    r.driver = "Max \"Maxi\" M\xC3\xBCller";
    r.card = "DF00001234567800";
    r.nation = 13;
    r.filesMerged = 2;
    ShiftRecord shift{{utc(2024, 3, 4, 5, 0), utc(2024, 3, 4, 16, 30), 9 * 3600, 3600, 1800, 2700, 0, 7, 0},
                      {{60, 480, 540}, {0, 60, 60}, {0, 30, 30}, {0, 45, 45}, {}, 2, 5, "B-VM 4711", 612, 660, 630, 0, false}};
    r.shifts = {shift};
    r.violations = {{200814, utc(2024, 3, 5, 6, 0), 4, 3, 2}, {200801, utc(2024, 3, 4, 12, 0), 630, 540, 4}};
    const LegalViolation count{"eu.561.daily_rest.reduced_count", "", "VO (EG) 561/2006", "", 2, 0, 1, 4, 3, 0, 0, utc(2024, 3, 5, 6, 0)};
    const LegalViolation driving{"eu.561.daily_driving", "", "VO (EG) 561/2006", "Art. 6 Abs. 1", 3, 0, 0, 10 * 3600 + 30 * 60, 9 * 3600, 0, 0, count.when};
    r.legalViolations = {count, driving};
    r.forecasts = {{16200, 16200, utc(2024, 3, 4, 16, 30)}};
    r.activities = {{utc(2024, 3, 4, 5, 0), utc(2024, 3, 4, 9, 30), 3, 0}, {utc(2024, 3, 4, 9, 30), utc(2024, 3, 5, 0, 0), 255, 1}};
    r.coverageGaps = {{utc(2024, 3, 4, 9, 30), utc(2024, 3, 5, 0, 0), 0}};
    const Registration plate{13, "B-VM 4711"};
    r.vehicles = {{120000, 120612, 0xFFFFFFFFll, utc(2024, 3, 4, 16, 30), plate, 0, false, ""}};
    r.countries = {{utc(2024, 3, 4, 5, 0), 0, 13, 1, 120000, 0, 0, 0, 0, false}};
    r.events = {{7, utc(2024, 3, 4, 8, 0), 0, plate}};
    r.controls = {{0x80, utc(2024, 3, 4, 10, 0), 0, 0, {'D', '1', '2'}, plate, 0, 0}};
    r.specials = {{utc(2024, 3, 4, 12, 0), 2}};
    const AuthenticityCheck tampered{Authenticity::Invalid, {"Places (0x0506, first generation): signature does not match the file"},
                                     {"Die Datei \u201EPlaces\u201C (1. Generation) stimmt nicht mit ihrer Signatur überein."},
                                     {"Card_Certificate (0xC100, first generation): 0012340D012601A1, valid until 01.01.2035"}};
    r.authenticity = {{"max_2024-03-05.ddd", tampered}, {"", std::nullopt}};
    r.skippedFiles = {{"/a/M\xFCller.ddd", "ist eine Pipe, keine Datei"}};
    r.remaining = RemainingTimes{utc(2024, 3, 4, 16, 30), {8 * 3600 + 59 * 60, 36000}, {16200, 16200}, {57 * 3600, 201600}, {80 * 3600, 324000},
                                 {59 * 3600, 216000}, utc(2024, 3, 4, 23, 0), std::nullopt, 1, 0};
    r.borderCrossings = {{13, 40, {utc(2024, 3, 4, 8, 30), 5, 52205, -14330, 0, true}, 0xFFFFFF}};
    r.loadOperations = {{utc(2024, 3, 4, 9), 1, {}, 120100}};
    r.countryDays = {{utc(2024, 3, 3, 23), {{13, 3 * 3600, 1800, 0}, {40, 3600, 0, 900}}, false}};
    r.recordDiagnostics = {"Ländercode 153 unbekannt"};
    return r;
}

TEST(AnalysisJson, WholeDocumentByteExact) {
    const std::string expected =
        R"({"ok":true,"driver":"Max \"Maxi\" Müller","card":"DF00001234567800","nation":13,)"
        R"("period":"04.03.2024 – 05.03.2024","filesMerged":2,)"
        R"("counts":{"shifts":1,"violations":2,"forecasts":1,"activities":2,"coverageGaps":1,"vehicles":1},)"
        R"("shifts":[{"date":"04.03.2024","beg":"06:00","end":"17:30","dur":"11:30","drive":"09:00","work":"01:00",)"
        R"("standby":"00:30","rest":"11:00","pdf":{"edate":"04.03.2024","veh":"B-VM 4711","stops":2,"acts":5,)"
        R"("durT":["11:15","01:00","10:15"],"drv":["09:00","01:00","08:00"],"wrk":["01:00","00:00","01:00"],)"
        R"("sby":["00:30","00:00","00:30"],"pau":["00:45","00:00","00:45"],"unk":["00:00","00:00","00:00"],)"
        R"("dw":["10:00","01:00","09:00"],"dws":["10:30","01:00","09:30"],"low":false,"restC":"10:30",)"
        R"("restS":"00:00","dist":"612"}}],)"
        R"("violations":[{"code":200814,"rule":")" + std::string(referenceRuleText(200814)) +
        R"(","when":"05.03.2024 · 07:00","val":"4","lim":"3","lvl":2},)"
        R"({"code":200801,"rule":")" + std::string(referenceRuleText(200801)) +
        R"(","when":"04.03.2024 · 13:00","val":"10:30","lim":"09:00","lvl":4}],)"
        R"("legalViolations":[{"code":"eu.561.daily_rest.reduced_count","article":"VO (EG) 561/2006","severity":"SI",)"
        R"("when":"05.03.2024 · 07:00","val":4,"lim":3},{"code":"eu.561.daily_driving","article":"Art. 6 Abs. 1",)"
        R"("severity":"VSI","when":"05.03.2024 · 07:00","val":"10:30","lim":"09:00"}],)"
        R"("coverageGaps":[{"beg":"04.03.2024 10:30","end":"05.03.2024 01:00","dur":"14:30","cause":"Karte nicht gesteckt"}],)"
        R"("forecasts":[{"type":"max","val":"04:30","max":"04:30","when":"04.03.2024"}],)"
        R"("vehicles":[{"plate":"B-VM 4711","nation":13,"first":"-","last":"04.03.2024","odoStart":120000,"odoEnd":120612}],)"
        R"("countries":[{"when":"04.03.2024 06:00","type":0,"country":13,"odometer":120000,"card":""}],)"
        R"("events":[{"type":7,"purpose":"","start":"04.03.2024 09:00","end":"-","plate":"B-VM 4711","codriver":""}],)"
        R"("controls":[{"when":"04.03.2024 11:00","type":128,"card":"D12","plate":"B-VM 4711","begin":"- -","end":"- -"}],)"
        R"("specials":[{"when":"04.03.2024 13:00","type":2}],)"
        R"("activities":[{"date":"04.03.2024","beg":"06:00","end":"10:30","dur":"04:30","type":3,"card":true},)"
        R"({"date":"04.03.2024","beg":"10:30","end":"01:00","dur":"14:30","type":4,"card":false}],)"
        R"("authenticity":[{"file":"max_2024-03-05.ddd","status":"invalid",)"
        R"("problems":["Places (0x0506, first generation): signature does not match the file"],)"
        R"("notes":["Card_Certificate (0xC100, first generation): 0012340D012601A1, valid until 01.01.2035"],)"
        R"("sentences":["Die Datei „Places“ (1. Generation) stimmt nicht mit ihrer Signatur überein."]},)"
        R"({"file":"","status":"unchecked","problems":[],"notes":[],"sentences":[]}],)"
        R"("skipped":{"count":1,"files":[{"file":"/a/M\\xFCller.ddd","reason":"ist eine Pipe, keine Datei"}]},)"
        R"("remaining":{"asOf":"04.03.2024 17:30","dailyDriving":{"used":"08:59","limit":"10:00","left":"01:01"},)"
        R"("drivingSinceBreak":{"used":"04:30","limit":"04:30","left":"00:00"},)"
        R"("weeklyDriving":{"used":"57:00","limit":"56:00","left":"00:00"},)"
        R"("fortnightDriving":{"used":"80:00","limit":"90:00","left":"10:00"},)"
        R"("weeklyWorkingTime":{"used":"59:00","limit":"60:00","left":"01:00"},)"
        R"("dailyRestLatestStart":"05.03.2024 00:00","weeklyRestLatestStart":"",)"
        R"("reducedDailyRestsLeft":1,"reducedDailyRestsAllowed":3,"extensionsLeft":0,"extensionsAllowed":2},)"
        R"("codeNames":{"events":{"7":"Geschwindigkeitsüberschreitung"},"controls":{"128":"Karten-Download"},)"
        R"("specials":{"2":"Out of Scope – Ende"},"countries":{"0":"Beginn"}},"dataEnd":"",)"
        R"("borderCrossings":[{"when":"04.03.2024 09:30","from":13,"to":40,"position":{"lat":"52°20.5'N","lon":"14°33.0'W",)"
        R"("latDec":52.34167,"lonDec":-14.55000,"accuracy":5},"odometer":"","authenticated":false}],)"
        R"("loadOperations":[{"when":"04.03.2024 10:00","type":1,"name":"Beladen","position":null,"odometer":120100,"authenticated":false}],)"
        R"("countryDays":[{"date":"04.03.2024","fromPlaces":false,"countries":[{"country":13,"drive":"03:00","work":"00:30",)"
        R"("standby":"00:00","total":"03:30"},{"country":40,"drive":"01:00","work":"00:00","standby":"00:15","total":"01:15"}]}],)"
        R"("recordDiagnostics":["Ländercode 153 unbekannt"]})";
    EXPECT_EQ(toAnalysisJson(oneOfEach()), expected);
}

TEST(AnalysisJson, EdgeRenderings) {
    AnalysisResult refused;
    refused.error = "bad \"file\"\n";
    EXPECT_EQ(toAnalysisJson(refused), R"({"ok":false,"error":"bad \"file\"\n"})");
    struct Row { const char* name; std::function<void(AnalysisResult&)> change; std::vector<std::string> parts; };
    const Row rows[] = {
        {"nothing analysed", [](AnalysisResult& r) { r = AnalysisResult{}, r.ok = true; }, {R"("period":"–")", R"("activities":[])", R"("remaining":null,"codeNames":{"events":{},)"}},
        {"activities to the day the data ends", [](AnalysisResult& r) { r.activities.push_back({utc(2024, 3, 9, 10, 0), utc(2024, 3, 13, 14, 0), 0, 0}); },
         {R"("period":"04.03.2024 – 13.03.2024")", R"("dur":"100:00")"}},
        {"control characters and broken UTF-8", [](AnalysisResult& r) { r.driver = std::string("a\x01" "b\xE9" "c\xC3\xA4\t", 8); }, {R"("driver":"a\u0001b\uFFFDcä\t")"}},
        {"a card still in a vehicle", [](AnalysisResult& r) { r.vehicles[0].odometerEnd = r.countries[0].odometer = 0xFFFFFF, r.dataEnd = utc(2024, 3, 4, 12, 16); },
         {R"("odoStart":120000,"odoEnd":"")", R"("odometer":"","card")", R"("dataEnd":"04.03.2024 13:16",)"}},
        {"a gap ending before it begins", [](AnalysisResult& r) { r.coverageGaps[0].end = r.coverageGaps[0].begin - 60; }, {R"("dur":"00:00","cause")"}},
    };
    for (const auto& row : rows) {
        AnalysisResult r = oneOfEach();
        row.change(r);
        const std::string json = toAnalysisJson(r);
        for (const auto& part : row.parts) EXPECT_NE(json.find(part), std::string::npos) << row.name << ": " << part;
    }
}

// Every card text reaches the document escaped: no control character, no malformed UTF-8 (DEL
// needs no escape in JSON text, so it is left out of the texts).
TEST(AnalysisJson, ValidForEveryText) {
    std::mt19937 random(4711);
    for (int round = 0; round < 2000; ++round) {
        AnalysisResult r = oneOfEach();
        std::string text(random() % 40, '\0');
        for (char& c : text) c = static_cast<char>(random());
        std::erase(text, '\x7F');
        r.driver = r.shifts[0].detail.vehicle = r.events[0].vehicle.number = r.error = text;
        for (const bool ok : {true, false}) {
            r.ok = ok;
            const std::string json = toAnalysisJson(r);
            ASSERT_EQ(visibleText(json), json);
        }
    }
}

// Documents of cards without the second version's files, as the program wrote them before it read
// those files: byte for byte the same, with the new members empty after the earlier ones.
TEST(AnalysisJson, EarlierCardsKeepTheirDocument) {
    const std::pair<gen::CardDescription, std::string> cards[] = {
        {gen::demoCard(), "demo"},
        {gen::randomCard(11, 30, gen::Generation::Gen1), "random-11-30-gen1"},
        {gen::randomCard(12, 30, gen::Generation::Both), "random-12-30-both"},
    };
    for (const auto& [card, name] : cards) {
        test::TempFolder folder;
        const auto path = folder.write(name == "demo" ? "demo.ddd" : "karte.ddd", gen::writeCardDownload(card));
        std::ifstream in(std::string(DDD_GOLDEN_DIR) + "/" + name + ".json");
        std::string golden((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_TRUE(golden.ends_with("}\n")) << name;
        golden.resize(golden.size() - 2);
        EXPECT_EQ(analyzeOpenedFile(path.string()),
                  golden + R"(,"borderCrossings":[],"loadOperations":[],"countryDays":[],"recordDiagnostics":[]})") << name;
    }
}

}  // namespace
}  // namespace ddd
