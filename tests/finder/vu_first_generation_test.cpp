// First-generation vehicle-unit downloads (fixed structures): the same description written as
// first and as second generation must decode to the same vehicle, days and card stays; faults
// and every cut end the scan safely and keep what came before.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "core/vu_download.h"
#include "tools/generator/card_generator.h"
#include "tools/vu_generator/vu_generator.h"
#include "vu_text.h"

namespace {

using ddd::decodeVuDownload;
using ddd::VuDownload;
using ddd::test::VuFraming;
using ddd::test::vuText;
using namespace ddd::gen;
using ddd::test::stay;

// Three days: a crew in both slots, a stay over midnight stored on both days it touches, a
// card still inserted at the download, and in between a day without insertions.
VuDescription fleetWeek() {
    VuDescription vu;
    vu.vin = "VF1MA000012345678";
    vu.registration = {40, Text("WX 4711K")};
    vu.vuTime = utcTime(2024, 6, 14, "09:00");
    vu.downloadableFrom = utcDay(2024, 6, 10);
    vu.downloadableTo = utcTime(2024, 6, 13, "23:59");
    vu.speedMinutes = 3;
    const VuCardStay night = stay("Nowak", "PL00000000123401", 0, utcTime(2024, 6, 10, "20:00"),
                                  utcTime(2024, 6, 11, "04:30"), 300100, 300690);
    VuDay first{utcDay(2024, 6, 10), true, 300000, 9, {}};
    first.stays = {stay("Kowalski", "PL00000000567801", 0, utcTime(2024, 6, 10, "05:00"), utcTime(2024, 6, 10, "13:00"), 300000, 300100),
                   stay("Horváth", "H000000000999902", 1, utcTime(2024, 6, 10, "05:10"), utcTime(2024, 6, 10, "13:00"), 300000, 300100),
                   night};
    VuDay second{utcDay(2024, 6, 11), true, 300690, 4, {night}};
    VuDay quiet{utcDay(2024, 6, 12), true, 300690, 1, {}};
    VuDay last{utcDay(2024, 6, 13), true, 300690, 2, {}};
    last.stays = {stay("Kowalski", "PL00000000567801", 0, utcTime(2024, 6, 13, "22:15"), 0, 300690, 0)};
    vu.days = {first, second, quiet, last};
    return vu;
}

struct DescriptionCase { const char* name; std::function<void(VuDescription&)> change; };

class BothGenerations : public testing::TestWithParam<DescriptionCase> {};

// The first generation yields exactly the fields the second generation yields for the same
// description, and its scan reaches the end of the file.
TEST_P(BothGenerations, DecodeToTheSameDownload) {
    VuDescription description = fleetWeek();
    GetParam().change(description);
    description.layout = VuLayout::Gen1Fixed;
    const auto gen1Bytes = writeVuDownload(description);
    description.layout = VuLayout::Gen2;
    const VuDownload gen2 = decodeVuDownload(writeVuDownload(description));
    const VuDownload gen1 = decodeVuDownload(gen1Bytes);
    EXPECT_TRUE(gen1.complete) << gen1.stopReason;
    EXPECT_EQ(gen1.stoppedAt, gen1Bytes.size());
    EXPECT_FALSE(gen1.isGen2Format);
    EXPECT_EQ(vuText(gen1, VuFraming::Left), vuText(gen2, VuFraming::Left));
    EXPECT_EQ(gen1.days.size(), description.days.size());
}

INSTANTIATE_TEST_SUITE_P(VuFirstGeneration, BothGenerations, testing::Values(
    DescriptionCase{"crew_night_quiet_day_and_open_stay", [](VuDescription&) {}},
    DescriptionCase{"no_days", [](VuDescription& vu) { vu.days.clear(); }},
    DescriptionCase{"only_a_day_without_insertions", [](VuDescription& vu) { vu.days = {vu.days[2]}; }},
    DescriptionCase{"day_without_date", [](VuDescription& vu) { vu.days[1].writeDate = false; }},
    DescriptionCase{"no_activity_changes", [](VuDescription& vu) { vu.days[0].activityChanges = 0; }},
    DescriptionCase{"withdrawal_all_ones", [](VuDescription& vu) { vu.days[3].stays[0].withdrawal = 0xFFFFFFFF; }},
    DescriptionCase{"short_and_full_card_numbers", [](VuDescription& vu) {
        vu.days[0].stays[0].cardNumber = "D12";
        vu.days[0].stays[1].cardNumber = "DF12345678901234";
    }},
    DescriptionCase{"plate_and_names_in_code_page_2", [](VuDescription& vu) {
        vu.registration = {12, Text("ŽĎÁR 42", 2)};
        vu.days[0].stays[1].surname = Text("Dvořák", 2);
    }},
    DescriptionCase{"short_vin_and_blank_plate", [](VuDescription& vu) {
        vu.vin = "ABC";
        vu.registration = {0, Text("")};
    }},
    DescriptionCase{"thirty_days_of_two_crews", [](VuDescription& vu) {
        vu.days.clear();
        for (int d = 0; d < 30; ++d) {
            const std::int64_t day = utcDay(2024, 7, 1) + d * 86400;
            VuDay block{day, true, 1000 + 500 * d, 20, {}};
            block.stays = {stay("Jansen", "NL00000000000101", d % 2, day + 6 * 3600, day + 14 * 3600, 1000 + 500 * d, 1250 + 500 * d),
                           stay("Lange", "D000000000000201", 1 - d % 2, day + 6 * 3600, day + 14 * 3600, 1000 + 500 * d, 1250 + 500 * d)};
            vu.days.push_back(block);
        }
    }},
    DescriptionCase{"many_other_blocks", [](VuDescription& vu) {
        vu.eventFaultBlocks = 2;
        vu.speedBlocks = 3;
        vu.technicalBlocks = 2;
    }},
    DescriptionCase{"no_other_blocks_and_no_speed", [](VuDescription& vu) {
        vu.eventFaultBlocks = vu.speedBlocks = vu.technicalBlocks = 0;
        vu.speedMinutes = 0;
    }},
    DescriptionCase{"filler_of_other_seeds", [](VuDescription& vu) { vu.fillerSeed = 0x7676; }}),
    [](const auto& info) { return std::string(info.param.name); });

struct FaultCase {
    const char* name;
    VuFault fault;
    std::size_t days;           // day blocks kept
    std::size_t stays;          // card stays kept over all days
    bool likeSecondGeneration;  // the second generation keeps the same fields under this fault
};

class FirstGenerationFaults : public testing::TestWithParam<FaultCase> {};

TEST_P(FirstGenerationFaults, EndTheScanAndKeepWhatCameBefore) {
    const FaultCase& c = GetParam();
    VuDescription description = fleetWeek();
    description.inject = {c.fault};
    description.layout = VuLayout::Gen1Fixed;
    const auto bytes = writeVuDownload(description);
    const VuDownload got = decodeVuDownload(bytes);
    EXPECT_FALSE(got.complete);
    EXPECT_FALSE(got.stopReason.empty());
    EXPECT_LE(got.stoppedAt, bytes.size());
    EXPECT_FALSE(got.isGen2Format);
    EXPECT_EQ(got.vin, "VF1MA000012345678");
    EXPECT_EQ(got.registrationNumber, "WX 4711K");
    EXPECT_EQ(got.days.size(), c.days);
    EXPECT_EQ(got.activityBlocks, got.days.size());
    std::size_t stays = 0;
    for (const auto& day : got.days) stays += day.cardRecords.size();
    EXPECT_EQ(stays, c.stays);
    if (c.likeSecondGeneration) {
        description.layout = VuLayout::Gen2;
        EXPECT_EQ(vuText(got, VuFraming::Left), vuText(decodeVuDownload(writeVuDownload(description)), VuFraming::Left));
    }
}

INSTANTIATE_TEST_SUITE_P(VuFirstGeneration, FirstGenerationFaults, testing::Values(
    FaultCase{"card_count_past_the_end_on_day_0", VuFault::countPastEnd(0), 1, 0, true},
    FaultCase{"card_count_past_the_end_on_day_3", VuFault::countPastEnd(3), 4, 4, true},
    FaultCase{"lone_marker_at_the_end", VuFault::markerAtEnd(), 4, 5, true},
    FaultCase{"garbage_after_the_last_block", VuFault::trailingGarbage(11), 4, 5, true},
    FaultCase{"unknown_trep_after_the_overview", VuFault::unknownBlock(0, 0x47), 0, 0, false},
    FaultCase{"unknown_trep_00_after_day_1", VuFault::unknownBlock(2, 0x00), 2, 4, false},
    FaultCase{"unknown_trep_06_after_the_days", VuFault::unknownBlock(4, 0x06), 4, 5, false},
    FaultCase{"unknown_second_generation_like_trep_A0", VuFault::unknownBlock(1, 0xA0), 1, 3, false},
    FaultCase{"cut_inside_the_signature_of_day_1", VuFault::truncateAt(1700), 2, 4, false}),
    [](const auto& info) { return std::string(info.param.name); });

// Every prefix of a small download: no read beyond it; the scan ends incomplete unless the cut
// falls between two blocks (the prefix is then a whole download of fewer blocks); whatever a
// prefix keeps is what the whole file holds.
TEST(VuFirstGeneration, EveryCutEndsSafelyWithAPrefixOfTheWhole) {
    VuDescription description = fleetWeek();
    description.layout = VuLayout::Gen1Fixed;
    description.speedMinutes = 1;
    const auto bytes = writeVuDownload(description);
    const VuDownload whole = decodeVuDownload(bytes);
    ASSERT_TRUE(whole.complete);
    std::size_t staysBefore = 0;
    std::size_t completeCuts = 0;
    for (std::size_t size = 0; size < bytes.size(); ++size) {
        const std::vector<std::uint8_t> prefix(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
        const VuDownload got = decodeVuDownload(prefix);
        if (got.complete) {
            ++completeCuts;
            ASSERT_EQ(bytes[size], 0x76) << size;
            ASSERT_EQ(got.stoppedAt, size);
        }
        ASSERT_LE(got.stoppedAt, size);
        ASSERT_FALSE(got.isGen2Format);
        ASSERT_TRUE(got.vin.empty() || got.vin == whole.vin) << size;
        ASSERT_EQ(got.activityBlocks, got.days.size()) << size;
        ASSERT_LE(got.days.size(), whole.days.size()) << size;
        std::size_t stays = 0;
        for (std::size_t d = 0; d < got.days.size(); ++d) {
            const auto& cut = got.days[d];
            const auto& full = whole.days[d];
            ASSERT_TRUE(cut.date == 0 || cut.date == full.date) << size;
            ASSERT_TRUE(cut.cardRecords.empty() || cut.cardRecords.size() == full.cardRecords.size()) << size;
            for (std::size_t k = 0; k < cut.cardRecords.size(); ++k) {
                ASSERT_EQ(cut.cardRecords[k].cardNumber, full.cardRecords[k].cardNumber) << size;
                ASSERT_EQ(cut.cardRecords[k].withdrawalTime, full.cardRecords[k].withdrawalTime) << size;
            }
            stays += cut.cardRecords.size();
        }
        ASSERT_GE(stays, staysBefore) << size;
        staysBefore = stays;
    }
    const std::size_t blocks = 1 + description.days.size() + 3;
    EXPECT_EQ(completeCuts, blocks);  // the empty prefix and one cut before every block but the first
}

// A first-generation download may begin with any of its blocks: one without the overview has
// the days, one whose technical data comes first has the vehicle as well.
TEST(VuFirstGeneration, AnyBlockMayComeFirst) {
    VuDescription whole = fleetWeek();
    whole.layout = VuLayout::Gen1Fixed;
    VuDescription overviewOnly = whole;  // written first, with the same filler, so a prefix of `whole`
    overviewOnly.days.clear();
    overviewOnly.eventFaultBlocks = overviewOnly.speedBlocks = overviewOnly.technicalBlocks = 0;
    const std::size_t overviewSize = writeVuDownload(overviewOnly).size();
    const auto wholeBytes = writeVuDownload(whole);
    const VuDownload all = decodeVuDownload(wholeBytes);

    const VuDownload days = decodeVuDownload(
        std::vector<std::uint8_t>(wholeBytes.begin() + static_cast<std::ptrdiff_t>(overviewSize), wholeBytes.end()));
    EXPECT_TRUE(days.complete) << days.stopReason;
    EXPECT_TRUE(days.vin.empty());
    EXPECT_FALSE(days.hasRegistration);
    VuDownload expected = all;
    expected.vin.clear();
    expected.registrationNumber.clear();
    expected.registrationNation = 0;
    expected.hasRegistration = false;
    expected.vuTime = expected.downloadableFrom = expected.downloadableTo = 0;
    EXPECT_EQ(vuText(days, VuFraming::Left), vuText(expected, VuFraming::Left));

    VuDescription technical = overviewOnly;
    technical.technicalBlocks = 1;
    auto reordered = writeVuDownload(technical);
    std::rotate(reordered.begin(), reordered.begin() + static_cast<std::ptrdiff_t>(overviewSize), reordered.end());
    const VuDownload technicalFirst = decodeVuDownload(reordered);
    EXPECT_TRUE(technicalFirst.complete) << technicalFirst.stopReason;
    EXPECT_EQ(technicalFirst.technicalBlocks, 1u);
    EXPECT_EQ(technicalFirst.vin, all.vin);
    EXPECT_EQ(technicalFirst.downloadableTo, all.downloadableTo);
}

// Hand-made downloads for what the generator does not write.
TEST(VuFirstGeneration, MalformedBlocks) {
    struct Case { const char* name; std::vector<std::uint8_t> bytes; std::size_t days; std::uint64_t stoppedAt; };
    std::vector<std::uint8_t> dayWithoutLists = {0x76, 0x02, 0x65, 0xE1, 0x00, 0x00, 0x00, 0x01, 0x00};
    std::vector<std::uint8_t> countOfAll = dayWithoutLists;
    countOfAll.insert(countOfAll.end(), {0xFF, 0xFF});
    countOfAll.resize(countOfAll.size() + 129 * 3);
    std::vector<std::uint8_t> speedCount = {0x76, 0x04, 0x00, 0x02};
    speedCount.resize(4 + 64 * 2 + 127);
    const Case cases[] = {
        {"a block of nothing but its TREP", {0x76, 0x01}, 0, 2},
        {"a day cut after its odometer", dayWithoutLists, 1, 9},
        {"65535 card records in 387 bytes", countOfAll, 1, 9},
        {"speed block whose signature is one byte short", speedCount, 0, 4 + 128},
        {"a second-generation record array inside a first-generation day",
         {0x76, 0x02, 0x06, 0x00, 0x04, 0x00, 0x01, 0x65, 0xE1, 0x00, 0x00}, 1, 11},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const VuDownload got = decodeVuDownload(c.bytes);
        EXPECT_FALSE(got.complete);
        EXPECT_EQ(got.days.size(), c.days);
        EXPECT_EQ(got.stoppedAt, c.stoppedAt);
        for (const auto& day : got.days) EXPECT_TRUE(day.cardRecords.empty());
    }
}

// The first card record of a first-generation download, found by its surname field.
std::vector<std::uint8_t> firstGen1CardRecord(const std::vector<std::uint8_t>& bytes) {
    const std::vector<std::uint8_t> surname = {0x01, 'K', 'o', 'w', 'a', 'l', 's', 'k', 'i', ' '};
    const auto at = std::search(bytes.begin(), bytes.end(), surname.begin(), surname.end());
    if (bytes.end() - at < 129) return {};
    return {at, at + 129};
}

TEST(VuFirstGeneration, ShortCardRecordsLeaveMissingFieldsEmpty) {
    struct Case { std::size_t size; bool names, card, insertion, slot, withdrawal; };
    VuDescription description = fleetWeek();
    description.layout = VuLayout::Gen1Fixed;
    description.days[0].stays[0].slot = 1;
    const VuCardStay& want = description.days[0].stays[0];
    const std::vector<std::uint8_t> record = firstGen1CardRecord(writeVuDownload(description));
    ASSERT_EQ(record.size(), 129u);
    for (const Case& c : {Case{20, false, false, false, false, false}, Case{72, true, false, false, false, false},
                          Case{88, true, true, false, false, false}, Case{98, true, true, true, false, false},
                          Case{102, true, true, true, true, false}, Case{109, true, true, true, true, true},
                          Case{129, true, true, true, true, true}}) {
        SCOPED_TRACE(c.size);
        const ddd::VuCardIwRecord cut = ddd::decodeVuCardIwRecordGen1(ddd::Bytes(record).first(c.size));
        EXPECT_EQ(cut.surname == "Kowalski" && cut.firstNames == "Jörg", c.names);
        EXPECT_EQ(cut.cardNumber == "PL000000005678", c.card);
        EXPECT_EQ(cut.insertionTime == want.insertion, c.insertion);
        EXPECT_EQ(cut.slot == 1, c.slot);
        EXPECT_EQ(cut.withdrawalTime == want.withdrawal &&
                      cut.odometerAtWithdrawal == static_cast<std::uint32_t>(want.odometerAtWithdrawal), c.withdrawal);
    }
}

TEST(VuFirstGeneration, DescriptionsTheLayoutCannotHoldAreRefused) {
    for (auto records : {VuRegistrationRecords::NumberOnly, VuRegistrationRecords::Both, VuRegistrationRecords::None}) {
        VuDescription vu = fleetWeek();
        vu.layout = VuLayout::Gen1Fixed;
        vu.registrationRecords = records;
        EXPECT_THROW(writeVuDownload(vu), std::invalid_argument);
    }
}

}  // namespace
