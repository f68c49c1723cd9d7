#include <gtest/gtest.h>

#include <vector>

#include "core/card_efs.h"

namespace ddd {
namespace {

using ByteVector = std::vector<std::uint8_t>;

template <typename T>
std::string errorOf(const Decoded<T>& decoded) {
    return decoded.ok() ? std::string("(decoded)") : decoded.error().message;
}

TEST(FixedSizeEfs, SizeMessages) {
    struct Case { const char* name; std::string actual; const char* expected; };
    const Case cases[] = {
        {"identification 142", errorOf(decodeIdentification(ByteVector(142))),
         "EF Identification: expected 143 bytes for a driver card, got 142"},
        {"identification 144", errorOf(decodeIdentification(ByteVector(144))),
         "EF Identification: expected 143 bytes for a driver card, got 144"},
        {"application identification 11", errorOf(decodeApplicationIdentification(ByteVector(11))),
         "EF Application_Identification: expected 10 (Gen1) or 17 (Gen2) bytes for a driver card, got 11"},
        {"control activity 45", errorOf(decodeControlActivity(ByteVector(45))),
         "EF Control_Activity_Data: expected 46 bytes, got 45"},
        {"current usage 0", errorOf(decodeCurrentUsage(ByteVector())), "EF Current_Usage: expected 19 bytes, got 0"},
        {"card download 5", errorOf(decodeCardDownload(ByteVector(5))), "EF Card_Download: expected 4 bytes, got 5"},
        {"driving licence 52", errorOf(decodeDrivingLicence(ByteVector(52))),
         "EF Driving_Licence_Info: expected 53 bytes, got 52"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.actual, c.expected) << c.name;
}

TEST(FixedSizeEfs, FieldRules) {
    ByteVector identification(143, 0);
    identification[141] = 0x64;
    identification[142] = 0x65;
    auto id = decodeIdentification(identification);
    ASSERT_TRUE(id.ok());
    EXPECT_EQ(id.value().preferredLanguage, "de");
    EXPECT_FALSE(id.value().birthDate.present);
    identification[141] = 0x20;
    EXPECT_EQ(decodeIdentification(identification).value().preferredLanguage, "e");
    identification[141] = identification[142] = 0;
    EXPECT_EQ(decodeIdentification(identification).value().preferredLanguage, "");

    ByteVector licence(53, 0x20);
    const std::string number = "B 072 RRE2K 1";
    std::copy(number.begin(), number.end(), licence.begin() + 37);
    licence[36] = 13;
    auto decoded = decodeDrivingLicence(licence);
    ASSERT_TRUE(decoded.ok());
    EXPECT_EQ(decoded.value().licenceNumber, "B072RRE2K1");
    EXPECT_EQ(decoded.value().licenceNation, 13);

    auto control = decodeControlActivity(ByteVector(46, 0));
    ASSERT_TRUE(control.ok()) << "an all-zero control block means no control";
    EXPECT_EQ(control.value().controlTime, 0);

    ByteVector gen1App{0x01, 0x01, 0x00, 12, 24, 0x35, 0xD0, 0x00, 84, 112};
    auto app = decodeApplicationIdentification(gen1App);
    ASSERT_TRUE(app.ok());
    EXPECT_FALSE(app.value().isGen2Layout);
    EXPECT_EQ(app.value().activityStructureLength, 0x35D0);
    EXPECT_EQ(app.value().vehicleRecords, 84);
    EXPECT_EQ(app.value().placeRecords, 112);
}

ByteVector vehicleSlot(std::uint32_t firstUse, std::uint32_t lastUse, std::uint8_t tag, std::size_t size) {
    ByteVector slot(size, 0);
    for (int i = 0; i < 4; ++i) {
        slot[6 + i] = static_cast<std::uint8_t>(firstUse >> (24 - 8 * i));
        slot[10 + i] = static_cast<std::uint8_t>(lastUse >> (24 - 8 * i));
    }
    slot[2] = tag;
    return slot;
}

TEST(VehiclesUsed, SizesPointersAndOrder) {
    EXPECT_EQ(errorOf(decodeVehiclesUsed(ByteVector(3), false)), "EF Vehicles_Used: size 3 does not fit 2 + N*31");
    auto empty = decodeVehiclesUsed(ByteVector{0x00, 0x07}, true);
    ASSERT_TRUE(empty.ok());
    EXPECT_EQ(empty.value().newestPointer, 7) << "no records: the pointer is kept unchecked";
    EXPECT_TRUE(empty.value().slots.empty());

    ByteVector five{0x00, 0x01};
    for (std::uint8_t i = 0; i < 5; ++i) {
        auto slot = vehicleSlot(1000 + i, 2000 + i, i, 31);
        five.insert(five.end(), slot.begin(), slot.end());
    }
    auto decoded = decodeVehiclesUsed(five, false);
    ASSERT_TRUE(decoded.ok());
    std::vector<std::uint32_t> order;
    for (const auto& v : decoded.value().chronological) order.push_back(v.odometerBegin);
    EXPECT_EQ(order, (std::vector<std::uint32_t>{2, 3, 4, 0, 1}));
    EXPECT_EQ(decoded.value().slots.size(), 5u);

    five[1] = 5;
    EXPECT_EQ(errorOf(decodeVehiclesUsed(five, false)), "EF Vehicles_Used: newest pointer 5 out of range (N=5)");

    ByteVector mixed{0x00, 0x02};
    for (auto [first, last] : {std::pair{0xFFFFFFFFu, 0u}, std::pair{0u, 500u}, std::pair{0u, 0u}}) {
        auto slot = vehicleSlot(first, last, 0, 48);
        mixed.insert(mixed.end(), slot.begin(), slot.end());
    }
    auto filtered = decodeVehiclesUsed(mixed, true);
    ASSERT_TRUE(filtered.ok());
    ASSERT_EQ(filtered.value().chronological.size(), 1u) << "a slot with only a last use is kept";
    EXPECT_EQ(filtered.value().chronological[0].lastUse, 500);
}

TEST(VehiclesUsed, VinFilter) {
    ByteVector ef{0x00, 0x00};
    auto slot = vehicleSlot(1, 2, 0, 48);
    const std::string vin = "WDB 963403!~\x01\x7F\x85" "A\xA0";
    std::copy(vin.begin(), vin.end(), slot.begin() + 31);
    ef.insert(ef.end(), slot.begin(), slot.end());
    auto decoded = decodeVehiclesUsed(ef, true);
    ASSERT_TRUE(decoded.ok());
    EXPECT_EQ(decoded.value().chronological[0].vin, "WDB963403!~A\xA0");
}

TEST(Places, SizesAndPointer) {
    EXPECT_EQ(errorOf(decodePlaces(ByteVector(12), false)), "EF Places: size 12 does not fit 1 + N*10");
    EXPECT_EQ(errorOf(decodePlaces(ByteVector(24), true)), "EF Places: size 24 does not fit 2 + N*21");
    ByteVector full(1 + 10 * 112, 0);
    full[0] = 112;
    EXPECT_EQ(errorOf(decodePlaces(full, false)), "EF Places: newest pointer 112 out of range (N=112)");

    ByteVector gen2{0x00, 0x00};
    ByteVector record{0x65, 0x00, 0x00, 0x00, 0x01, 13, 2, 0x01, 0x00, 0x00,
                      0x65, 0x00, 0x00, 0x00, 3, 0xFF, 0xFF, 0xFE, 0x00, 0x01, 0x00};
    gen2.insert(gen2.end(), record.begin(), record.end());
    auto decoded = decodePlaces(gen2, true);
    ASSERT_TRUE(decoded.ok());
    ASSERT_EQ(decoded.value().size(), 1u);
    const auto& p = decoded.value()[0];
    EXPECT_EQ(p.odometer, 65536u);
    EXPECT_EQ(p.latitude, -2) << "signed 24-bit coordinates are sign-extended";
    EXPECT_EQ(p.longitude, 256);
    EXPECT_TRUE(p.hasGnss);
}

TEST(EventsFaults, GroupSizes) {
    EXPECT_TRUE(decodeEventsFaults(ByteVector(6 * 24 * 12), 6).ok());
    EXPECT_EQ(errorOf(decodeEventsFaults(ByteVector(6 * 24 * 12 + 24), 6)),
              "events/faults EF: size 1752 does not fit 6 groups of 24-byte records");
    EXPECT_EQ(errorOf(decodeEventsFaults(ByteVector(), 2)), "events/faults EF: size 0 does not fit 2 groups of 24-byte records");
    EXPECT_EQ(errorOf(decodeEventsFaults(ByteVector(48), 0)), "event/fault parse: zero groups");

    ByteVector two(48, 0);
    two[0] = 0x05;
    two[5 + 3] = 1;  // end time only
    two[24] = 0x06;
    auto decoded = decodeEventsFaults(two, 2);
    ASSERT_TRUE(decoded.ok());
    ASSERT_EQ(decoded.value().size(), 1u);
    EXPECT_EQ(decoded.value()[0].type, 0x05);
    EXPECT_EQ(decoded.value()[0].end, 1);
}

TEST(SpecificConditions, StableTimeOrder) {
    EXPECT_TRUE(decodeSpecificConditions(ByteVector(), false).ok());
    EXPECT_EQ(errorOf(decodeSpecificConditions(ByteVector(), true)),
              "EF Specific_Conditions: size 0 does not fit 2 + N*5");
    EXPECT_EQ(errorOf(decodeSpecificConditions(ByteVector{0, 1, 0, 0, 0, 1, 1}, true)),
              "EF Specific_Conditions: newest pointer out of range");
    ByteVector records{0, 0, 1, 0x2C, 1, 0, 0, 0, 100, 2, 0, 0, 0, 0, 9, 0, 0, 0, 100, 3};
    auto decoded = decodeSpecificConditions(records, false);
    ASSERT_TRUE(decoded.ok());
    ASSERT_EQ(decoded.value().size(), 3u);
    EXPECT_EQ(decoded.value()[0].conditionType, 2);
    EXPECT_EQ(decoded.value()[1].conditionType, 3);
    EXPECT_EQ(decoded.value()[2].entryTime, 300);
}

}  // namespace
}  // namespace ddd
