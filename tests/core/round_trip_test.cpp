// Generator to decoder: what a description says must come back out of the written download.
#include <gtest/gtest.h>

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
    card.licence.number = "B 072 RRE2K 11";  // blanks are not part of the number
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
        auto decoded = decodeCardFile(gen::writeCardDownload(card));
        ASSERT_TRUE(decoded.ok()) << decoded.error().message;
        const DriverCardFile& file = decoded.value();
        EXPECT_EQ(std::tuple(file.gen1.has_value(), file.gen2.has_value(), file.hasGen2Records),
                  std::tuple(generation != Generation::Gen2, generation != Generation::Gen1, generation != Generation::Gen1));
        for (bool gen2 : {false, true}) {
            if (!(gen2 ? file.gen2 : file.gen1)) continue;
            const auto& app = partOf(file, gen2);
            ASSERT_TRUE(app.identification && app.driverActivity && app.vehiclesUsed && app.places && app.events &&
                        app.faults && app.controlActivity && app.currentUsage && app.lastCardDownload &&
                        app.drivingLicence && app.specificConditions && app.applicationIdentification);
            EXPECT_EQ(app.applicationIdentification->isGen2Layout, gen2);
            const auto& id = *app.identification;
            EXPECT_EQ(std::tuple(cardNumberText(id.cardNumber), id.surname.text, id.firstNames.text, id.issuingNation, id.preferredLanguage),
                      std::tuple("DF00001234567801", "Schäfer-Öztürk", "Jürgen", 13, "de"));
            EXPECT_EQ(id.birthDate, (BcdDate{1975, 11, 3, true, true}));

            ASSERT_EQ(app.vehiclesUsed->chronological.size(), 1u);
            const auto& truck = app.vehiclesUsed->chronological[0];
            EXPECT_EQ(std::tuple(truck.registration, truck.odometerEnd, truck.vuDataBlockCounter, truck.vin),
                      std::tuple(Registration{13, "B-VM 4711"}, 120712u, 42u, gen2 ? "WDB9634031L123456" : ""));
            ASSERT_EQ(app.places->size(), 1u);
            const auto& place = (*app.places)[0];
            EXPECT_EQ(std::tuple(place.odometer, place.latitude, place.longitude),
                      std::tuple(120000u, gen2 ? -123456 : 0, gen2 ? 654321 : 0));
            ASSERT_EQ(std::tuple(app.events->size(), app.faults->size(), app.specificConditions->size()), std::tuple(1u, 0u, 2u));
            EXPECT_EQ(std::pair((*app.events)[0].type, (*app.events)[0].vehicle.number), std::pair(std::uint8_t{0x07}, std::string("B-VM 4711")));
            EXPECT_EQ((*app.specificConditions)[0].conditionType, 1) << "sorted by time";
            EXPECT_EQ(std::pair(*app.lastCardDownload, app.drivingLicence->licenceNumber), std::pair(card.lastCardDownload, std::string("B072RRE2K11")));
        }
    }
}

// Random histories, some in an activity area so small that the oldest days are overwritten:
// the decoded days are the newest ones of the description, in order and unchanged.
TEST(RoundTrip, RandomHistoriesKeepTheNewestDays) {
    std::vector<std::pair<gen::CardDescription, bool>> cards;  // and whether the area wraps
    for (Generation generation : {Generation::Gen1, Generation::Gen2, Generation::Both}) cards.push_back({scenarioCard(generation), false});
    for (std::uint64_t seed = 1; seed <= 40; ++seed) {
        cards.push_back({gen::randomCard(seed, 10 + static_cast<int>(seed % 50), static_cast<Generation>(seed % 3)), false});
    }
    for (Generation generation : {Generation::Gen1, Generation::Both}) {
        for (int startOffset : {0, 500, 990, 997}) {
            auto card = gen::randomCard(7 + startOffset, 60, generation);
            card.gen1.activityBytes = 1000;
            card.gen2.activityBytes = 1100;
            card.gen1.activityStartOffset = card.gen2.activityStartOffset = startOffset;
            cards.push_back({card, true});
        }
    }
    for (const auto& [card, wraps] : cards) {
        auto decoded = decodeCardFile(gen::writeCardDownload(card));
        ASSERT_TRUE(decoded.ok());
        for (const auto* part : {&decoded.value().gen1, &decoded.value().gen2}) {
            if (!*part) continue;
            EXPECT_TRUE((*part)->issues.empty()) << (*part)->issues.front();
            ASSERT_TRUE((*part)->driverActivity && (*part)->vehiclesUsed);
            EXPECT_EQ((*part)->vehiclesUsed->chronological.size(), card.vehicles.size());
            const auto& days = (*part)->driverActivity->days;
            ASSERT_FALSE(days.empty());
            ASSERT_LE(days.size(), card.days.size());
            EXPECT_EQ(days.size() < card.days.size(), wraps);
            EXPECT_EQ((*part)->driverActivity->historyFromStart, !wraps);
            const std::size_t offset = card.days.size() - days.size();
            for (std::size_t i = 0; i < days.size(); ++i) {
                std::vector<std::uint16_t> words;
                for (const auto& change : card.days[offset + i].changes) words.push_back(gen::changeWord(change));
                EXPECT_EQ(std::tuple(days[i].date, days[i].presenceCounter, days[i].distanceKm, days[i].changes),
                          std::tuple(card.days[offset + i].date, static_cast<std::uint32_t>(card.days[offset + i].presenceCounter),
                                     static_cast<std::uint32_t>(card.days[offset + i].distanceKm), words)) << i;
            }
        }
    }
}

// Second-version files: the newest records of the description, oldest first, whether the cyclic
// file is partly used, exactly full or gone round; a malformed record costs only itself.
TEST(RoundTrip, SecondVersionFiles) {
    using gen::Fault;
    struct Case {
        const char* name;
        int crossings;
        std::vector<Fault> faults;
        std::size_t dropped;  // oldest records of the description that are not on the card
        std::vector<std::string> diagnostics;
    };
    const std::string first = "Grenzübertritt vom 04.03.2024 01:00: ";
    const Case cases[] = {
        {"partly used", 30, {}, 0, {}},
        {"full", 1120, {}, 0, {}},
        {"gone round", 1130, {}, 10, {}},
        {"unknown country", 30, {Fault::patchEf(0x0528, Generation::Gen2, 3, {0x99})}, 1,
         {first + "Ländercode 153 unbekannt; Eintrag übergangen"}},
        {"latitude past the pole", 30, {Fault::patchEf(0x0528, Generation::Gen2, 9, {0x02, 0x00, 0x00})}, 0,
         {first + "Position außerhalb von ±90°/±180° (131072, 14330) verworfen"}},
        {"pointer past the file", 30, {Fault::patchEf(0x0528, Generation::Gen2, 0, {0xFF, 0xFF})}, 0,
         {"Grenzübertritte: Zeiger auf den neuesten Eintrag (65535) liegt außerhalb der 1120 Einträge; nach Zeit geordnet"}},
    };
    for (const Case& c : cases) {
        auto card = scenarioCard(Generation::Both);
        gen::addSecondVersionRecords(card, c.crossings, c.crossings * 3 / 2);
        card.inject = c.faults;
        auto decoded = decodeCardFile(gen::writeCardDownload(card));
        ASSERT_TRUE(decoded.ok()) << c.name;
        const auto& app = *decoded.value().gen2;
        EXPECT_TRUE(app.issues.empty()) << c.name;
        EXPECT_FALSE(decoded.value().gen1->borderCrossings) << "first-generation part has none";
        EXPECT_EQ(app.recordDiagnostics, c.diagnostics) << c.name;
        ASSERT_TRUE(app.applicationIdentificationV2 && app.borderCrossings && app.loadUnloadOperations && app.loadTypeEntries &&
                    app.placeAuthentications && app.gnssPlaceAuthentications && app.vuConfiguration);
        EXPECT_EQ(app.applicationIdentificationV2->borderCrossingRecords, 1120);
        EXPECT_EQ(app.applicationIdentification->structureVersionMinor, 1);
        const auto& crossings = *app.borderCrossings;
        auto written = card.borderCrossings;
        if (!c.diagnostics.empty() && c.diagnostics[0].starts_with("Grenzübertritte: Zeiger")) {
            std::stable_sort(written.begin(), written.end(), [](const auto& a, const auto& b) { return a.position.time < b.position.time; });
        }
        ASSERT_EQ(crossings.size() + c.dropped, written.size()) << c.name;
        for (std::size_t i = 0; i < crossings.size(); ++i) {
            const auto& want = written[i + c.dropped];
            const auto& got = crossings[i];
            EXPECT_EQ(std::tuple(got.countryLeft, got.countryEntered, got.position.time, got.position.longitude, got.position.authenticated(), got.odometer),
                      std::tuple(want.countryLeft, want.countryEntered, want.position.time, want.position.longitude, want.position.authentication == 1,
                                 static_cast<std::uint32_t>(want.odometer))) << c.name << " " << i;
        }
        const auto& loads = *app.loadUnloadOperations;
        ASSERT_EQ(loads.size(), std::min<std::size_t>(card.loadOperations.size(), 1624)) << c.name;
        EXPECT_EQ(std::pair(loads.back().time, loads.back().operation),
                  std::pair(card.loadOperations.back().time, static_cast<std::uint8_t>(card.loadOperations.back().operation)));
    }
}

TEST(InjectedFaults, OnlyTheDamagedFileIsLost) {
    using gen::Fault;
    const std::tuple<Fault, bool, std::string> cases[] = {  // the fault, whether in the second generation, its issue
        {Fault::resizeEf(0x0505, Generation::Gen2, 100), true, "Vehicles_Used: EF Vehicles_Used: size 100 does not fit 2 + N*48 (offset 0)"},
        {Fault::resizeEf(0x0520, Generation::Gen1, 142), false,
         "Identification: EF Identification: expected 143 bytes for a driver card, got 142 (offset 0)"},
        {Fault::previousLength(3, 31, Generation::Gen1), false, "Driver_Activity_Data: malformed-stops=1 skipped-records=0"},
        {Fault::minuteOutOfRange(2, 1440, Generation::Gen2), true, "Driver_Activity_Data: malformed-stops=0 skipped-records=1"},
    };
    for (const auto& [fault, gen2, issue] : cases) {
        auto card = gen::randomCard(99, 8, Generation::Both);
        card.inject = {fault};
        auto decoded = decodeCardFile(gen::writeCardDownload(card));
        ASSERT_TRUE(decoded.ok()) << issue;
        const auto& damaged = partOf(decoded.value(), gen2);
        EXPECT_EQ(damaged.issues, std::vector<std::string>{issue});
        EXPECT_TRUE(partOf(decoded.value(), !gen2).issues.empty()) << issue;
        EXPECT_TRUE(damaged.driverActivity && damaged.places && damaged.currentUsage) << issue;
    }
}

// Every cut of a small card: a cut is accepted only at a record boundary.
TEST(BadInput, EveryTruncationIsHandled) {
    auto card = gen::randomCard(5, 3, Generation::Both);
    for (gen::Capacities* c : {&card.gen1, &card.gen2}) {
        c->activityBytes = 700, c->vehicles = 3, c->places = 4, c->eventsPerType = c->faultsPerType = 1, c->specificConditions = 2;
    }
    const auto bytes = gen::writeCardDownload(card);
    std::size_t accepted = 0;
    for (std::size_t size = 0; size < bytes.size(); ++size) {
        auto decoded = decodeCardFile(std::span(bytes).first(size));
        if (!decoded.ok()) continue;
        ++accepted;
        EXPECT_EQ(decoded.value().records.back().offset + 5 + decoded.value().records.back().length, size);
    }
    EXPECT_GT(accepted, 0u);
}

// A walk for one driver tells a download by its record headers and Identification records alone:
// that must give what the whole file gives, wherever the damage lies, and never a driver when the
// file turns out shorter than its size said.
TEST(FileIdentification, TellsWhatTheWholeDownloadTells) {
    using gen::Fault;
    const std::tuple<const char*, Generation, std::vector<Fault>> cases[] = {
        {"first generation", Generation::Gen1, {}}, {"second generation", Generation::Gen2, {}}, {"both", Generation::Both, {}},
        {"first identification damaged", Generation::Both, {Fault::resizeEf(0x0520, Generation::Gen1, 142)}},
        {"second identification damaged", Generation::Both, {Fault::resizeEf(0x0520, Generation::Gen2, 9000)}},
        {"second identification missing", Generation::Both, {Fault::omitEf(0x0520, Generation::Gen2)}},
        {"last record past the end", Generation::Gen1, {Fault::lengthPastEnd(0x0522, Generation::Gen1)}},
    };
    for (const auto& [name, generation, faults] : cases) {
        auto card = gen::randomCard(31, 40, generation);
        card.inject = faults;
        const auto bytes = gen::writeCardDownload(card);
        for (std::size_t size = 0; size <= bytes.size(); size += size < 200 ? 1 : 61) {
            const auto part = std::span(bytes).first(size);
            auto readAt = [&](std::uint64_t offset, std::span<std::uint8_t> into) {
                const std::size_t from = std::min<std::size_t>(offset, part.size());
                const std::size_t count = std::min(into.size(), part.size() - from);
                std::copy_n(part.begin() + static_cast<std::ptrdiff_t>(from), count, into.begin());
                return count;
            };
            const auto whole = chosenCardIdentification(part);
            const FileIdentification found = chosenCardIdentificationOfFile(size, readAt);
            ASSERT_TRUE(found.decided) << name << size;
            ASSERT_EQ(found.identification.has_value(), whole.has_value()) << name << size;
            if (whole) {
                EXPECT_EQ(found.identification->cardNumber, whole->cardNumber) << name << size;
            }
            const FileIdentification longer = chosenCardIdentificationOfFile(size + 5, readAt);
            EXPECT_FALSE(longer.decided && longer.identification) << name << size;
        }
    }
}

}  // namespace
}  // namespace ddd
