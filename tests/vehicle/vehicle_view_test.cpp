// The vehicle view's model and document on generated downloads written into a real folder tree:
// driving without a card to the minute, due dates at their boundary days, the merge of
// overlapping downloads, signatures per source and damaged files.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "analysis/vehicle_folder.h"
#include "core/certificate.h"
#include "report/vehicle_csv.h"
#include "report/vehicle_json.h"
#include "report/vehicle_report.h"
#include "tests/support/temp_folder.h"
#include "tools/generator/card_generator.h"
#include "tools/vu_generator/vu_generator.h"

namespace {

using namespace ddd;
using namespace ddd::gen;

const std::int64_t kNow = utcTime(2024, 3, 10, "12:00");

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(VehicleDocument, FullUnitWithItsDriversCardReportAndErrors) {
    test::TempFolder folder;
    VuDescription full = fullVuDescription(VuLayout::Gen2);
    full.companyLocks[0].companyName = "A & <B>";
    full.unwrittenFill = 0xFF;
    full.events.push_back(full.events[1]);
    full.events.back().type = 0x07;  // an overspeeding kept among the events
    full.days.push_back(VuDay{0, false, 0, 1, {}});  // a day block without its date
    const std::string opened = folder.write("full.ddd", writeVuDownload(full)).string();
    CardDescription card;
    card.identity.surname = "Weiß";
    card.identity.cardNumber = "DF00000000001101";
    const std::string cardPath = folder.write("cards/weiss.ddd", writeCardDownload(card)).string();
    VuDescription other;
    other.vin = "ANOTHERVIN0000001";
    const std::string bare = report::vehicleDocumentOfFile(folder.write("other.ddd", writeVuDownload(other)).string(), kNow);
    EXPECT_TRUE(contains(bare, R"("unit":null)") && contains(bare, R"("overspeedControl":null)")) << bare;

    const std::string doc = report::vehicleDocumentOfFile(opened, kNow);
    EXPECT_TRUE(contains(doc, R"("ok":true,"vehicle":true,"vin":"WDB9634031L123456","plate":"M AB 123","nation":13)")) << doc;
    EXPECT_TRUE(contains(doc, R"("sources":[{"file":"full.ddd")"));
    EXPECT_EQ(doc.find("ANOTHERVIN"), std::string::npos);
    EXPECT_TRUE(contains(doc, R"("card":"DF00000000001100","nation":13)") && contains(doc, "\"file\":\"" + cardPath + "\"")) << doc;
    EXPECT_FALSE(contains(doc, "16777215"));
    EXPECT_TRUE(contains(doc, R"("period":"01.03.2024 – 02.03.2024")"));
    EXPECT_TRUE(contains(doc, R"("code":7,"name":"Geschwindigkeitsüberschreitung","kind":"overspeed","kindName":"Geschwindigkeitsüberschreitung","highlight":true,"count":2,)"));

    EXPECT_EQ(report::vehicleDocumentOfFile(folder.file("missing.ddd"), kNow),
              R"({"ok":false,"vehicle":true,"error":"Die Datei kann nicht gelesen werden: existiert nicht."})");
    EXPECT_TRUE(contains(report::vehicleDocumentOfFile(cardPath, kNow), "kein Download einer Fahrzeugeinheit"));

    std::string rendered, error;
    const report::HtmlToPdf render = [&](const std::string& html, const std::string&, std::string&, double) {
        rendered = html;
        return true;
    };
    EXPECT_TRUE(report::vehiclePdf(opened, folder.file("v.pdf"), error, render, kNow));
    EXPECT_TRUE(contains(rendered, "A &amp; &lt;B&gt;") && !contains(rendered, "<B>"));
    EXPECT_TRUE(contains(rendered, "Kalibrierung fällig am 02.05.2024") && contains(rendered, "Erika Öztürk"));
    rendered.clear();
    EXPECT_FALSE(report::vehiclePdf(cardPath, folder.file("v.pdf"), error, render, kNow));
    EXPECT_TRUE(rendered.empty());
    EXPECT_EQ(error, "Die Datei ist kein Download einer Fahrzeugeinheit (VU).");
}

}  // namespace

// Both slots of a unit drive without a card; one day's words stored out of minute order, one
// stretch running over midnight into the next downloaded day, whose date the unit stored as its
// last second. Distances come from the odometer
// readings around a stretch when nothing else was driven between them, else from detailed speed.
TEST(VehicleModel, DrivingWithoutCardToTheMinute) {
    VuDescription vu = fullVuDescription(VuLayout::Gen2);
    vu.speed.clear();
    for (std::int64_t t = utcTime(2024, 3, 1, "14:00"); t < utcTime(2024, 3, 1, "14:20"); t += 60) {
        vu.speed.push_back({static_cast<std::uint32_t>(t), {}});
        vu.speed.back().speeds.fill(60);
    }
    VuDay first = vu.days[0], second = vu.days[1];
    first.stays.clear();
    second.stays.clear();
    first.changeWords = vuChangeWords("00:00 rest+absent 10:00 drive+absent 10:45 rest+absent 23:30 drive+absent",
                                      "00:00 rest+absent 14:00 drive+absent 14:20 rest+absent 15:00 drive 15:30 rest");
    std::swap(first.changeWords[4], first.changeWords[5]);  // 14:20 before 14:00
    second.changeWords = vuChangeWords("00:00 drive+absent 00:40 rest+absent", "00:00 rest+absent");
    second.date += 86399;  // stored as the day's last second
    first.odometerMidnight = 1000;
    second.odometerMidnight = 1100;
    const auto place = [](std::int64_t t, std::uint32_t km) { return VuPlace{std::nullopt, t, 0, 13, 0, km, std::nullopt}; };
    first.places = {place(utcTime(2024, 3, 1, "12:00"), 1040), place(utcTime(2024, 3, 1, "16:00"), 1090)};
    second.places = {place(utcTime(2024, 3, 2, "01:00"), 1160)};
    vu.days = {first, second};
    const auto bytes = writeVuDownload(vu);
    const VehicleModel m = buildVehicleModel({{"a.ddd", decodeVuDownload(bytes), {}}}, {}, kNow);

    struct Expected {
        int slot;
        std::int64_t begin, end;
        std::uint32_t km;
    };
    const Expected expected[] = {{0, utcTime(2024, 3, 1, "10:00"), utcTime(2024, 3, 1, "10:45"), 40},
                                 {1, utcTime(2024, 3, 1, "14:00"), utcTime(2024, 3, 1, "14:20"), 20},
                                 {0, utcTime(2024, 3, 1, "23:30"), utcTime(2024, 3, 2, "00:40"), 70}};
    ASSERT_EQ(m.noCard.size(), std::size(expected));
    for (std::size_t i = 0; i < m.noCard.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(m.noCard[i].slot, expected[i].slot);
        EXPECT_EQ(m.noCard[i].begin, expected[i].begin);
        EXPECT_EQ(m.noCard[i].end, expected[i].end);
        EXPECT_EQ(m.noCard[i].km, expected[i].km);
    }
    const std::string doc = report::toVehicleJson({"", "", m});
    EXPECT_TRUE(contains(doc, R"({"date":"01.03.2024","slot":1,"slotName":"Fahrer","beg":"11:00","end":"11:45","dur":"00:45","km":"40")"));
    EXPECT_TRUE(contains(doc, R"("days":[{"date":"01.03.2024","count":2,"dur":"01:05","km":"60"},{"date":"02.03.2024","count":1,"dur":"01:10","km":"70"}],"count":3,"dur":"02:15","km":"130")")) << doc;
    EXPECT_TRUE(contains(doc, R"({"b":660,"e":705,"a":3,"card":false})"));
}

// A unit is calibrated at least every two years: the due date is the earlier of the stored next
// calibration and two years after the newest one; the next download is due 90 days after the last.
TEST(VehicleModel, DueDatesAtTheirBoundaryDays) {
    struct Case {
        const char* name;
        std::int64_t calibrated;
        std::optional<std::int64_t> next;
        std::int64_t now;
        const char* due;
        DueState state;
        std::int64_t days;
    };
    const std::int64_t may2022 = utcTime(2022, 5, 2, "08:01");
    const Case cases[] = {
        {"31 days ahead", may2022, utcDay(2024, 5, 2), utcTime(2024, 4, 1, "12:00"), "02.05.2024", DueState::Ok, 31},
        {"30 days ahead", may2022, utcDay(2024, 5, 2), utcTime(2024, 4, 2, "12:00"), "02.05.2024", DueState::Soon, 30},
        {"due day, late evening", may2022, utcDay(2024, 5, 2), utcTime(2024, 5, 2, "21:30"), "02.05.2024", DueState::Soon, 0},
        {"day after", may2022, utcDay(2024, 5, 2), utcTime(2024, 5, 2, "22:30"), "02.05.2024", DueState::Overdue, -1},
        {"stored date beyond two years", may2022, utcDay(2025, 1, 1), utcTime(2024, 5, 3, "08:00"), "02.05.2024", DueState::Overdue, -1},
        {"stored date earlier", may2022, utcDay(2023, 5, 2), utcTime(2023, 5, 2, "08:00"), "02.05.2023", DueState::Soon, 0},
        {"29 February", utcTime(2024, 2, 29, "10:00"), std::nullopt, utcTime(2026, 2, 28, "10:00"), "28.02.2026", DueState::Soon, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        VuDescription vu = fullVuDescription(VuLayout::Gen2);
        vu.calibrations.resize(1);
        vu.calibrations[0].newTime = c.calibrated;
        vu.calibrations[0].nextCalibration = c.next;
        const VehicleModel m = buildVehicleModel({{"a.ddd", decodeVuDownload(writeVuDownload(vu)), {}}}, {}, c.now);
        ASSERT_TRUE(m.calibrationDue.due);
        EXPECT_EQ(formatUtcDate(*m.calibrationDue.due), c.due);
        EXPECT_EQ(m.calibrationDue.state, c.state);
        EXPECT_EQ(m.calibrationDue.daysLeft, c.days);
    }
    // Downloaded 03.03.2024 09:00 local time.
    const VuDownload vu = decodeVuDownload(writeVuDownload(fullVuDescription(VuLayout::Gen1Fixed)));
    for (const auto& [now, state] : {std::pair{utcTime(2024, 6, 1, "21:00"), DueState::Soon}, {utcTime(2024, 6, 1, "22:00"), DueState::Overdue}}) {
        const VehicleModel m = buildVehicleModel({{"a.ddd", vu, {}}}, {}, now);
        EXPECT_EQ(formatUtcDate(*m.downloadDue.due), "01.06.2024");
        EXPECT_EQ(m.downloadDue.state, state);
    }
}

VuDescription download(std::int64_t downloadedAt, std::vector<VuDay> days, std::uint32_t midnightKm) {
    VuDescription vu = fullVuDescription(VuLayout::Gen2);
    vu.vuTime = downloadedAt;
    for (VuDay& day : days) day.odometerMidnight = static_cast<int>(midnightKm);
    vu.days = std::move(days);
    return vu;
}

// Three downloads of one vehicle overlap: per day the newest copy read whole wins and each day
// names its file; a cut-off newer copy gives way, a signed one verifies, a changed byte makes
// its download invalid, and a download of another vehicle in the tree stays out. A download in
// the first generation's layout repeats the records without adding to them.
TEST(VehicleFolder, MergeProvenanceSignaturesAndDamage) {
    const VuDescription full = fullVuDescription(VuLayout::Gen2);
    VuDay march3 = full.days[1];
    march3.date = utcDay(2024, 3, 3);
    const Gen2TestPki pki = makeGen2TestPki();
    VuDescription newer = download(utcTime(2024, 3, 5, "08:00"), {full.days[1], march3}, 2000);
    newer.gen2Signing = pki.card;
    const VuDescription newest = download(utcTime(2024, 3, 6, "08:00"), {march3}, 3000);
    auto cut = writeVuDownload(newest);
    for (const VuBlock& block : decodeVuDownload(cut).blocks) {
        if (block.kind == VuBlockKind::Activities) cut.resize(block.offset + 40);
    }
    auto signedBytes = writeVuDownload(newer);
    auto tampered = signedBytes;
    tampered[decodeVuDownload(tampered).blocks.back().signedBegin + 5] ^= 1;
    VuDescription stranger = full;
    stranger.vin = "ANOTHERVIN0000001";

    test::TempFolder folder;
    const std::string opened = folder.write("2024/a.ddd", writeVuDownload(download(utcTime(2024, 3, 3, "08:00"), full.days, 1000))).string();
    folder.write("b.ddd", signedBytes);
    folder.write("c.ddd", cut);
    folder.write("d.ddd", tampered);
    folder.write("e.ddd", writeVuDownload(stranger));
    VuDescription firstLayout = fullVuDescription(VuLayout::Gen1Fixed);
    firstLayout.days.clear();
    folder.write("f.ddd", writeVuDownload(firstLayout));
    TrustAnchors anchors;
    anchors.gen2Roots = {*parseGen2Certificate(pki.rootCertificate).certificate};
    const VehicleFolder found = loadVehicleOfFile(folder.file("c.ddd"), anchors);
    ASSERT_EQ(found.sources.size(), 5u);
    ASSERT_EQ(found.sources[0].download.days.size(), 1u);  // the cut copy of 3 March
    const VehicleModel m = buildVehicleModel(found.sources, found.cards, kNow);

    const std::string names[] = {"c.ddd", "a.ddd", "b.ddd", "d.ddd"};
    const Authenticity statuses[] = {Authenticity::Unsigned, Authenticity::Unsigned, Authenticity::Valid, Authenticity::Invalid};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(std::filesystem::path(m.sources[i].path).filename(), names[i]);
        EXPECT_EQ(m.sources[i].authenticity.status, statuses[i]) << names[i];
    }
    const std::pair<std::uint32_t, std::size_t> kmAndSource[] = {{1000, 1}, {2000, 2}, {2000, 2}};
    ASSERT_EQ(m.days.size(), 3u);
    for (std::size_t d = 0; d < 3; ++d) {
        EXPECT_EQ(m.days[d].date, utcDay(2024, 3, 1 + static_cast<int>(d)));
        EXPECT_EQ(m.days[d].odometerMidnight, kmAndSource[d].first);
        EXPECT_EQ(m.daySource[d], kmAndSource[d].second);
    }
    EXPECT_EQ(m.sourceDays, (std::vector<std::uint32_t>{0, 1, 2, 0, 0}));
    std::size_t records = 0;
    for (const auto& group : m.events) records += group.records.size();
    EXPECT_EQ(records, 4u);
    EXPECT_EQ(m.calibrations.size(), 2u);
    EXPECT_EQ(m.controls.size(), 1u);

    const std::string doc = report::toVehicleJson({"", found.folder, m});
    EXPECT_TRUE(contains(doc, R"("file":"c.ddd",)") && contains(doc, R"("complete":false,"days":0,"problems":[")")) << doc;
    EXPECT_TRUE(contains(doc, R"("problems":["c.ddd: )") && contains(doc, R"("signature":"invalid")"));
    EXPECT_TRUE(contains(doc, R"("provenance":[{"date":"01.03.2024","file":"a.ddd"},{"date":"02.03.2024","file":"b.ddd"},)"));
}

std::vector<std::vector<std::string>> readCsv(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(text.rfind("\xEF\xBB\xBF", 0), 0u) << path;
    std::vector<std::vector<std::string>> rows;
    std::size_t at = 3;
    while (at < text.size()) {
        const std::size_t end = text.find("\r\n", at);
        std::vector<std::string> fields{""};
        for (std::size_t i = at; i < end; ++i) {
            if (text[i] == ';') fields.emplace_back();
            else fields.back() += text[i];
        }
        rows.push_back(fields);
        at = end + 2;
    }
    return rows;
}

// The CSV set holds every record of the view, each text a spreadsheet would run made harmless;
// a later export of a vehicle without locks removes the earlier set's lock table.
TEST(VehicleCsv, SetRoundTripsAndReplacesTheEarlierOne) {
    VuDescription vu = fullVuDescription(VuLayout::Gen1Fixed);
    vu.companyLocks[1].companyName = "@SUM(1)";
    vu.days[0].stays[0].firstNames = "";
    vu.days[0].stays[0].surname = "=1+2";
    test::TempFolder folder;
    const std::string opened = folder.write("unit.ddd", writeVuDownload(vu)).string();
    const std::string base = folder.file("out/fahrzeug");
    std::filesystem::create_directories(folder.file("out"));
    const report::CsvExportResult result = report::exportVehicleCsv(opened, base, kNow);
    ASSERT_TRUE(result.ok) << result.error;

    const VehicleModel m = openVehicle(opened, kNow).model;
    const std::pair<const char*, std::size_t> tables[] = {
        {"ereignisse", 4}, {"kalibrierungen", 2}, {"sperren", 2}, {"kontrollen", 1},
        {"zeitanpassungen", 1}, {"fahrer", m.drivers.size()}, {"quellen", 1}};
    for (const auto& [name, records] : tables) {
        const auto rows = readCsv(base + "_" + name + ".csv");
        ASSERT_EQ(rows.size(), records + 1) << name;
        for (const auto& row : rows) EXPECT_EQ(row.size(), rows[0].size()) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(base + "_fahren_ohne_karte.csv"));
    EXPECT_EQ(readCsv(base + "_sperren.csv")[2][0], "'@SUM(1)");
    EXPECT_EQ(readCsv(base + "_fahrer.csv")[1][0], "'=1+2");

    VuDescription bare;
    bare.vin = "ANOTHERVIN0000001";
    ASSERT_TRUE(report::exportVehicleCsv(folder.write("bare/unit.ddd", writeVuDownload(bare)).string(), base, kNow).ok);
    EXPECT_FALSE(std::filesystem::exists(base + "_sperren.csv"));
    EXPECT_FALSE(report::exportVehicleCsv(folder.file("missing.ddd"), base, kNow).ok);
}

// Against an independent minute-by-minute reading of random days (words out of order, repeated
// minutes, both slots): every minute of driving without a card lies in exactly one stretch, and
// stretches of one slot never touch.
TEST(VehicleModel, NoCardStretchesMatchAMinuteByMinuteReading) {
    std::mt19937 random(22);
    VuDescription vu = fullVuDescription(VuLayout::Gen2);
    vu.days.resize(12);
    std::vector<std::vector<std::uint16_t>> words;
    for (std::size_t d = 0; d < vu.days.size(); ++d) {
        VuDay& day = vu.days[d];
        day = VuDay{utcDay(2024, 3, 1) + static_cast<std::int64_t>(d) * 86400, true, 0, 0, {}};
        day.changeWords = {static_cast<std::uint16_t>(random() & 0x3800), static_cast<std::uint16_t>(0x8000 | (random() & 0x3800))};
        for (int i = 0; i < 12; ++i) day.changeWords.push_back(static_cast<std::uint16_t>((random() & 0xB800) | random() % 1440));
        for (int i = 0; i < 4; ++i) std::swap(day.changeWords[2 + random() % 12], day.changeWords[2 + random() % 12]);
        words.push_back(day.changeWords);
    }
    const VehicleModel m = buildVehicleModel({{"a.ddd", decodeVuDownload(writeVuDownload(vu)), {}}}, {}, kNow);

    std::size_t expectedMinutes = 0;
    for (std::size_t d = 0; d < words.size(); ++d) {
        for (int slot = 0; slot < 2; ++slot) {
            for (int minute = 0; minute < 1440; ++minute) {
                std::optional<std::uint16_t> state;  // the latest change at or before the minute
                for (std::uint16_t w : words[d]) {
                    if ((w >> 15) == slot && (w & 0x7FF) <= minute && (!state || (w & 0x7FF) >= (*state & 0x7FF))) state = w;
                }
                if (!state || ((*state >> 11) & 3) != 3 || !(*state & 0x2000)) continue;
                ++expectedMinutes;
                const std::int64_t t = vu.days[d].date + minute * 60;
                const auto holding = std::count_if(m.noCard.begin(), m.noCard.end(),
                                                   [&](const NoCardStretch& s) { return s.slot == slot && s.begin <= t && t < s.end; });
                EXPECT_EQ(holding, 1) << "day " << d << " slot " << slot << " minute " << minute;
            }
        }
    }
    std::int64_t stretchMinutes = 0;
    for (const NoCardStretch& s : m.noCard) {
        stretchMinutes += (s.end - s.begin) / 60;
        for (const NoCardStretch& other : m.noCard) EXPECT_FALSE(other.slot == s.slot && other.begin == s.end);
    }
    EXPECT_GT(expectedMinutes, 0u);
    EXPECT_EQ(stretchMinutes, static_cast<std::int64_t>(expectedMinutes));
}
