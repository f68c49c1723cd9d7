// The vehicle-unit decoder against downloads the generator writes from descriptions: every block
// of every layout round-trips, and each fault a real unit shows keeps what came before it and
// names what is wrong.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/vu_download.h"
#include "tools/generator/card_generator.h"
#include "tools/vu_generator/vu_generator.h"

namespace {

using namespace ddd;
using namespace ddd::gen;

constexpr VuLayout kLayouts[] = {VuLayout::Gen1Fixed, VuLayout::Gen2, VuLayout::Gen2v2};

bool mentions(const VuDownload& vu, const std::string& text) {
    for (const auto& problem : vu.problems) {
        if (problem.find(text) != std::string::npos) return true;
    }
    return false;
}

// Everything the description states comes back; values it leaves unwritten come back absent,
// whether the unit filled them with 0x00 or with 0xFF.
TEST(VuDecoding, EveryBlockOfEveryLayoutRoundTrips) {
    for (VuLayout layout : kLayouts) {
        for (std::uint8_t fill : {0x00, 0xFF}) {
            SCOPED_TRACE(testing::Message() << "layout " << static_cast<int>(layout) << " fill " << int{fill});
            VuDescription d = fullVuDescription(layout);
            d.unwrittenFill = fill;
            const auto bytes = writeVuDownload(d);
            const VuDownload vu = decodeVuDownload(bytes);
            EXPECT_TRUE(vu.complete) << vu.stopReason;
            EXPECT_TRUE(vu.problems.empty()) << vu.problems.front();
            EXPECT_EQ(vu.wholeBlocks, 6u);
            EXPECT_EQ(vu.isGen2Format, layout != VuLayout::Gen1Fixed);
            EXPECT_EQ(vu.vin, d.vin);
            EXPECT_EQ(vu.registrationNumber, d.registration.plate.utf8);
            EXPECT_EQ(vu.vuTime, d.vuTime);
            EXPECT_EQ(vu.downloadableFrom, d.downloadableFrom);
            EXPECT_EQ(vu.downloadableTo, d.downloadableTo);
            EXPECT_EQ(vu.cardSlots, d.cardSlots);
            EXPECT_EQ(vu.lastDownload, d.lastDownload);
            EXPECT_EQ(vu.companyLocks, d.companyLocks);
            EXPECT_EQ(vu.controls, d.controls);
            ASSERT_EQ(vu.days.size(), d.days.size());
            for (std::size_t i = 0; i < d.days.size(); ++i) {
                const VuDayBlock& got = vu.days[i];
                const VuDay& want = d.days[i];
                EXPECT_EQ(got.date, want.date);
                EXPECT_EQ(got.odometerMidnight, static_cast<std::uint32_t>(want.odometerMidnight));
                EXPECT_EQ(got.activityChanges, want.changeWords);
                EXPECT_EQ(got.places, want.places);
                EXPECT_EQ(got.gnssPositions, want.gnssPositions);
                EXPECT_EQ(got.specificConditions, want.specificConditions);
                EXPECT_EQ(got.borderCrossings, want.borderCrossings);
                EXPECT_EQ(got.loadUnloads, want.loadUnloads);
                ASSERT_EQ(got.cardRecords.size(), want.stays.size());
                for (std::size_t k = 0; k < want.stays.size(); ++k) {
                    const VuCardIwRecord& r = got.cardRecords[k];
                    const VuCardStay& s = want.stays[k];
                    EXPECT_EQ(r.surname, s.surname.utf8);
                    EXPECT_EQ(r.cardNumber, s.cardNumber.substr(0, 14));
                    ASSERT_TRUE(r.card);
                    EXPECT_EQ(r.card->number, s.cardNumber);
                    EXPECT_EQ(r.card->generation.has_value(), layout != VuLayout::Gen1Fixed);
                    EXPECT_EQ(r.cardExpiry, s.cardExpiry);
                    EXPECT_EQ(r.slot, s.slot);
                    EXPECT_EQ(r.insertionTime, s.insertion);
                    EXPECT_EQ(r.withdrawalTime, s.withdrawal);
                    EXPECT_EQ(r.odometerAtInsertion, static_cast<std::uint32_t>(s.odometerAtInsertion));
                    EXPECT_EQ(r.odometerAtWithdrawal, static_cast<std::uint32_t>(s.odometerAtWithdrawal));
                }
            }
            EXPECT_EQ(vu.faults, d.faults);
            EXPECT_EQ(vu.events, d.events);
            EXPECT_EQ(vu.overspeedControl, d.overspeedControl);
            EXPECT_EQ(vu.overspeedEvents, d.overspeedEvents);
            EXPECT_EQ(vu.timeAdjustments, d.timeAdjustments);
            EXPECT_EQ(vu.powerInterruptions, d.powerInterruptions);
            EXPECT_EQ(vu.speed, d.speed);
            EXPECT_EQ(vu.identification, d.identification);
            EXPECT_EQ(vu.sensors, d.sensors);
            EXPECT_EQ(vu.gnssFacilities, d.gnssFacilities);
            EXPECT_EQ(vu.calibrations, d.calibrations);
            EXPECT_EQ(vu.cardsUsed, d.cardsUsed);
            EXPECT_EQ(vu.itsConsents, d.itsConsents);
        }
    }
}

struct FaultCase {
    const char* name;
    VuLayout layout;
    VuFault fault;
    bool complete;
    std::size_t days;
    std::size_t stays;  // over all days
    const char* problem;
};

// Cuts, unknown blocks and arrays of a wrong size: the blocks before stay as they were.
TEST(VuDecoding, FaultsKeepWhatCameBeforeAndSayWhatIsWrong) {
    const FaultCase cases[] = {
        {"gen1 unknown block after the first day", VuLayout::Gen1Fixed, VuFault::unknownBlock(1, 0x47), false, 1, 2, "unbekannter Art"},
        {"gen2 unknown block after the first day", VuLayout::Gen2, VuFault::unknownBlock(1, 0x47), true, 2, 3, "übersprungen"},
        {"gen2v2 wrong size of the conditions", VuLayout::Gen2v2, VuFault::wrongRecordSize(0), true, 2, 3, "(Typ 0x09)"},
        {"gen2 border crossings of 0 bytes", VuLayout::Gen2, VuFault::zeroSizeRecords(0), true, 2, 3, "zu 0 statt 55 Byte"},
        {"gen1 card count past the end", VuLayout::Gen1Fixed, VuFault::countPastEnd(1), false, 2, 2, "abgeschnitten"},
        {"gen2 card count past the end", VuLayout::Gen2, VuFault::countPastEnd(1), false, 2, 2, "abgeschnitten"},
        {"gen2 marker at the end", VuLayout::Gen2, VuFault::markerAtEnd(), false, 2, 3, "endet nach der Blockkennung"},
        {"gen1 trailing bytes", VuLayout::Gen1Fixed, VuFault::trailingGarbage(7), false, 2, 3, "kein weiterer Block"},
    };
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.name);
        VuDescription d = fullVuDescription(c.layout);
        d.inject = {c.fault};
        const VuDownload vu = decodeVuDownload(writeVuDownload(d));
        EXPECT_EQ(vu.complete, c.complete);
        EXPECT_EQ(vu.vin, d.vin);
        ASSERT_EQ(vu.days.size(), c.days);
        std::size_t stays = 0;
        for (const auto& day : vu.days) stays += day.cardRecords.size();
        EXPECT_EQ(stays, c.stays);
        EXPECT_EQ(vu.days[0].places, d.days[0].places);
        EXPECT_TRUE(mentions(vu, c.problem)) << (vu.problems.empty() ? "no problem" : vu.problems.front());
    }
}

// Every prefix of a download: never more than the whole, every block before the cut intact. A
// second-generation block cut between two arrays looks whole: its missing signature tells.
TEST(VuDecoding, EveryCutKeepsTheBlocksBeforeIt) {
    for (VuLayout layout : kLayouts) {
        const auto whole = writeVuDownload(fullVuDescription(layout));
        const VuDownload full = decodeVuDownload(whole);
        for (std::size_t size = 1; size < whole.size(); ++size) {
            const VuDownload cut = decodeVuDownload(Bytes(whole).first(size));
            ASSERT_LE(cut.stoppedAt, size);
            const bool atBlockEnd = std::any_of(full.blocks.begin(), full.blocks.end(), [&](const VuBlock& b) { return b.end == size; });
            if (layout == VuLayout::Gen1Fixed) {
                ASSERT_EQ(cut.problems.empty(), atBlockEnd) << size;
            }
            ASSERT_LE(cut.wholeBlocks, full.wholeBlocks);
            for (std::size_t b = 0; b + 1 < cut.blocks.size(); ++b) {
                ASSERT_EQ(cut.blocks[b].end, full.blocks[b].end) << size;
            }
        }
    }
}

// Extra blocks of every kind, and of an unknown kind, between the overview and the first day.
TEST(VuDecoding, BlocksOfEveryTrepAreCountedAndWalked) {
    for (std::uint8_t trep : {0x21, 0x22, 0x23, 0x24, 0x25, 0x31, 0x32, 0x33, 0x34, 0x35, 0x07, 0x11, 0xA0}) {
        SCOPED_TRACE(int{trep});
        VuDescription d;
        d.days = {VuDay{utcDay(2024, 5, 1), true, 7, 1, {}}};
        d.inject = {VuFault::unknownBlock(0, trep)};
        const VuDownload vu = decodeVuDownload(writeVuDownload(d));
        EXPECT_TRUE(vu.complete) << vu.stopReason;
        const bool known = (trep & 0xF0) == 0x20 || (trep & 0xF0) == 0x30;
        EXPECT_EQ(vu.activityBlocks, (trep & 0x0F) == 2 && known ? 2u : 1u);
        EXPECT_EQ(vu.eventFaultBlocks, (trep & 0x0F) == 3 && known ? 2u : 1u);
        EXPECT_EQ(vu.technicalBlocks, (trep & 0x0F) == 5 && known ? 2u : 1u);
        EXPECT_EQ(mentions(vu, "unbekannter Art"), !known);
    }
}

TEST(VuDecoding, MalformedFraming) {
    struct Case { const char* name; std::vector<std::uint8_t> bytes; bool complete; };
    std::vector<std::uint8_t> tooMany(1000, 0);
    tooMany[0] = 0x76, tooMany[1] = 0x22, tooMany[2] = 0x0D, tooMany[4] = 200, tooMany[6] = 100;
    std::vector<std::uint8_t> tinyBlocks;
    for (int i = 0; i < 5000; ++i) tinyBlocks.insert(tinyBlocks.end(), {0x76, 0x22});
    const Case cases[] = {
        {"empty", {}, true},
        {"no marker", {0x05, 0x01, 0x00}, false},
        {"marker as the last byte", {0x76}, false},
        {"header cut short", {0x76, 0x22, 0x06, 0x00}, false},
        {"100 records of 200 bytes in 1000 bytes", tooMany, false},
        {"block without arrays", {0x76, 0x21}, true},
        {"65535 card records of no bytes", {0x76, 0x22, 0x0D, 0x00, 0x00, 0xFF, 0xFF}, true},
        {"day records outside a day", {0x76, 0x21, 0x0D, 0x00, 0x83, 0x00, 0x00}, true},
        {"5000 empty days: memory stays bounded", tinyBlocks, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const VuDownload vu = decodeVuDownload(c.bytes);
        EXPECT_EQ(vu.complete, c.complete);
        EXPECT_EQ(vu.stopReason.empty(), c.complete);
        EXPECT_TRUE(vu.vin.empty());
        EXPECT_LE(vu.blocks.size(), 4096u);
        for (const auto& day : vu.days) EXPECT_TRUE(day.cardRecords.empty());
    }
}

}  // namespace
