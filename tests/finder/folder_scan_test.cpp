// Folder scans over generated trees: the sessions found against the fleet the trees were
// generated from, de-duplication, statistics, and trees full of things that are not downloads.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <set>
#include <tuple>

#include "core/primitives.h"
#include "finder/driver_index.h"
#include "finder/finder_query.h"
#include "tests/support/temp_folder.h"
#include "tools/generator/card_generator.h"
#include "tools/vu_generator/vu_generator.h"

namespace {

using namespace ddd::gen;
using namespace ddd::finder;
using ddd::test::TempFolder;

DriverIndex scan(const std::filesystem::path& folder) {
    DriverIndex index;
    index.scanDirectory(folder.string(), nullptr);
    return index;
}

using SessionKey = std::tuple<char, std::string, std::string, std::uint32_t, std::int64_t, std::int64_t, std::int64_t, std::int64_t>;

// Fleets whose vehicle units are all second generation, half first generation, or all first:
// every field of every session as the fleet was generated, whatever the generation; a plate at
// an instant gives exactly the drivers the fleet put into that vehicle then, one row per stay
// from card and unit with the role the unit recorded and the distance driven.
TEST(FolderScan, EverySessionOfTheFleetIsFoundOnceAndFoundAgainByPlate) {
    for (const auto& [seed, firstGeneration] : {std::pair{1, 0}, {4, 2}, {6, 4}}) {
        SCOPED_TRACE(testing::Message() << "seed " << seed << ", first-generation vehicles " << firstGeneration);
        const Fleet fleet = makeFleet(static_cast<std::uint64_t>(seed), FleetPlan{.coDriverShare = 0.5, .firstGenerationVehicles = firstGeneration});
        TempFolder folder;
        folder.writeFleet(fleet);
        DriverIndex index = scan(folder.path());
        auto cardOf = [&](const FleetStay& s) { return fleet.drivers[static_cast<std::size_t>(s.driver)].cardNumber.substr(0, 14); };

        std::map<SessionKey, int> expected, found;
        for (const FleetStay& s : fleet.stays) {
            const std::string& plate = fleet.vehicles[static_cast<std::size_t>(s.vehicle)].plate;
            ++expected[{'C', cardOf(s), plate, 0u, s.start, s.end, s.odometerStart, s.odometerEnd}];
            ++expected[{'V', cardOf(s), plate, static_cast<std::uint32_t>(s.slot), s.start, s.end, s.odometerStart, s.odometerEnd}];
        }
        for (const FinderSession& s : index.sessions) ++found[{s.source, s.card, s.plate, s.slot, s.start, s.end, s.odometerStart, s.odometerEnd}];
        EXPECT_EQ(found, expected);
        for (const FinderSession& s : index.sessions) {
            const auto driver = std::find_if(fleet.drivers.begin(), fleet.drivers.end(),
                                             [&](const FleetDriver& d) { return d.cardNumber.substr(0, 14) == s.card; });
            const auto vehicle = std::find_if(fleet.vehicles.begin(), fleet.vehicles.end(), [&](const FleetVehicle& v) { return v.plate == s.plate; });
            ASSERT_TRUE(driver != fleet.drivers.end() && vehicle != fleet.vehicles.end());
            EXPECT_EQ(std::tuple(s.surname, s.firstNames, s.plateNation, s.source == 'V' ? s.vin : vehicle->vin),
                      std::tuple(driver->surname, driver->firstNames, vehicle->nation, vehicle->vin));
            const std::string file = std::filesystem::relative(s.file, folder.path()).string();
            EXPECT_EQ(file.substr(0, file.find('/')), s.source == 'C' ? "cards" : "vehicles") << file;
        }
        EXPECT_EQ(std::tuple(index.filesIndexed, index.filesUnrecognised, index.filesUnreadable),
                  std::tuple(static_cast<std::int64_t>(fleet.cards.size() + fleet.vehicleUnits.size()), 0, 0));
        std::int64_t latest = 0;
        for (const FleetStay& s : fleet.stays) latest = std::max(latest, s.end);
        const auto stats = ddd::finder::stats(index);
        EXPECT_EQ(std::tuple(stats.drivers, stats.vehicles, stats.earliest, stats.latest), std::tuple(6, 4, fleet.stays.front().start, latest));

        index.buildLookup();
        for (const FleetStay& stay : fleet.stays) {
            // The whole hour in German time after the stay's first hour.
            const ddd::CivilTime civil = ddd::toCivilTime(stay.start + 3600);
            const FinderQuery q = parseFinderQuery("{\"plate\":\"" + fleet.vehicles[static_cast<std::size_t>(stay.vehicle)].plate +
                                                   "\",\"y\":" + std::to_string(civil.year) + ",\"mo\":" + std::to_string(civil.month) +
                                                   ",\"d\":" + std::to_string(civil.day) + ",\"hStart\":" + std::to_string(civil.minuteOfDay / 60) + "}");
            using Row = std::tuple<std::string, std::string, std::string, std::int64_t>;
            std::set<Row> wanted, exact;
            for (const FleetStay& o : fleet.stays) {
                if (o.vehicle == stay.vehicle && o.start <= q.windowStart && q.windowStart < o.end) {
                    wanted.insert({cardOf(o), o.slot == 1 ? "Beifahrer" : "Fahrer", "CV", o.odometerEnd - o.odometerStart});
                }
            }
            for (const FinderMatch& m : query(index, q)) {
                std::string kinds;
                for (const MatchSource& source : m.sources) kinds += source.source;
                if (m.timeExact) exact.insert({m.session.card, roleText(m), kinds, m.km});
            }
            EXPECT_EQ(exact, wanted);
        }
    }
}

CardDescription cardWithOneVehicle(std::int64_t lastUse, int odometerEnd) {
    CardDescription card;
    card.vehicles = {{.odometerBegin = 5000, .odometerEnd = odometerEnd, .firstUse = utcTime(2024, 4, 2, "06:00"), .lastUse = lastUse,
                      .registration = {13, Text("KA-B 77")}, .vin = ""}};
    return card;
}

TEST(FolderScan, CardDownloadsOfTheSameStayAreMerged) {
    const std::int64_t end = utcTime(2024, 4, 2, "15:00");
    const std::int64_t later = utcTime(2024, 4, 2, "16:00");
    // The downloads' last use and odometer end in scan order; the kept session's end and file.
    struct Case { const char* name; std::vector<std::pair<std::int64_t, int>> downloads; std::int64_t end; std::string file; };
    const Case cases[] = {
        {"open, then closed", {{0, 0}, {end, 5400}}, end, "1.ddd"},
        {"closed, then open", {{end, 5400}, {0, 0}}, end, "0.ddd"},
        {"later end wins", {{end, 5400}, {later, 5450}}, later, "1.ddd"},
        {"earlier end loses", {{later, 5450}, {end, 5400}}, later, "0.ddd"},
        {"identical: the smaller path", {{end, 5400}, {end, 5400}}, end, "0.ddd"},
        {"same end, other odometer: first kept", {{end, 5400}, {end, 5401}}, end, "0.ddd"},
        {"downloaded still in the vehicle", {{0xFFFFFFFF, 0xFFFFFF}}, 0, "0.ddd"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        // One folder level per download keeps the walk order equal to the scan order wanted.
        for (std::size_t i = 0; i < c.downloads.size(); ++i) {
            folder.write("x/" + std::string(i, 'x') + "/" + std::to_string(i) + ".ddd",
                         writeCardDownload(cardWithOneVehicle(c.downloads[i].first, c.downloads[i].second)));
        }
        const DriverIndex index = scan(folder.path());
        ASSERT_EQ(index.sessions.size(), 1u);
        EXPECT_EQ(index.sessions[0].end, c.end);
        EXPECT_NE(index.sessions[0].odometerEnd, 0xFFFFFF) << "an odometer not written yet is no reading";
        EXPECT_EQ(std::filesystem::path(index.sessions[0].file).filename(), c.file);
    }
}

VuDescription vehicleWith(std::vector<VuCardStay> stays, std::int64_t day = utcDay(2024, 4, 2)) {
    VuDescription vu;
    vu.days = {VuDay{day, true, 100, 1, std::move(stays)}};
    return vu;
}

// A second-generation card's two applications give one session with the VIN; overlapping unit
// downloads give each closed stay once and each open one per download; a unit download without
// the plate's nation takes it from another download of the same VIN.
TEST(FolderScan, OverlappingDownloadsGiveEachStayOnce) {
    TempFolder folder;
    CardDescription card = cardWithOneVehicle(utcTime(2024, 4, 2, "15:00"), 5400);
    card.generation = Generation::Both;
    card.vehicles[0].vin = "VF1ABC00012345678";
    folder.write("cards/both.ddd", writeCardDownload(card));
    card.generation = Generation::Gen2;
    folder.write("cards/gen2only.ddd", writeCardDownload(card));
    const VuCardStay closed{.insertion = utcTime(2024, 4, 2, "06:00"), .withdrawal = utcTime(2024, 4, 2, "14:00")};
    VuCardStay open = closed;
    open.cardNumber = "DF77777777777700", open.withdrawal = 0;
    VuDescription withNation = vehicleWith({closed, open});
    withNation.registration = {17, Text("AB-123-CD")};
    VuDescription numberOnly = vehicleWith({VuCardStay{.insertion = utcTime(2024, 4, 3, "06:00")}}, utcDay(2024, 4, 3));
    numberOnly.registration = withNation.registration, numberOnly.registrationRecords = VuRegistrationRecords::NumberOnly;
    folder.write("units/1.ddd", writeVuDownload(withNation));
    folder.write("units/a/2.ddd", writeVuDownload(withNation));
    folder.write("units/a/b/3.ddd", writeVuDownload(numberOnly));
    const DriverIndex index = scan(folder.path());
    std::multiset<std::tuple<char, std::string, std::uint32_t, std::int64_t>> found;  // source, plate, nation, end
    for (const FinderSession& s : index.sessions) found.insert({s.source, s.plate, s.plateNation, s.end});
    EXPECT_EQ(found, (decltype(found){{'C', "KA-B 77", 13, utcTime(2024, 4, 2, "15:00")}, {'V', "AB-123-CD", 17, 0}, {'V', "AB-123-CD", 17, 0},
                                      {'V', "AB-123-CD", 17, closed.withdrawal}, {'V', "AB-123-CD", 17, 0}}));
    EXPECT_EQ(std::count_if(index.sessions.begin(), index.sessions.end(), [](const FinderSession& s) { return s.vin == "VF1ABC00012345678"; }), 1);
    EXPECT_EQ(index.filesUnrecognised, 0);
}

TEST(FolderScan, DamagedTreeIsScannedToTheEnd) {
    TempFolder folder;
    const Fleet fleet = makeFleet(7, FleetPlan{.drivers = 3, .vehicles = 2, .days = 4, .cardDownloadsPerDriver = 1, .vuDownloadsPerVehicle = 1, .speedMinutes = 10});
    folder.writeFleet(fleet);
    auto card = writeCardDownload(CardDescription{});
    for (const char* name : {"junk/A.DDD", "junk/d.Ddd", "junk/c.ddd.bak", "junk/e.txt"}) folder.write(name, card);  // only .ddd in any case
    CardDescription undecodableVehicles = cardWithOneVehicle(0, 0);
    undecodableVehicles.inject = {Fault::resizeEf(0x0505, Generation::Gen1, 3)};
    folder.write("junk/undecodable_vehicles.ddd", writeCardDownload(undecodableVehicles));  // still a card file
    folder.write("junk/empty.ddd", {});
    folder.write("junk/text.ddd", {'h', 'a', 'l', 'l', 'o'});
    card.resize(card.size() / 2);
    folder.write("junk/half_card.ddd", card);
    VuDescription vu = vehicleWith({VuCardStay{}});
    vu.inject = {VuFault::truncateAt(300)};
    folder.write("junk/half_vu.ddd", writeVuDownload(vu));
    folder.write(std::string("junk/name_\xff\xfe.ddd"), writeVuDownload(vehicleWith({})));
    std::filesystem::create_directory_symlink(folder.path(), folder.path() / "junk" / "loop");
    std::filesystem::create_symlink(folder.path() / "nowhere.ddd", folder.path() / "junk" / "dangling.ddd");
    std::filesystem::create_directories(folder.path() / "junk" / "folder.ddd");
    const auto locked = folder.write("locked/locked.ddd", writeCardDownload(CardDescription{}));
    ::chmod(locked.c_str(), 0);
    const bool lockWorks = ::access(locked.c_str(), R_OK) != 0;  // not for a superuser

    const DriverIndex reference = [&] {
        TempFolder clean;
        clean.writeFleet(fleet);
        return scan(clean.path());
    }();
    DriverIndex index = scan(folder.path());
    for (int scans = 0; scans < 2; ++scans, index.clear(), index.scanDirectory(folder.path().string(), nullptr)) {
        EXPECT_EQ(index.sessions.size(), reference.sessions.size());
        // empty, text, half card, half VU; the name with odd bytes holds an intact empty download.
        EXPECT_EQ(index.filesUnrecognised, 4);
        EXPECT_EQ(index.filesUnreadable, lockWorks ? 1 : 0);  // a dangling link is no file at all
        EXPECT_EQ(index.filesIndexed, reference.filesIndexed + 8 + (lockWorks ? 0 : 1));
    }
}

// Progress counts every file before it is read; an answer of false stops the scan; a file that
// vanishes after the count is unreadable.
TEST(FolderScan, ProgressCancellationAndVanishingFiles) {
    TempFolder folder;
    folder.writeFleet(makeFleet(3, FleetPlan{.drivers = 3, .vehicles = 2, .days = 3, .cardDownloadsPerDriver = 1, .vuDownloadsPerVehicle = 1, .speedMinutes = 10}));  // 3 card and 2 VU files
    const auto last = [&] {
        std::vector<std::filesystem::path> files;
        for (const auto& e : std::filesystem::recursive_directory_iterator(folder.path())) if (e.is_regular_file()) files.push_back(e.path());
        return files;
    }();
    // The first `done` value answered with false (-1 never), the files indexed and unreadable.
    for (const auto& [stopAt, files, unreadable, vanish] : {std::tuple{0L, 0, 0, false}, {2L, 2, 0, false}, {-1L, 5, 0, false}, {-1L, 3, 2, true}}) {
        TempFolder copy;
        for (const auto& file : last) copy.writeText(std::filesystem::relative(file, folder.path()), ddd::test::readFile(file));
        DriverIndex index;
        std::vector<std::pair<long, long>> calls;
        index.scanDirectory(copy.path().string(), [&](long done, long total) {
            calls.emplace_back(done, total);
            if (vanish && done == 1) std::filesystem::remove_all(copy.path() / "vehicles");
            return done != stopAt;
        });
        EXPECT_EQ(std::pair(index.filesIndexed, index.filesUnreadable), std::pair(std::int64_t{files}, std::int64_t{unreadable})) << stopAt;
        EXPECT_TRUE(stopAt != 0 || index.sessions.empty());
        ASSERT_FALSE(calls.empty());
        for (std::size_t i = 0; i < calls.size(); ++i) EXPECT_EQ(calls[i], std::pair(static_cast<long>(i), 5L));
    }
}

TEST(FolderScan, Statistics) {
    DriverIndex index;
    const std::string zeros = R"({"files":0,"sessions":0,"drivers":0,"vehicles":0,"earliest":0,"latest":0,)";
    EXPECT_EQ(statsJson(index), zeros + R"("skipped":{"count":0,"files":[]}})");
    TempFolder folder;
    const std::string missing = (folder.path() / "missing").string();
    index.scanDirectory(missing, nullptr);
    EXPECT_EQ(statsJson(index), zeros + R"("skipped":{"count":1,"files":[{"file":")" + missing +
                                    R"x(","reason":"Ordner nicht lesbar: existiert nicht (mehr)"}]}})x");

    index.clear();
    for (const auto& [card, plate, vin, start, end] : {std::tuple{"D1", "P1", "", 0, 0}, {"D1", "", "V1", 100, 200}, {"", "", "", 50, 0},
                                                       {"D2", "P1", "V9", 300, 0}}) {
        FinderSession s;
        s.card = card, s.plate = plate, s.vin = vin, s.start = start, s.end = end;
        index.sessions.push_back(s);
    }
    index.filesIndexed = 4;
    EXPECT_EQ(statsJson(index), R"({"files":4,"sessions":4,"drivers":2,"vehicles":2,"earliest":50,"latest":300,"skipped":{"count":0,"files":[]}})");
}

}  // namespace
