#include <gtest/gtest.h>

#include <vector>

#include "core/card_file.h"

namespace ddd {
namespace {

using ByteVector = std::vector<std::uint8_t>;

void appendRecord(ByteVector& out, std::uint16_t fid, std::uint8_t appendix, const ByteVector& value) {
    out.push_back(static_cast<std::uint8_t>(fid >> 8));
    out.push_back(static_cast<std::uint8_t>(fid));
    out.push_back(appendix);
    out.push_back(static_cast<std::uint8_t>(value.size() >> 8));
    out.push_back(static_cast<std::uint8_t>(value.size()));
    out.insert(out.end(), value.begin(), value.end());
}

TEST(TlvSplit, ContainerErrorsWithOffsets) {
    ByteVector twoSpare;
    appendRecord(twoSpare, 0xC100, 0, ByteVector(10, 0xAB));
    twoSpare.push_back(0x05);
    twoSpare.push_back(0x01);
    ByteVector valueShort{0x05, 0x20, 0x00, 0x00, 0x8F};
    valueShort.resize(5 + 100);
    ByteVector secondBad;
    appendRecord(secondBad, 0x0002, 0, ByteVector(25, 0));
    secondBad.insert(secondBad.end(), {0x05, 0x01, 0x07, 0x00, 0x00});

    struct Case { const char* name; ByteVector bytes; std::uint64_t offset; const char* message; };
    const Case cases[] = {
        {"empty", {}, 0, "empty file"},
        {"three bytes", {0x05, 0x01, 0x00}, 0, "truncated TLV header (need 5 bytes: FID, appendix, length)"},
        {"two spare bytes after a record", twoSpare, 15, "truncated TLV header (need 5 bytes: FID, appendix, length)"},
        {"appendix 4", {0x05, 0x01, 0x04, 0x00, 0x0A}, 2,
         "invalid appendix byte 0x04 for FID 0x0501 (not a card download?)"},
        {"appendix on a later record", secondBad, 32, "invalid appendix byte 0x07 for FID 0x0501 (not a card download?)"},
        {"reserved length", {0x05, 0x20, 0x00, 0xFF, 0xFF}, 3, "length 'FFFF' is reserved (DDP_044)"},
        {"value shorter than declared", valueShort, 5, "TLV value truncated: FID 0x0520 declares 143 bytes"},
    };
    for (const auto& c : cases) {
        auto split = splitTlv(c.bytes);
        ASSERT_FALSE(split.ok()) << c.name;
        EXPECT_EQ(split.error().offset, c.offset) << c.name;
        EXPECT_EQ(split.error().message, c.message) << c.name;
        auto file = decodeCardFile(c.bytes);
        ASSERT_FALSE(file.ok()) << c.name;
        EXPECT_EQ(file.error().message, c.message) << c.name;
    }
}

TEST(TlvSplit, IndexesRecordsInFileOrder) {
    ByteVector bytes;
    appendRecord(bytes, 0x0002, 0, ByteVector(25, 1));
    appendRecord(bytes, 0x0520, 2, {});
    appendRecord(bytes, 0x0520, 3, ByteVector(64, 2));
    auto split = splitTlv(bytes);
    ASSERT_TRUE(split.ok());
    const auto& records = split.value().records;
    ASSERT_EQ(records.size(), 3u);
    EXPECT_TRUE(split.value().hasGen2Records);
    EXPECT_EQ(records[1].fid, 0x0520);
    EXPECT_EQ(records[1].offset, 30u);
    EXPECT_EQ(records[1].length, 0u);
    EXPECT_EQ(records[2].offset, 35u);
    EXPECT_EQ(records[2].value.data(), bytes.data() + 40) << "values are views into the input";
}

TEST(CardFile, GenerationsAndIssues) {
    ByteVector certificatesOnly;
    appendRecord(certificatesOnly, 0xC100, 0, ByteVector(194, 0));
    appendRecord(certificatesOnly, 0xC108, 0, ByteVector(194, 0));
    auto rejected = decodeCardFile(certificatesOnly);
    ASSERT_FALSE(rejected.ok());
    EXPECT_EQ(rejected.error().message, "no tachograph application data in container");
    EXPECT_EQ(rejected.error().offset, 0u);

    ByteVector gen2Only;
    appendRecord(gen2Only, 0x0504, 0, ByteVector(3, 0));
    appendRecord(gen2Only, 0x0520, 2, ByteVector(142, 0x20));
    appendRecord(gen2Only, 0x0522, 2, {});
    auto file = decodeCardFile(gen2Only);
    ASSERT_TRUE(file.ok());
    EXPECT_FALSE(file.value().gen1) << "an appendix-0 activity EF alone builds no first-generation part";
    ASSERT_TRUE(file.value().gen2);
    const auto& gen2 = *file.value().gen2;
    EXPECT_TRUE(gen2.isGen2);
    EXPECT_FALSE(gen2.identification);
    EXPECT_FALSE(gen2.specificConditions);
    ASSERT_EQ(gen2.issues.size(), 2u);
    EXPECT_EQ(gen2.issues[0], "Identification: EF Identification: expected 143 bytes for a driver card, got 142 (offset 0)");
    EXPECT_EQ(gen2.issues[1],
              "Specific_Conditions: EF Specific_Conditions: size 0 does not fit 2 + N*5 (offset 0)");

    ByteVector gen1;
    appendRecord(gen1, 0x0522, 0, {});
    appendRecord(gen1, 0x0501, 0, ByteVector(17, 0));
    ByteVector firstActivity(16, 0);
    ByteVector secondActivity(15, 0);
    appendRecord(gen1, 0x0504, 0, firstActivity);
    appendRecord(gen1, 0x0504, 0, secondActivity);
    auto decoded = decodeCardFile(gen1);
    ASSERT_TRUE(decoded.ok());
    const auto& part = *decoded.value().gen1;
    EXPECT_TRUE(part.specificConditions && part.specificConditions->empty());
    ASSERT_TRUE(part.applicationIdentification);
    EXPECT_TRUE(part.applicationIdentification->isGen2Layout) << "the size decides the layout";
    ASSERT_TRUE(part.driverActivity) << "only the first activity record is decoded";
    EXPECT_TRUE(part.issues.empty());
    EXPECT_FALSE(decoded.value().hasGen2Records);
}

TEST(CardFile, ActivityFailureIsFlagged) {
    ByteVector bytes;
    appendRecord(bytes, 0x0520, 0, ByteVector(143, 0x20));
    appendRecord(bytes, 0x0504, 0, ByteVector(15, 0));
    auto file = decodeCardFile(bytes);
    ASSERT_TRUE(file.ok());
    const auto& part = *file.value().gen1;
    EXPECT_TRUE(part.activityDecodeFailed);
    EXPECT_TRUE(part.identification);
    ASSERT_EQ(part.issues.size(), 1u);
    EXPECT_EQ(part.issues[0], "Driver_Activity_Data: EF Driver_Activity_Data: too small (15 bytes) (offset 0)");
}

}  // namespace
}  // namespace ddd
