// Injected faults land exactly where the description asks, and nowhere else.

#include "tests/generator/walkers.h"
#include "tools/generator/card_generator.h"

#include <functional>
#include <gtest/gtest.h>

namespace ddd::gen {
namespace {

using test::be;
using test::Bytes;
using test::findTlv;
using test::splitTlv;
using test::Tlv;

CardDescription baseCard() { return randomCard(21, 6, Generation::Both); }

// Header offset of the (fid, appendix) record in the undamaged download.
std::size_t cleanOffset(unsigned fid, unsigned appendix) {
    return findTlv(*splitTlv(writeCardDownload(baseCard())), fid, appendix)->offset;
}

TEST(Faults, ContainerFaultsDamageTheNamedRecordOnly) {
    struct Case {
        const char* name;
        Fault fault;
        std::function<void(const Bytes& clean, const Bytes& damaged)> check;
    };
    const Case cases[] = {
        {"truncate", Fault::truncateAt(1000),
         [](const Bytes& clean, const Bytes& d) {
             ASSERT_EQ(d.size(), 1000u);
             EXPECT_TRUE(std::equal(d.begin(), d.end(), clean.begin()));
         }},
        {"bad appendix", Fault::badAppendix(0x0520, Generation::Gen2, 7),
         [](const Bytes& clean, const Bytes& d) {
             const std::size_t at = cleanOffset(0x0520, 2) + 2;
             EXPECT_EQ(d[at], 7);
             Bytes restored = d;
             restored[at] = 2;
             EXPECT_EQ(restored, clean);
         }},
        {"reserved length", Fault::reservedLength(0x0504, Generation::Gen1),
         [](const Bytes&, const Bytes& d) {
             EXPECT_EQ(be(d, cleanOffset(0x0504, 0) + 3, 2), 0xFFFFu);
         }},
        {"length past the end", Fault::lengthPastEnd(0x0525, Generation::Gen2, 3),
         [](const Bytes&, const Bytes& d) {
             const std::size_t at = cleanOffset(0x0525, 2);
             EXPECT_EQ(at + 5 + be(d, at + 3, 2), d.size() + 3);
         }},
        {"resized EF in one generation", Fault::resizeEf(0x0520, Generation::Gen2, 142),
         [](const Bytes&, const Bytes& d) {
             const auto r = splitTlv(d);
             ASSERT_TRUE(r);
             EXPECT_EQ(findTlv(*r, 0x0520, 2)->value.size(), 142u);
             EXPECT_EQ(findTlv(*r, 0x0520, 0)->value.size(), 143u);
         }},
        {"patched pointer", Fault::patchEf(0x0505, Generation::Gen1, 0, {0x12, 0x34}),
         [](const Bytes&, const Bytes& d) { EXPECT_EQ(be(findTlv(*splitTlv(d), 0x0505, 0)->value, 0, 2), 0x1234u); }},
        {"omitted EF and its signature", Fault::omitEf(0x0505, Generation::Gen1),
         [](const Bytes&, const Bytes& d) {
             const auto r = splitTlv(d);
             ASSERT_TRUE(r);
             EXPECT_EQ(findTlv(*r, 0x0505, 0), nullptr);
             EXPECT_EQ(findTlv(*r, 0x0505, 1), nullptr);
             EXPECT_NE(findTlv(*r, 0x0505, 2), nullptr);
         }},
        {"duplicated EF with other content", Fault::duplicateEf(0x0504, Generation::Gen2, {1, 2, 3}),
         [](const Bytes&, const Bytes& d) {
             const auto r = *splitTlv(d);
             std::vector<const Tlv*> copies;
             for (const Tlv& t : r) {
                 if (t.fid == 0x0504 && t.appendix == 2) copies.push_back(&t);
             }
             ASSERT_EQ(copies.size(), 2u);
             EXPECT_EQ(copies[0]->value.size(), 13780u) << "the original comes first";
             EXPECT_EQ(copies[1]->value, (Bytes{1, 2, 3}));
         }},
    };
    const Bytes clean = writeCardDownload(baseCard());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CardDescription card = baseCard();
        card.inject = {c.fault};
        c.check(clean, writeCardDownload(card));
    }
}

TEST(Faults, ChainFaultsChangeTheNamedDayInTheChosenApplication) {
    struct Case {
        const char* name;
        Fault fault;
        std::function<void(const test::WalkedDay& day)> check;
    };
    const Case cases[] = {
        {"previous length", Fault::previousLength(2, 999, Generation::Gen2),
         [](const test::WalkedDay& d) { EXPECT_EQ(d.previousLength, 999u); }},
        {"odd record length", Fault::recordLength(2, 13, Generation::Gen2),
         [](const test::WalkedDay& d) { EXPECT_EQ(d.length, 13u); }},
        {"record length below the header", Fault::recordLength(2, 10, Generation::Gen2),
         [](const test::WalkedDay& d) { EXPECT_EQ(d.length, 10u); }},
        {"minute past the day", Fault::minuteOutOfRange(2, 1500, Generation::Gen2),
         [](const test::WalkedDay& d) { EXPECT_EQ(d.words.back() & 0x7FF, 1500u); }},
    };
    CardDescription card;
    card.generation = Generation::Both;
    for (int i = 0; i < 4; ++i) card.days.push_back(dayFromText(utcDay(2024, 5, 1 + i), "00:00 rest 08:00 drive 12:00 rest"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        card.inject = {c.fault};
        const auto records = *splitTlv(writeCardDownload(card));
        const Bytes& gen2 = findTlv(records, 0x0504, 2)->value;
        // Records all have the same 18-byte length here, so day 2 starts at 36.
        test::WalkedDay day{36, be(gen2, 4 + 36, 2), be(gen2, 4 + 38, 2), 0, {be(gen2, 4 + 36 + 16, 2)}};
        c.check(day);
        EXPECT_EQ(test::walkActivity(findTlv(records, 0x0504, 0)->value).size(), 4u) << "first generation untouched";
    }
}

TEST(Faults, NamingAnAbsentEfIsAnError) {
    CardDescription card;
    card.inject = {Fault::omitEf(0x0525, Generation::Gen1)};
    EXPECT_THROW(writeCardDownload(card), std::invalid_argument);
}

} // namespace
} // namespace ddd::gen
