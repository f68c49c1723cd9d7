// The fleet overview over a generated archive with known deadlines, through the kept index and
// its cache: the states on both sides of each deadline, the red and amber counts, the cache's
// round trip and its invalidation when a driver's downloads change.
#include <gtest/gtest.h>

#include "analysis/pipeline.h"
#include "finder/fleet_cache.h"
#include "tests/support/temp_folder.h"
#include "tools/vu_generator/vu_generator.h"

namespace {

using namespace ddd;
using ddd::test::TempFolder;

constexpr std::int64_t kDay = 86400;
const std::int64_t kNow = gen::utcTime(2024, 6, 15, "12:00");
const std::int64_t kToday = kNow / kDay * kDay;

gen::CardDescription card(const std::string& surname, const std::string& number, std::int64_t downloaded, std::int64_t expiry) {
    gen::CardDescription c;
    c.identity.surname = surname;
    c.identity.firstNames = "Test";
    c.identity.cardNumber = number;
    c.identity.expiryDate = expiry;
    c.lastCardDownload = downloaded;
    return c;
}

std::uint16_t word(bool driving, int minute) { return static_cast<std::uint16_t>(0x2000 | (driving ? 0x1800 : 0) | minute); }

gen::VuDescription unit(const std::string& vin, const std::string& plate, std::int64_t downloaded, std::int64_t nextCalibration) {
    gen::VuDescription vu;
    vu.vin = vin;
    vu.registration = {13, gen::Text(plate)};
    vu.vuTime = downloaded;
    VuCalibration calibration;
    calibration.purpose = 1;
    calibration.vin = vin;
    calibration.newTime = kToday - 300 * kDay;
    calibration.nextCalibration = nextCalibration;
    vu.calibrations = {calibration};
    // 90 minutes without a card 10 days ago, 60 minutes 100 days ago: only the first counts.
    vu.days = {gen::VuDay{kToday - 100 * kDay, true, 0, 0, {}, {word(true, 600), word(false, 660)}},
               gen::VuDay{kToday - 10 * kDay, true, 0, 0, {}, {word(true, 480), word(false, 570)}}};
    return vu;
}

const FleetDriver& driverNamed(const FleetOverview& o, const std::string& name) {
    for (const FleetDriver& d : o.drivers) {
        if (d.input.name == name) return d;
    }
    throw std::runtime_error("no driver " + name);
}

TEST(FleetOverview, DeadlinesOnBothSidesAndTheCacheFollowingTheDownloads) {
    TempFolder tree, data;
    gen::CardDescription busy = card("Lang", "DF00000000000300", kNow - kDay, kToday + 30 * kDay);
    gen::Timeline t(kToday - 5 * kDay + 6 * 3600);
    t.add("drive 6:00 drive 6:00").restUntil(kToday - 2 * kDay + 18 * 3600);  // twelve hours at the wheel on one day
    busy.days = t.days();
    tree.writeCard("cards/a.ddd", card("Früh", "DF00000000000100", kNow - 27 * kDay, kToday + 900 * kDay));
    tree.writeCard("cards/b.ddd", card("Spät", "DF00000000000200", kNow - 29 * kDay, kToday + 900 * kDay));
    tree.writeCard("cards/c.ddd", busy);
    tree.writeCard("cards/d.ddd", card("Abgelaufen", "DF00000000000400", kNow - 3 * kDay, kToday - kDay));
    tree.writeCard("cards/e.ddd", card("Ungeschrieben", "DF00000000000500", kNow - 3 * kDay, 0xFFFFFFFF));
    tree.write("units/v1.ddd", gen::writeVuDownload(unit("VINCALTOMORROW001", "M V 1", kNow - 10 * kDay, kToday + kDay)));
    tree.write("units/v2.ddd", gen::writeVuDownload(unit("VINCALOVERDUE0002", "M V 2", kNow - 95 * kDay, kToday - 3 * kDay)));
    const std::string file = data.file("archive.sqlite");
    const auto archiveNow = [&] {
        finder::ArchiveIndex index(file);
        index.rescan({tree.path().string()}, nullptr);
        return finder::FleetCache(file).archive(index.downloads());
    };

    finder::FleetArchive archive = archiveNow();
    EXPECT_EQ(buildFleetOverview(archive.drivers, archive.vehicles, kNow).pending, 7);
    EXPECT_EQ(finder::FleetCache(file).complete(archive), 7);
    archive = archiveNow();
    for (std::size_t i = 0; i < archive.drivers.size(); ++i) {
        ASSERT_TRUE(archive.drivers[i].facts) << i;
        EXPECT_EQ(*archive.drivers[i].facts, driverFindingFactsOf(analyzeFiles(archive.driverPaths[i]))) << i;
    }
    const FleetOverview o = buildFleetOverview(archive.drivers, archive.vehicles, kNow);
    EXPECT_EQ(o.pending, 0);
    EXPECT_EQ(o.red, 4);
    EXPECT_EQ(o.amber, 3);

    struct DriverRow { const char* name; DueState expiry; DueState download; std::int64_t downloadDays; int withoutData; };
    for (const DriverRow& row : {DriverRow{"Test Früh", DueState::Ok, DueState::Soon, 1, 28}, DriverRow{"Test Spät", DueState::Ok, DueState::Overdue, -1, 28},
                                 DriverRow{"Test Lang", DueState::Soon, DueState::Ok, 27, 24},
                                 DriverRow{"Test Abgelaufen", DueState::Overdue, DueState::Ok, 25, 28},
                                 DriverRow{"Test Ungeschrieben", DueState::Unknown, DueState::Ok, 25, 28}}) {
        const FleetDriver& d = driverNamed(o, row.name);
        EXPECT_EQ(d.expiry.state, row.expiry) << row.name;
        EXPECT_EQ(d.downloadDue.state, row.download) << row.name;
        EXPECT_EQ(d.downloadDue.daysLeft, row.downloadDays) << row.name;
        EXPECT_EQ(d.daysWithoutData, row.withoutData) << row.name;
        const FindingCounts& f = d.findings.value();
        EXPECT_EQ(f[0] + f[1] + f[2] + f[3] > 0, std::string(row.name) == "Test Lang") << row.name;
    }
    ASSERT_EQ(o.vehicles.size(), 2u);
    EXPECT_EQ(o.vehicles[0].input.plate, "M V 1");
    EXPECT_EQ(o.vehicles[0].calibrationDue.state, DueState::Soon);
    EXPECT_EQ(o.vehicles[0].calibrationDue.daysLeft, 1);
    EXPECT_EQ(o.vehicles[0].downloadDue.state, DueState::Ok);
    EXPECT_EQ(o.vehicles[0].noCardMinutes, 90);
    EXPECT_EQ(o.vehicles[1].calibrationDue.state, DueState::Overdue);
    EXPECT_EQ(o.vehicles[1].calibrationDue.daysLeft, -3);
    EXPECT_EQ(o.vehicles[1].downloadDue.state, DueState::Overdue);

    // A new download of one driver: only that driver is computed again, and the new download counts.
    tree.writeCard("cards/b2.ddd", card("Spät", "DF00000000000200", kNow - kDay, kToday + 900 * kDay));
    archive = archiveNow();
    const FleetOverview after = buildFleetOverview(archive.drivers, archive.vehicles, kNow);
    EXPECT_EQ(after.pending, 1);
    EXPECT_FALSE(driverNamed(after, "Test Spät").findings);
    EXPECT_EQ(driverNamed(after, "Test Spät").downloadDue.state, DueState::Ok);
    EXPECT_EQ(finder::FleetCache(file).complete(archive), 1);
}

}  // namespace
