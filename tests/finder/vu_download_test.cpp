// The vehicle-unit decoder against downloads written by the generator from descriptions. Faults
// and cuts of second-generation downloads are held to their recorded decodings instead.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/vu_download.h"
#include "tools/generator/card_generator.h"
#include "tools/vu_generator/vu_generator.h"
#include "vu_text.h"

namespace {

using ddd::decodeVuDownload;
using ddd::VuDownload;
using namespace ddd::gen;
using ddd::test::stay;

VuDescription twoDays(VuLayout layout = VuLayout::Gen2) {
    VuDescription vu;
    vu.layout = layout;
    vu.vuTime = utcTime(2024, 3, 3, "08:00");
    vu.downloadableFrom = utcDay(2024, 3, 1);
    vu.downloadableTo = utcTime(2024, 3, 2, "23:59");
    VuDay first{utcDay(2024, 3, 1), true, 120000, 14, {}};
    first.stays = {stay("Weiß", "DF000000000011", 0, utcTime(2024, 3, 1, "06:00"), utcTime(2024, 3, 1, "15:30"), 120010, 120480),
                   stay("Öztürk", "DF000000000022", 1, utcTime(2024, 3, 1, "06:05"), utcTime(2024, 3, 1, "15:30"), 120010, 120480)};
    VuDay second{utcDay(2024, 3, 2), true, 120480, 3, {}};
    second.stays = {stay("Weiß", "DF000000000011", 0, utcTime(2024, 3, 2, "22:00"), 0, 120480, 0)};
    vu.days = {first, second};
    return vu;
}

std::vector<std::uint8_t> bytesOf(const VuDescription& vu) { return writeVuDownload(vu); }

TEST(VuDownload, RoundTripOfEverythingTheFinderReads) {
    for (VuLayout layout : {VuLayout::Gen2, VuLayout::Gen2v2, VuLayout::Gen1Fixed}) {
        SCOPED_TRACE(static_cast<int>(layout));
        const VuDescription description = twoDays(layout);
        const auto bytes = bytesOf(description);
        const VuDownload vu = decodeVuDownload(bytes);
        EXPECT_TRUE(vu.complete) << vu.stopReason;
        EXPECT_EQ(vu.stoppedAt, bytes.size());
        EXPECT_EQ(vu.isGen2Format, layout != VuLayout::Gen1Fixed);
        EXPECT_EQ(vu.vin, "WDB9634031L123456");
        EXPECT_EQ(vu.registrationNumber, "M AB 123");
        EXPECT_EQ(vu.registrationNation, 13);
        EXPECT_TRUE(vu.hasRegistration);
        EXPECT_EQ(vu.vuTime, description.vuTime);
        EXPECT_EQ(vu.downloadableFrom, description.downloadableFrom);
        EXPECT_EQ(vu.downloadableTo, description.downloadableTo);
        EXPECT_EQ(vu.activityBlocks, 2u);
        EXPECT_EQ(vu.eventFaultBlocks, 1u);
        EXPECT_EQ(vu.speedBlocks, 1u);
        EXPECT_EQ(vu.technicalBlocks, 1u);
        ASSERT_EQ(vu.days.size(), 2u);
        for (std::size_t d = 0; d < 2; ++d) {
            const VuDay& want = description.days[d];
            EXPECT_EQ(vu.days[d].date, want.date);
            EXPECT_EQ(vu.days[d].odometerMidnight, static_cast<std::uint32_t>(want.odometerMidnight));
            EXPECT_EQ(vu.days[d].activityChangeCount, static_cast<std::uint32_t>(want.activityChanges));
            ASSERT_EQ(vu.days[d].cardRecords.size(), want.stays.size());
            for (std::size_t k = 0; k < want.stays.size(); ++k) {
                const auto& got = vu.days[d].cardRecords[k];
                EXPECT_EQ(got.surname, want.stays[k].surname.utf8);
                EXPECT_EQ(got.firstNames, "Jörg");
                EXPECT_EQ(got.cardNumber, want.stays[k].cardNumber);
                EXPECT_EQ(got.slot, want.stays[k].slot);
                EXPECT_EQ(got.insertionTime, want.stays[k].insertion);
                EXPECT_EQ(got.withdrawalTime, want.stays[k].withdrawal);
                EXPECT_EQ(got.odometerAtInsertion, static_cast<std::uint32_t>(want.stays[k].odometerAtInsertion));
                EXPECT_EQ(got.odometerAtWithdrawal, static_cast<std::uint32_t>(want.stays[k].odometerAtWithdrawal));
            }
        }
    }
}

TEST(VuDownload, CardNumberKeepsOnlyTheDriverIdentification) {
    VuDescription vu = twoDays();
    vu.days[0].stays[0].cardNumber = "DF12345678901234";  // replacement and renewal index 3, 4
    vu.days[0].stays[1].cardNumber = "D123";              // padded with blanks
    const VuDownload got = decodeVuDownload(bytesOf(vu));
    EXPECT_EQ(got.days[0].cardRecords[0].cardNumber, "DF123456789012");
    EXPECT_EQ(got.days[0].cardRecords[1].cardNumber, "D123");
}

struct TrepCase {
    const char* name;
    std::uint8_t trep;
    std::uint32_t VuDownload::*counter;  // null: counted nowhere
    bool gen2;
};

class EveryTrep : public testing::TestWithParam<TrepCase> {};

// Blocks of record arrays (second-generation and unknown TREPs) inside a second-generation download.
TEST_P(EveryTrep, BlockIsCountedAndWalkedToTheNextOne) {
    const TrepCase& c = GetParam();
    VuDescription vu;  // overview, then the extra block, then one day
    vu.eventFaultBlocks = vu.speedBlocks = vu.technicalBlocks = 0;
    vu.days = {VuDay{utcDay(2024, 5, 1), true, 7, 1, {stay("Lange", "DF9", 0, utcTime(2024, 5, 1, "08:00"), 1, 0, 0)}}};
    vu.inject = {VuFault::unknownBlock(0, c.trep)};
    const VuDownload got = decodeVuDownload(bytesOf(vu));
    EXPECT_TRUE(got.complete) << got.stopReason;
    ASSERT_EQ(got.days.size(), c.counter == &VuDownload::activityBlocks ? 2u : 1u);
    EXPECT_EQ(got.days.back().cardRecords.size(), 1u);
    std::uint32_t VuDownload::*counters[] = {&VuDownload::activityBlocks, &VuDownload::eventFaultBlocks,
                                             &VuDownload::speedBlocks, &VuDownload::technicalBlocks};
    for (auto counter : counters) {
        const std::uint32_t dayBlocks = counter == &VuDownload::activityBlocks ? 1 : 0;
        EXPECT_EQ(got.*counter, dayBlocks + (counter == c.counter ? 1u : 0u));
    }
    // The overview itself has TREP 0x21, so the format is always second generation here.
    EXPECT_TRUE(got.isGen2Format);
}

INSTANTIATE_TEST_SUITE_P(VuDownload, EveryTrep,
    testing::Values(TrepCase{"overview21", 0x21, nullptr, true}, TrepCase{"overview31", 0x31, nullptr, true},
                    TrepCase{"activities22", 0x22, &VuDownload::activityBlocks, true},
                    TrepCase{"activities32", 0x32, &VuDownload::activityBlocks, true},
                    TrepCase{"events23", 0x23, &VuDownload::eventFaultBlocks, true},
                    TrepCase{"events33", 0x33, &VuDownload::eventFaultBlocks, true},
                    TrepCase{"speed24", 0x24, &VuDownload::speedBlocks, true},
                    TrepCase{"speed34", 0x34, &VuDownload::speedBlocks, true},
                    TrepCase{"technical25", 0x25, &VuDownload::technicalBlocks, true},
                    TrepCase{"technical35", 0x35, &VuDownload::technicalBlocks, true},
                    TrepCase{"unknown07", 0x07, nullptr, false}, TrepCase{"unknownA0", 0xA0, nullptr, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(VuDownload, MalformedFraming) {
    struct Case { const char* name; std::vector<std::uint8_t> bytes; bool complete; };
    std::vector<std::uint8_t> tooMany(1000, 0);
    tooMany[0] = 0x76, tooMany[1] = 0x22, tooMany[2] = 0x0D, tooMany[3] = 0x00, tooMany[4] = 200, tooMany[5] = 0,
    tooMany[6] = 100;
    const Case cases[] = {
        {"empty", {}, true},
        {"no marker", {0x05, 0x01, 0x00}, false},
        {"marker as the last byte", {0x76}, false},
        {"header cut short", {0x76, 0x22, 0x06, 0x00}, false},
        {"100 records of 200 bytes in 1000 bytes", tooMany, false},
        {"block without arrays", {0x76, 0x21}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const VuDownload got = decodeVuDownload(c.bytes);
        EXPECT_EQ(got.complete, c.complete);
        EXPECT_EQ(got.stopReason.empty(), c.complete);
        EXPECT_TRUE(got.vin.empty());
    }
}

// The bytes of the first card record of a generated download: after its 0x0D array header.
std::vector<std::uint8_t> firstCardRecord(const std::vector<std::uint8_t>& bytes) {
    const std::vector<std::uint8_t> header = {0x0D, 0x00, 131, 0x00, 0x01};
    const auto at = std::search(bytes.begin(), bytes.end(), header.begin(), header.end());
    if (at == bytes.end() || bytes.end() - at < 5 + 131) return {};
    return {at + 5, at + 5 + 131};
}

TEST(VuDownload, ShortCardRecordsLeaveMissingFieldsEmpty) {
    struct Case { std::size_t size; bool names, card, insertion, withdrawal; };
    VuDescription one = twoDays();
    one.days.resize(1);
    one.days[0].stays.resize(1);
    const std::vector<std::uint8_t> record = firstCardRecord(bytesOf(one));
    ASSERT_EQ(record.size(), 131u);
    for (const Case& c : {Case{20, false, false, false, false}, Case{36, true, false, false, false},
                          Case{90, true, true, false, false}, Case{99, true, true, true, false},
                          Case{110, true, true, true, true}}) {
        SCOPED_TRACE(c.size);
        const ddd::VuCardIwRecord cut = ddd::decodeVuCardIwRecordGen2(ddd::Bytes(record).first(c.size));
        EXPECT_EQ(!cut.surname.empty(), c.names);
        EXPECT_EQ(!cut.cardNumber.empty(), c.card);
        EXPECT_EQ(cut.insertionTime == one.days[0].stays[0].insertion, c.insertion);
        EXPECT_EQ(cut.withdrawalTime == one.days[0].stays[0].withdrawal, c.withdrawal);
    }
}

TEST(VuDownload, ZeroSizedCardRecordsMakeNoRecords) {
    const std::vector<std::uint8_t> bytes = {0x76, 0x22, 0x0D, 0x00, 0x00, 0xFF, 0xFF};
    const VuDownload got = decodeVuDownload(bytes);
    EXPECT_TRUE(got.complete);
    ASSERT_EQ(got.days.size(), 1u);
    EXPECT_TRUE(got.days[0].cardRecords.empty());
}

}  // namespace
