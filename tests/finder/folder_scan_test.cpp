// Folder scans over generated trees: the sessions found against the fleet the trees were
// generated from, de-duplication, statistics, and trees full of things that are not downloads.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <tuple>

#include "finder/driver_index.h"
#include "tests/support/temp_folder.h"
#include "tools/generator/card_generator.h"
#include "tools/vu_generator/vu_generator.h"

namespace {

using namespace ddd::gen;
using ddd::finder::DriverIndex;
using ddd::finder::FinderSession;
using ddd::test::TempFolder;

DriverIndex scan(const std::filesystem::path& folder) {
    DriverIndex index;
    index.scanDirectory(folder.string(), nullptr);
    return index;
}

using SessionKey = std::tuple<char, std::string, std::string, std::uint32_t, std::int64_t, std::int64_t, std::int64_t, std::int64_t>;

// Fleets whose vehicle units are all second generation, half first generation, or all first:
// every field of every session as the fleet was generated, whatever the generation.
TEST(FolderScan, EverySessionOfTheFleetIsFoundOnce) {
    for (const auto& [seed, firstGeneration] : {std::pair{1, 0}, {2, 0}, {3, 0}, {4, 2}, {5, 2}, {6, 4}}) {
        SCOPED_TRACE(testing::Message() << "seed " << seed << ", first-generation vehicles " << firstGeneration);
        const Fleet fleet = makeFleet(static_cast<std::uint64_t>(seed), FleetPlan{.firstGenerationVehicles = firstGeneration});
        TempFolder folder;
        folder.writeFleet(fleet);
        const DriverIndex index = scan(folder.path());

        std::map<SessionKey, int> expected;
        for (const FleetStay& s : fleet.stays) {
            const std::string card = fleet.drivers[static_cast<std::size_t>(s.driver)].cardNumber.substr(0, 14);
            const std::string& plate = fleet.vehicles[static_cast<std::size_t>(s.vehicle)].plate;
            ++expected[{'C', card, plate, 0u, s.start, s.end, s.odometerStart, s.odometerEnd}];
            ++expected[{'V', card, plate, static_cast<std::uint32_t>(s.slot), s.start, s.end, s.odometerStart, s.odometerEnd}];
        }
        std::map<SessionKey, int> found;
        for (const FinderSession& s : index.sessions) {
            ++found[{s.source, s.card, s.plate, s.slot, s.start, s.end, s.odometerStart, s.odometerEnd}];
        }
        EXPECT_EQ(found, expected);

        for (const FinderSession& s : index.sessions) {
            const auto driver = std::find_if(fleet.drivers.begin(), fleet.drivers.end(),
                                             [&](const FleetDriver& d) { return d.cardNumber.substr(0, 14) == s.card; });
            ASSERT_NE(driver, fleet.drivers.end());
            EXPECT_EQ(s.surname, driver->surname);
            EXPECT_EQ(s.firstNames, driver->firstNames);
            const auto vehicle = std::find_if(fleet.vehicles.begin(), fleet.vehicles.end(),
                                              [&](const FleetVehicle& v) { return v.plate == s.plate; });
            ASSERT_NE(vehicle, fleet.vehicles.end());
            EXPECT_EQ(s.plateNation, vehicle->nation);
            if (s.source == 'V') {
                EXPECT_EQ(s.vin, vehicle->vin);
            }
            const std::string file = std::filesystem::relative(s.file, folder.path()).string();
            EXPECT_EQ(file.substr(0, file.find('/')), s.source == 'C' ? "cards" : "vehicles") << file;
        }
        EXPECT_EQ(index.filesIndexed, static_cast<std::int64_t>(fleet.cards.size() + fleet.vehicleUnits.size()));
        EXPECT_EQ(index.filesUnrecognised, 0);
        EXPECT_EQ(index.filesUnreadable, 0);

        const auto stats = ddd::finder::stats(index);
        EXPECT_EQ(stats.drivers, 6);
        EXPECT_EQ(stats.vehicles, 4);
        EXPECT_EQ(stats.earliest, fleet.stays.front().start);
        std::int64_t latest = 0;
        for (const FleetStay& s : fleet.stays) latest = std::max(latest, s.end);
        EXPECT_EQ(stats.latest, latest);
    }
}

TEST(FolderScan, OnlyDddFilesOfAnyCaseAreRead) {
    TempFolder folder;
    const auto card = writeCardDownload(CardDescription{});
    folder.write("A.DDD", card);
    folder.write("sub/b.ddd", card);
    folder.write("c.ddd.bak", card);
    folder.write("d.Ddd", card);
    folder.write("e.txt", card);
    EXPECT_EQ(scan(folder.path()).filesIndexed, 3);
}

CardDescription cardWithOneVehicle(std::int64_t lastUse, int odometerEnd) {
    CardDescription card;
    VehicleUse use;
    use.firstUse = utcTime(2024, 4, 2, "06:00");
    use.lastUse = lastUse;
    use.odometerBegin = 5000;
    use.odometerEnd = odometerEnd;
    use.registration = {13, Text("KA-B 77")};
    card.vehicles = {use};
    return card;
}

TEST(FolderScan, CardDownloadsOfTheSameStayAreMerged) {
    const std::int64_t end = utcTime(2024, 4, 2, "15:00");
    const std::int64_t later = utcTime(2024, 4, 2, "16:00");
    struct Case {
        const char* name;
        std::vector<std::pair<std::int64_t, int>> downloads;  // last use and odometer end, in scan order
        std::int64_t end;
        std::string file;  // relative path of the kept session
    };
    const Case cases[] = {
        {"open, then closed", {{0, 0}, {end, 5400}}, end, "1.ddd"},
        {"closed, then open", {{end, 5400}, {0, 0}}, end, "0.ddd"},
        {"later end wins", {{end, 5400}, {later, 5450}}, later, "1.ddd"},
        {"earlier end loses", {{later, 5450}, {end, 5400}}, later, "0.ddd"},
        {"identical: the smaller path", {{end, 5400}, {end, 5400}}, end, "0.ddd"},
        {"same end, other odometer: first kept", {{end, 5400}, {end, 5401}}, end, "0.ddd"},
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
        EXPECT_EQ(std::filesystem::path(index.sessions[0].file).filename(), c.file);
    }
}

TEST(FolderScan, SecondGenerationCardsGiveOneSessionWithTheVin) {
    TempFolder folder;
    CardDescription card = cardWithOneVehicle(utcTime(2024, 4, 2, "15:00"), 5400);
    card.generation = Generation::Both;
    card.vehicles[0].vin = "VF1ABC00012345678";
    folder.write("both.ddd", writeCardDownload(card));
    card.generation = Generation::Gen2;
    folder.write("gen2only.ddd", writeCardDownload(card));
    const DriverIndex index = scan(folder.path());
    ASSERT_EQ(index.sessions.size(), 1u);
    EXPECT_EQ(index.sessions[0].vin, "VF1ABC00012345678");
    EXPECT_EQ(index.filesUnrecognised, 0);
}

TEST(FolderScan, CardWithUndecodableVehiclesIsStillACardFile) {
    TempFolder folder;
    CardDescription card = cardWithOneVehicle(0, 0);
    card.inject = {Fault::resizeEf(0x0505, Generation::Gen1, 3)};
    folder.write("broken.ddd", writeCardDownload(card));
    const DriverIndex index = scan(folder.path());
    EXPECT_TRUE(index.sessions.empty());
    EXPECT_EQ(index.filesIndexed, 1);
    EXPECT_EQ(index.filesUnrecognised, 0);
}

VuDescription vehicleWith(std::vector<VuCardStay> stays) {
    VuDescription vu;
    vu.days = {VuDay{utcDay(2024, 4, 2), true, 100, 1, std::move(stays)}};
    return vu;
}

TEST(FolderScan, OverlappingVehicleDownloadsGiveEachClosedStayOnce) {
    VuCardStay closed;
    closed.insertion = utcTime(2024, 4, 2, "06:00");
    closed.withdrawal = utcTime(2024, 4, 2, "14:00");
    VuCardStay open = closed;
    open.cardNumber = "DF77777777777700";
    open.withdrawal = 0;
    TempFolder folder;
    folder.write("a/1.ddd", writeVuDownload(vehicleWith({closed, open})));
    folder.write("a/b/2.ddd", writeVuDownload(vehicleWith({closed, open})));
    const DriverIndex index = scan(folder.path());
    ASSERT_EQ(index.sessions.size(), 3u);
    EXPECT_EQ(std::count_if(index.sessions.begin(), index.sessions.end(), [](const FinderSession& s) { return s.end == 0; }), 2);
}

TEST(FolderScan, VehicleNationComesFromAnyDownloadOfTheSameVin) {
    VuDescription withNation = vehicleWith({VuCardStay{}});
    withNation.days[0].stays[0].insertion = utcTime(2024, 4, 2, "06:00");
    withNation.registration = {17, Text("AB-123-CD")};
    VuDescription numberOnly = withNation;
    numberOnly.registrationRecords = VuRegistrationRecords::NumberOnly;
    numberOnly.days[0].stays[0].insertion = utcTime(2024, 4, 3, "06:00");
    TempFolder folder;
    folder.write("a/number_only.ddd", writeVuDownload(numberOnly));
    folder.write("a/b/with_nation.ddd", writeVuDownload(withNation));
    const DriverIndex index = scan(folder.path());
    ASSERT_EQ(index.sessions.size(), 2u);
    for (const FinderSession& s : index.sessions) {
        EXPECT_EQ(s.plateNation, 17u);
        EXPECT_EQ(s.plate, "AB-123-CD");
    }
}

TEST(FolderScan, DamagedTreeIsScannedToTheEnd) {
    TempFolder folder;
    const Fleet fleet = makeFleet(7, FleetPlan{.drivers = 3, .vehicles = 2, .days = 4, .cardDownloadsPerDriver = 1, .vuDownloadsPerVehicle = 1, .speedMinutes = 10});
    folder.writeFleet(fleet);
    folder.write("junk/empty.ddd", {});
    folder.write("junk/text.ddd", {'h', 'a', 'l', 'l', 'o'});
    auto card = writeCardDownload(CardDescription{});
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
    const DriverIndex index = scan(folder.path());
    EXPECT_EQ(index.sessions.size(), reference.sessions.size());
    // empty, text, half card, half VU; the name with odd bytes holds an intact empty download.
    EXPECT_EQ(index.filesUnrecognised, 4);
    EXPECT_EQ(index.filesUnreadable, lockWorks ? 1 : 0);  // a dangling link is no file at all
    EXPECT_EQ(index.filesIndexed, reference.filesIndexed + 5 + (lockWorks ? 0 : 1));
}

TEST(FolderScan, FileVanishingDuringTheScanIsSkipped) {
    TempFolder folder;
    folder.write("a/1.ddd", writeCardDownload(cardWithOneVehicle(0, 0)));
    folder.write("a/b/2.ddd", writeCardDownload(cardWithOneVehicle(0, 0)));
    DriverIndex index;
    index.scanDirectory(folder.path().string(), [&](long done, long) {
        if (done == 1) std::filesystem::remove(folder.path() / "a" / "b" / "2.ddd");
        return true;
    });
    EXPECT_EQ(index.filesIndexed, 1);
    EXPECT_EQ(index.filesUnreadable, 1);
    EXPECT_EQ(index.sessions.size(), 1u);
}

TEST(FolderScan, ProgressAndCancellation) {
    TempFolder folder;
    folder.writeFleet(makeFleet(3, FleetPlan{.drivers = 3, .vehicles = 2, .days = 3, .cardDownloadsPerDriver = 1, .vuDownloadsPerVehicle = 1, .speedMinutes = 10}));  // 3 card and 2 VU files
    struct Case {
        const char* name;
        long stopAt;  // the first `done` value answered with false; -1 never
        std::int64_t files;
    };
    for (const Case& c : {Case{"at the first file", 0, 0}, Case{"after two files", 2, 2}, Case{"never", -1, 5}}) {
        SCOPED_TRACE(c.name);
        DriverIndex index;
        std::vector<std::pair<long, long>> calls;
        index.scanDirectory(folder.path().string(), [&](long done, long total) {
            calls.emplace_back(done, total);
            return done != c.stopAt;
        });
        EXPECT_EQ(index.filesIndexed, c.files);
        if (c.stopAt == 0) {
            EXPECT_TRUE(index.sessions.empty());
        }
        ASSERT_FALSE(calls.empty());
        for (std::size_t i = 0; i < calls.size(); ++i) {
            EXPECT_EQ(calls[i].first, static_cast<long>(i));
            EXPECT_EQ(calls[i].second, 5);
        }
    }
}

TEST(FolderScan, StatisticsOfAnEmptyIndex) {
    DriverIndex index;
    const std::string zeros = R"({"files":0,"sessions":0,"drivers":0,"vehicles":0,"earliest":0,"latest":0,)";
    EXPECT_EQ(ddd::finder::statsJson(index), zeros + R"("skipped":{"count":0,"files":[]}})");
    TempFolder folder;
    const std::string missing = (folder.path() / "missing").string();
    index.scanDirectory(missing, nullptr);
    EXPECT_EQ(ddd::finder::statsJson(index), zeros + R"("skipped":{"count":1,"files":[{"file":")" + missing +
                                                 R"x(","reason":"Ordner nicht lesbar: existiert nicht (mehr)"}]}})x");
}

TEST(FolderScan, StatisticsCountDriversAndVehicles) {
    DriverIndex index;
    auto add = [&](std::string card, std::string plate, std::string vin, std::int64_t start, std::int64_t end) {
        FinderSession s;
        s.card = std::move(card);
        s.plate = std::move(plate);
        s.vin = std::move(vin);
        s.start = start;
        s.end = end;
        index.sessions.push_back(s);
    };
    add("D1", "P1", "", 0, 0);
    add("D1", "", "V1", 100, 200);
    add("", "", "", 50, 0);
    add("D2", "P1", "V9", 300, 0);
    index.filesIndexed = 4;
    EXPECT_EQ(ddd::finder::statsJson(index),
              R"({"files":4,"sessions":4,"drivers":2,"vehicles":2,"earliest":50,"latest":300,"skipped":{"count":0,"files":[]}})");
}

TEST(FolderScan, RescanAfterClearStartsAfresh) {
    TempFolder folder;
    folder.write("1.ddd", writeCardDownload(cardWithOneVehicle(0, 0)));
    folder.write("2.ddd", {0x00, 0x01, 0x02});
    DriverIndex index;
    index.scanDirectory(folder.path().string(), nullptr);
    index.clear();
    index.scanDirectory(folder.path().string(), nullptr);
    EXPECT_EQ(index.sessions.size(), 1u);
    EXPECT_EQ(index.filesIndexed, 2);
    EXPECT_EQ(index.filesUnrecognised, 1);
}

}  // namespace
