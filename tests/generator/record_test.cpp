// Field encodings of the fixed and cyclic EFs: code pages, BCD, cyclic slots, event groups.

#include "tests/generator/walkers.h"
#include "tools/generator/card_generator.h"

#include <gtest/gtest.h>

namespace ddd::gen {
namespace {

using test::be;
using test::Bytes;
using test::findTlv;
using test::splitTlv;

Bytes ef(const CardDescription& card, unsigned fid, unsigned appendix) {
    return findTlv(splitTlv(writeCardDownload(card)).value(), fid, appendix)->value;
}

TEST(Records, NamesAreEncodedIntoTheirCodePage) {
    struct Case { const char* text; std::uint8_t codePage; std::uint8_t byte; };
    const Case cases[] = {
        {"Ł", 2, 0xA3}, {"Ą", 2, 0xA1}, {"ő", 2, 0xF5},  {"ß", 1, 0xDF},  {"€", 15, 0xA4}, {"Ω", 7, 0xD9},
        {"ş", 9, 0xFE}, {"ж", 5, 0xD6}, {"Ж", 80, 0xF6}, {"Ґ", 85, 0xBD}, {"Ș", 16, 0xAA}, {"é", 0, 0xE9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        CardDescription card;
        card.identity.surname = Text(c.text, c.codePage);
        const Bytes id = ef(card, 0x0520, 0);
        EXPECT_EQ(id[65], c.codePage);
        EXPECT_EQ(id[66], c.byte);
        EXPECT_EQ(id[67], 0x20) << "padding";
        EXPECT_EQ(id[100], 0x20);
    }
}

TEST(Records, UnwritableTextsAreRejected) {
    const Text cases[] = {Text("Ł", 1), Text("Ж", 2), Text(std::string(36, 'A')), Text("€", 1)};
    for (const Text& t : cases) {
        CardDescription card;
        card.identity.firstNames = t;
        EXPECT_THROW(writeCardDownload(card), std::invalid_argument) << t.utf8;
    }
}

TEST(Records, IdentificationFieldsLandAtTheirOffsets) {
    CardDescription card;
    card.identity.cardNumber = "DF123";
    card.identity.birthDate = {1978, 4, 12};
    card.identity.issuingAuthority.raw = Bytes{0x00, 0x41};
    card.identity.preferredLanguage = "d";
    const Bytes id = ef(card, 0x0520, 0);
    EXPECT_EQ(std::string(id.begin() + 1, id.begin() + 17), "DF123           ");
    EXPECT_EQ(id[18], 0x00);
    EXPECT_EQ(id[19], 0x41);
    EXPECT_EQ(id[20], 0x20);
    EXPECT_EQ(be(id, 137, 4), 0x19780412u);
    EXPECT_EQ(be(id, 141, 2), 0x6400u);
}

TEST(Records, CyclicEfsWrapAndPointAtTheNewestSlot) {
    CardDescription card;
    card.generation = Generation::Both;
    for (int i = 0; i < 7; ++i) {
        card.vehicles.push_back({i, i + 1, 1000 + i, 2000 + i, {13, Text("X")}, i, ""});
        card.places.push_back({3000 + i, 0, 13, 0, i, 0, 0, -1, 1});
    }
    card.gen1.vehicles = card.gen2.vehicles = 5;
    card.gen1.places = card.gen2.places = 5;
    struct Case {
        const char* name;
        unsigned fid;
        unsigned appendix;
        int pointerSize;
        std::size_t recordSize;
        std::size_t timeOffset;
    };
    const Case cases[] = {
        {"gen1 vehicles", 0x0505, 0, 2, 31, 6},
        {"gen2 vehicles", 0x0505, 2, 2, 48, 6},
        {"gen1 places", 0x0506, 0, 1, 10, 0},
        {"gen2 places", 0x0506, 2, 2, 21, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes e = ef(card, c.fid, c.appendix);
        ASSERT_EQ(e.size(), static_cast<std::size_t>(c.pointerSize) + 5 * c.recordSize);
        EXPECT_EQ(be(e, 0, c.pointerSize), 1u) << "seven records in five slots end in slot 1";
        const unsigned base = c.fid == 0x0505 ? 1000 : 3000;
        const unsigned expected[] = {5, 6, 2, 3, 4}; // record index held by each slot
        for (std::size_t slot = 0; slot < 5; ++slot) {
            EXPECT_EQ(be(e, static_cast<std::size_t>(c.pointerSize) + slot * c.recordSize + c.timeOffset, 4),
                      base + expected[slot]);
        }
    }
    const Bytes places = ef(card, 0x0506, 2);
    EXPECT_EQ(be(places, 2 + 15, 3), 0xFFFFFFu) << "latitude -1 as 24-bit two's complement";
}

TEST(Records, EventsGoToTheGroupOfTheirTypeAndReplaceTheOldest) {
    CardDescription card;
    card.generation = Generation::Both;
    card.gen1.eventsPerType = card.gen2.eventsPerType = 2;
    for (int i = 0; i < 3; ++i) card.events.push_back({0x05, 100 + i, 200 + i, {}, -1}); // group 1
    card.events.push_back({0x77, 500, 600, {}, 4});
    card.faults.push_back({0x40, 700, 800, {}, -1}); // card fault, group 1
    for (unsigned appendix : {0u, 2u}) {
        SCOPED_TRACE(appendix);
        const Bytes events = ef(card, 0x0502, appendix);
        ASSERT_EQ(events.size(), (appendix == 0 ? 6u : 11u) * 2 * 24);
        EXPECT_EQ(be(events, 2 * 24 + 1, 4), 102u) << "third event replaced the first";
        EXPECT_EQ(be(events, 3 * 24 + 1, 4), 101u);
        EXPECT_EQ(events[8 * 24], 0x77);
        const Bytes faults = ef(card, 0x0503, appendix);
        EXPECT_EQ(faults[24 * 24], 0x40) << "first slot of the second group of 24";
    }
}

TEST(Records, PresenceCounterIsBcdUnlessGivenRaw) {
    CardDescription card;
    card.days = {dayFromText(0, "00:00 rest", 1234, 567), dayFromText(86400, "00:00 rest")};
    card.days[1].rawPresenceCounter = 0x9A00;
    const Bytes e = ef(card, 0x0504, 0);
    ASSERT_GE(e.size(), 4u + 14 + 14);
    EXPECT_EQ(be(e, 4 + 8, 2), 0x1234u);
    EXPECT_EQ(be(e, 4 + 10, 2), 567u);
    EXPECT_EQ(be(e, 4 + 14 + 8, 2), 0x9A00u);
}

} // namespace
} // namespace ddd::gen
