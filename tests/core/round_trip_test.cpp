// Generator to decoder: what a description says must come back out of the written download.
#include <gtest/gtest.h>

#include <random>

#include "core/card_file.h"
#include "tools/generator/card_generator.h"

namespace ddd {
namespace {

using gen::Generation;

const CardApplicationData& partOf(const DriverCardFile& file, bool gen2) { return gen2 ? *file.gen2 : *file.gen1; }

gen::CardDescription scenarioCard(Generation generation) {
    gen::CardDescription card;
    card.generation = generation;
    card.identity.cardNumber = "DF00001234567801";
    card.identity.surname = gen::Text("Schäfer-Öztürk", 1);
    card.identity.firstNames = gen::Text("Jürgen", 1);
    card.identity.birthDate = {1975, 11, 3};
    card.days.push_back(gen::dayFromText(gen::utcDay(2024, 3, 4), "00:00 rest 06:00 work 06:15 drive 10:45 break "
                                                                 "11:30 drive 14:00 avail 14:30 rest", 17, 412));
    card.days.push_back(gen::dayFromText(gen::utcDay(2024, 3, 5), "00:00 rest+absent 05:00 drive+crew 09:00 rest", 18, 300));
    const gen::VehicleUse truck{.odometerBegin = 120000, .odometerEnd = 120712,
                                .firstUse = gen::utcTime(2024, 3, 4, "06:00"), .lastUse = gen::utcTime(2024, 3, 5, "09:00"),
                                .registration = {13, gen::Text("B-VM 4711")}, .vuDataBlockCounter = 42,
                                .vin = "WDB9634031L123456"};
    card.vehicles = {truck};
    card.places = {{.time = gen::utcTime(2024, 3, 4, "06:00"), .country = 13, .odometer = 120000, .latitude = -123456,
                    .longitude = 654321}};
    card.events = {{.type = 0x07, .begin = gen::utcTime(2024, 3, 4, "08:00"), .end = gen::utcTime(2024, 3, 4, "08:02"),
                    .vehicle = truck.registration}};
    card.specificConditions = {{gen::utcTime(2024, 3, 5, "09:00"), 2}, {gen::utcTime(2024, 3, 4, "12:00"), 1}};
    card.lastCardDownload = gen::utcTime(2024, 3, 6, "07:00");
    return card;
}

TEST(RoundTrip, ScenarioInEveryGeneration) {
    for (Generation generation : {Generation::Gen1, Generation::Gen2, Generation::Both}) {
        SCOPED_TRACE(static_cast<int>(generation));
        const auto card = scenarioCard(generation);
        const auto bytes = gen::writeCardDownload(card);
        auto decoded = decodeCardFile(bytes);
        ASSERT_TRUE(decoded.ok()) << decoded.error().message;
        const DriverCardFile& file = decoded.value();
        EXPECT_EQ(file.gen1.has_value(), generation != Generation::Gen2);
        EXPECT_EQ(file.gen2.has_value(), generation != Generation::Gen1);
        EXPECT_EQ(file.hasGen2Records, generation != Generation::Gen1);
        for (bool gen2 : {false, true}) {
            if (!(gen2 ? file.gen2 : file.gen1)) continue;
            const auto& app = partOf(file, gen2);
            EXPECT_TRUE(app.issues.empty()) << app.issues.front();
            ASSERT_TRUE(app.identification && app.driverActivity && app.vehiclesUsed && app.places && app.events &&
                        app.faults && app.controlActivity && app.currentUsage && app.lastCardDownload &&
                        app.drivingLicence && app.specificConditions && app.applicationIdentification);
            EXPECT_EQ(app.applicationIdentification->isGen2Layout, gen2);
            const auto& id = *app.identification;
            EXPECT_EQ(cardNumberText(id.cardNumber), "DF00001234567801");
            EXPECT_EQ(id.surname.text, "Schäfer-Öztürk");
            EXPECT_EQ(id.firstNames.text, "Jürgen");
            EXPECT_EQ(id.issuingNation, 13);
            EXPECT_EQ(id.birthDate, (BcdDate{1975, 11, 3, true, true}));
            EXPECT_EQ(id.preferredLanguage, "de");

            const auto& days = app.driverActivity->days;
            ASSERT_EQ(days.size(), card.days.size());
            for (std::size_t d = 0; d < days.size(); ++d) {
                EXPECT_EQ(days[d].date, card.days[d].date);
                EXPECT_EQ(days[d].presenceCounter, static_cast<std::uint32_t>(card.days[d].presenceCounter));
                EXPECT_EQ(days[d].distanceKm, static_cast<std::uint32_t>(card.days[d].distanceKm));
                std::vector<std::uint16_t> words;
                for (const auto& change : card.days[d].changes) words.push_back(gen::changeWord(change));
                EXPECT_EQ(days[d].changes, words);
            }
            EXPECT_TRUE(app.driverActivity->historyFromStart);

            ASSERT_EQ(app.vehiclesUsed->chronological.size(), 1u);
            const auto& truck = app.vehiclesUsed->chronological[0];
            EXPECT_EQ(truck.registration, (Registration{13, "B-VM 4711"}));
            EXPECT_EQ(truck.odometerEnd, 120712u);
            EXPECT_EQ(truck.vuDataBlockCounter, 42u);
            EXPECT_EQ(truck.vin, gen2 ? "WDB9634031L123456" : "");

            ASSERT_EQ(app.places->size(), 1u);
            EXPECT_EQ((*app.places)[0].odometer, 120000u);
            EXPECT_EQ((*app.places)[0].latitude, gen2 ? -123456 : 0);
            EXPECT_EQ((*app.places)[0].longitude, gen2 ? 654321 : 0);

            ASSERT_EQ(app.events->size(), 1u);
            EXPECT_EQ((*app.events)[0].type, 0x07);
            EXPECT_EQ((*app.events)[0].vehicle.number, "B-VM 4711");
            EXPECT_TRUE(app.faults->empty());

            ASSERT_EQ(app.specificConditions->size(), 2u);
            EXPECT_EQ((*app.specificConditions)[0].conditionType, 1) << "sorted by time";
            EXPECT_EQ(*app.lastCardDownload, card.lastCardDownload);
            EXPECT_EQ(app.drivingLicence->licenceNumber, "B072RRE2K11");
        }
    }
}

// The decoded days are the newest ones of the description, in order and unchanged.
void expectNewestDays(const gen::CardDescription& card, const DriverActivity& activity, const char* what) {
    const auto& days = activity.days;
    ASSERT_FALSE(days.empty()) << what;
    ASSERT_LE(days.size(), card.days.size()) << what;
    const std::size_t offset = card.days.size() - days.size();
    for (std::size_t i = 0; i < days.size(); ++i) {
        EXPECT_EQ(days[i].date, card.days[offset + i].date) << what << " day " << i;
        ASSERT_EQ(days[i].changes.size(), card.days[offset + i].changes.size()) << what << " day " << i;
    }
    EXPECT_EQ(activity.malformedStops, 0u) << what;
    EXPECT_EQ(activity.skippedRecords, 0u) << what;
}

TEST(RoundTrip, WrappedActivityBufferKeepsTheNewestDays) {
    for (Generation generation : {Generation::Gen1, Generation::Both}) {
        for (int startOffset : {0, 500, 990, 997}) {
            auto card = gen::randomCard(7 + startOffset, 60, generation);
            card.gen1.activityBytes = 1000;
            card.gen2.activityBytes = 1100;
            card.gen1.activityStartOffset = startOffset;
            card.gen2.activityStartOffset = startOffset;
            auto decoded = decodeCardFile(gen::writeCardDownload(card));
            ASSERT_TRUE(decoded.ok());
            for (const auto* part : {&decoded.value().gen1, &decoded.value().gen2}) {
                if (!*part) continue;
                ASSERT_TRUE((*part)->driverActivity);
                expectNewestDays(card, *(*part)->driverActivity, "wrapped");
                EXPECT_LT((*part)->driverActivity->days.size(), card.days.size()) << "the oldest days are overwritten";
                EXPECT_FALSE((*part)->driverActivity->historyFromStart);
            }
        }
    }
}

TEST(RoundTrip, RandomHistoriesDecodeWithoutIssues) {
    for (std::uint64_t seed = 1; seed <= 40; ++seed) {
        const auto generation = static_cast<Generation>(seed % 3);
        const auto card = gen::randomCard(seed, 10 + static_cast<int>(seed % 50), generation);
        auto decoded = decodeCardFile(gen::writeCardDownload(card));
        ASSERT_TRUE(decoded.ok()) << seed;
        for (const auto* part : {&decoded.value().gen1, &decoded.value().gen2}) {
            if (!*part) continue;
            EXPECT_TRUE((*part)->issues.empty()) << "seed " << seed << ": " << (*part)->issues.front();
            ASSERT_TRUE((*part)->driverActivity) << seed;
            expectNewestDays(card, *(*part)->driverActivity, "random");
            ASSERT_TRUE((*part)->vehiclesUsed) << seed;
            EXPECT_EQ((*part)->vehiclesUsed->chronological.size(), card.vehicles.size()) << seed;
        }
    }
}

TEST(InjectedFaults, OnlyTheDamagedFileIsLost) {
    using gen::Fault;
    struct Case { const char* name; Fault fault; bool gen2; std::string issue; };
    const Case cases[] = {
        {"vehicles resized", Fault::resizeEf(0x0505, Generation::Gen2, 100), true,
         "Vehicles_Used: EF Vehicles_Used: size 100 does not fit 2 + N*48 (offset 0)"},
        {"identification resized", Fault::resizeEf(0x0520, Generation::Gen1, 142), false,
         "Identification: EF Identification: expected 143 bytes for a driver card, got 142 (offset 0)"},
        {"events resized", Fault::resizeEf(0x0502, Generation::Gen1, 24), false,
         "Events_Data: events/faults EF: size 24 does not fit 6 groups of 24-byte records (offset 0)"},
        {"broken chain", Fault::previousLength(3, 31, Generation::Gen1), false,
         "Driver_Activity_Data: malformed-stops=1 skipped-records=0"},
        {"minute past the day", Fault::minuteOutOfRange(2, 1440, Generation::Gen2), true,
         "Driver_Activity_Data: malformed-stops=0 skipped-records=1"},
    };
    for (const auto& c : cases) {
        auto card = gen::randomCard(99, 8, Generation::Both);
        card.inject = {c.fault};
        auto decoded = decodeCardFile(gen::writeCardDownload(card));
        ASSERT_TRUE(decoded.ok()) << c.name;
        const auto& damaged = partOf(decoded.value(), c.gen2);
        const auto& intact = partOf(decoded.value(), !c.gen2);
        ASSERT_EQ(damaged.issues.size(), 1u) << c.name;
        EXPECT_EQ(damaged.issues[0], c.issue) << c.name;
        EXPECT_TRUE(intact.issues.empty()) << c.name;
        EXPECT_TRUE(damaged.driverActivity && damaged.places && damaged.currentUsage) << c.name;
    }
}

TEST(BadInput, EveryTruncationAndRandomFlipsAreHandled) {
    auto card = gen::randomCard(5, 3, Generation::Both);
    for (gen::Capacities* caps : {&card.gen1, &card.gen2}) {
        caps->activityBytes = 700;
        caps->vehicles = 3;
        caps->places = 4;
        caps->eventsPerType = 1;
        caps->faultsPerType = 1;
        caps->specificConditions = 2;
    }
    const auto bytes = gen::writeCardDownload(card);
    std::size_t accepted = 0;
    for (std::size_t size = 0; size < bytes.size(); ++size) {
        std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
        auto decoded = decodeCardFile(cut);
        if (decoded.ok()) {
            ++accepted;
            EXPECT_EQ(decoded.value().records.back().offset + 5 + decoded.value().records.back().length, size);
        }
    }
    EXPECT_GT(accepted, 0u) << "cuts at record boundaries leave valid containers";

    std::mt19937_64 random(20240304);
    for (int round = 0; round < 3000; ++round) {
        auto damaged = bytes;
        for (int flips = 0; flips < 1 + round % 8; ++flips) {
            damaged[random() % damaged.size()] ^= static_cast<std::uint8_t>(1u << (random() % 8));
        }
        auto decoded = decodeCardFile(damaged);
        if (!decoded.ok()) {
            EXPECT_FALSE(decoded.error().message.empty());
        }
    }
}

}  // namespace
}  // namespace ddd
