// The container split, the EF decoders and the walk through the activity area on hand-laid
// bytes: the corners a generated card never holds.
#include <gtest/gtest.h>

#include <vector>

#include "core/card_file.h"

namespace ddd {
namespace {

using ByteVector = std::vector<std::uint8_t>;

ByteVector records(std::initializer_list<std::tuple<std::uint16_t, std::uint8_t, ByteVector>> list) {
    ByteVector out;
    for (const auto& [fid, appendix, value] : list) {
        out.insert(out.end(), {static_cast<std::uint8_t>(fid >> 8), static_cast<std::uint8_t>(fid), appendix,
                               static_cast<std::uint8_t>(value.size() >> 8), static_cast<std::uint8_t>(value.size())});
        out.insert(out.end(), value.begin(), value.end());
    }
    return out;
}

template <typename T>
std::string errorOf(const Decoded<T>& decoded) {
    return decoded.ok() ? std::string("(decoded)") : decoded.error().message;
}

TEST(Container, ErrorsWithOffsets) {
    ByteVector twoSpare = records({{0xC100, 0, ByteVector(10, 0xAB)}});
    twoSpare.insert(twoSpare.end(), {0x05, 0x01});
    ByteVector valueShort{0x05, 0x20, 0x00, 0x00, 0x8F};
    valueShort.resize(5 + 100);
    ByteVector secondBad = records({{0x0002, 0, ByteVector(25, 0)}});
    secondBad.insert(secondBad.end(), {0x05, 0x01, 0x07, 0x00, 0x00});
    const std::string header = "truncated TLV header (need 5 bytes: FID, appendix, length)";
    const std::tuple<ByteVector, std::uint64_t, std::string> cases[] = {
        {{}, 0, "empty file"},
        {{0x05, 0x01, 0x00}, 0, header},
        {twoSpare, 15, header},
        {{0x05, 0x01, 0x04, 0x00, 0x0A}, 2, "invalid appendix byte 0x04 for FID 0x0501 (not a card download?)"},
        {secondBad, 32, "invalid appendix byte 0x07 for FID 0x0501 (not a card download?)"},
        {{0x05, 0x20, 0x00, 0xFF, 0xFF}, 3, "length 'FFFF' is reserved (DDP_044)"},
        {valueShort, 5, "TLV value truncated: FID 0x0520 declares 143 bytes"},
        {records({{0xC100, 0, ByteVector(194, 0)}, {0xC108, 0, ByteVector(194, 0)}}), 0,
         "no tachograph application data in container"},
    };
    for (const auto& [bytes, offset, message] : cases) {
        auto file = decodeCardFile(bytes);
        ASSERT_FALSE(file.ok()) << message;
        EXPECT_EQ(file.error().offset, offset) << message;
        EXPECT_EQ(file.error().message, message);
    }
}

TEST(Container, EachApplicationKeepsWhatDecodesAndNamesTheRest) {
    auto gen2Only = decodeCardFile(records({{0x0504, 0, ByteVector(3, 0)}, {0x0520, 2, ByteVector(142, 0x20)}, {0x0522, 2, {}}}));
    ASSERT_TRUE(gen2Only.ok());
    EXPECT_FALSE(gen2Only.value().gen1) << "an appendix-0 activity EF alone builds no first-generation part";
    ASSERT_TRUE(gen2Only.value().gen2);
    EXPECT_EQ(gen2Only.value().gen2->issues,
              (std::vector<std::string>{"Identification: EF Identification: expected 143 bytes for a driver card, got 142 (offset 0)",
                                        "Specific_Conditions: EF Specific_Conditions: size 0 does not fit 2 + N*5 (offset 0)"}));

    auto gen1 = decodeCardFile(records(
        {{0x0522, 0, {}}, {0x0501, 0, ByteVector(17, 0)}, {0x0504, 0, ByteVector(16, 0)}, {0x0504, 0, ByteVector(15, 0)}}));
    ASSERT_TRUE(gen1.ok());
    const auto& part = *gen1.value().gen1;
    EXPECT_TRUE(part.specificConditions && part.specificConditions->empty());
    EXPECT_TRUE(part.applicationIdentification->isGen2Layout) << "the size decides the layout";
    EXPECT_TRUE(part.driverActivity) << "only the first activity record is decoded";
    EXPECT_TRUE(part.issues.empty());
    EXPECT_FALSE(gen1.value().hasGen2Records);

    auto broken = decodeCardFile(records({{0x0520, 0, ByteVector(143, 0x20)}, {0x0504, 0, ByteVector(15, 0)}}));
    ASSERT_TRUE(broken.ok());
    EXPECT_TRUE(broken.value().gen1->activityDecodeFailed);
    EXPECT_EQ(broken.value().gen1->issues,
              std::vector<std::string>{"Driver_Activity_Data: EF Driver_Activity_Data: too small (15 bytes) (offset 0)"});
}

ByteVector vehicleSlot(std::uint32_t firstUse, std::uint32_t lastUse, std::uint8_t odometer, std::size_t size) {
    ByteVector slot(size, 0);
    for (int i = 0; i < 4; ++i) {
        slot[6 + i] = static_cast<std::uint8_t>(firstUse >> (24 - 8 * i));
        slot[10 + i] = static_cast<std::uint8_t>(lastUse >> (24 - 8 * i));
    }
    slot[2] = odometer;
    return slot;
}

ByteVector vehiclesEf(std::uint8_t newest, std::vector<ByteVector> slots) {
    ByteVector ef{0x00, newest};
    for (const auto& slot : slots) ef.insert(ef.end(), slot.begin(), slot.end());
    return ef;
}

TEST(CardEfs, SizesAndPointersThatDoNotFit) {
    std::vector<ByteVector> five;
    for (std::uint8_t i = 0; i < 5; ++i) five.push_back(vehicleSlot(1000 + i, 2000 + i, i, 31));
    ByteVector places(1 + 10 * 112, 0);
    places[0] = 112;
    ByteVector activityPointerAtEnd(4 + 100, 0);
    activityPointerAtEnd[3] = 100;
    const std::pair<std::string, std::string> cases[] = {
        {errorOf(decodeIdentification(ByteVector(142))), "EF Identification: expected 143 bytes for a driver card, got 142"},
        {errorOf(decodeIdentification(ByteVector(144))), "EF Identification: expected 143 bytes for a driver card, got 144"},
        {errorOf(decodeApplicationIdentification(ByteVector(11))),
         "EF Application_Identification: expected 10 (Gen1) or 17 (Gen2) bytes for a driver card, got 11"},
        {errorOf(decodeControlActivity(ByteVector(45))), "EF Control_Activity_Data: expected 46 bytes, got 45"},
        {errorOf(decodeCurrentUsage(ByteVector())), "EF Current_Usage: expected 19 bytes, got 0"},
        {errorOf(decodeCardDownload(ByteVector(5))), "EF Card_Download: expected 4 bytes, got 5"},
        {errorOf(decodeDrivingLicence(ByteVector(52))), "EF Driving_Licence_Info: expected 53 bytes, got 52"},
        {errorOf(decodeVehiclesUsed(ByteVector(3), false)), "EF Vehicles_Used: size 3 does not fit 2 + N*31"},
        {errorOf(decodeVehiclesUsed(vehiclesEf(5, five), false)), "EF Vehicles_Used: newest pointer 5 out of range (N=5)"},
        {errorOf(decodePlaces(ByteVector(12), false)), "EF Places: size 12 does not fit 1 + N*10"},
        {errorOf(decodePlaces(ByteVector(24), true)), "EF Places: size 24 does not fit 2 + N*21"},
        {errorOf(decodePlaces(places, false)), "EF Places: newest pointer 112 out of range (N=112)"},
        {errorOf(decodeEventsFaults(ByteVector(6 * 24 * 12 + 24), 6)),
         "events/faults EF: size 1752 does not fit 6 groups of 24-byte records"},
        {errorOf(decodeEventsFaults(ByteVector(), 2)), "events/faults EF: size 0 does not fit 2 groups of 24-byte records"},
        {errorOf(decodeEventsFaults(ByteVector(48), 0)), "event/fault parse: zero groups"},
        {errorOf(decodeSpecificConditions(ByteVector(), true)), "EF Specific_Conditions: size 0 does not fit 2 + N*5"},
        {errorOf(decodeSpecificConditions(ByteVector{0, 1, 0, 0, 0, 1, 1}, true)), "EF Specific_Conditions: newest pointer out of range"},
        {errorOf(decodeDriverActivity(ByteVector(15))), "EF Driver_Activity_Data: too small (15 bytes)"},
        {errorOf(decodeDriverActivity(activityPointerAtEnd)), "EF Driver_Activity_Data: pointer outside cyclic area"},
        {errorOf(decodeEventsFaults(ByteVector(6 * 24 * 12), 6)), "(decoded)"},
        {errorOf(decodeSpecificConditions(ByteVector(), false)), "(decoded)"},
    };
    for (const auto& [actual, expected] : cases) EXPECT_EQ(actual, expected);

    auto decoded = decodeVehiclesUsed(vehiclesEf(1, five), false);
    ASSERT_TRUE(decoded.ok());
    std::vector<std::uint32_t> order;
    for (const auto& v : decoded.value().chronological) order.push_back(v.odometerBegin);
    EXPECT_EQ(order, (std::vector<std::uint32_t>{2, 3, 4, 0, 1})) << "oldest after the newest pointer";
    EXPECT_EQ(decodeVehiclesUsed(ByteVector{0x00, 0x07}, true).value().newestPointer, 7) << "no records: pointer unchecked";
}

TEST(CardEfs, FieldRules) {
    for (const auto& [language, expected] : {std::pair{"de", "de"}, {" e", "e"}, {"\0\0", ""}}) {
        ByteVector identification(143, 0);
        std::copy(language, language + 2, identification.begin() + 141);
        EXPECT_EQ(decodeIdentification(identification).value().preferredLanguage, expected);
        EXPECT_FALSE(decodeIdentification(identification).value().birthDate.present);
    }
    EXPECT_EQ(decodeControlActivity(ByteVector(46, 0)).value().controlTime, 0) << "all zero: no control";

    auto app = decodeApplicationIdentification(ByteVector{0x01, 0x01, 0x00, 12, 24, 0x35, 0xD0, 0x00, 84, 112}).value();
    EXPECT_EQ(std::tuple(app.isGen2Layout, app.activityStructureLength, app.vehicleRecords, app.placeRecords),
              std::tuple(false, 0x35D0, 84, 112));

    // A slot never used or used without a first use is dropped, one with only a last use kept;
    // the VIN keeps printable bytes only.
    ByteVector withVin = vehicleSlot(0, 500, 0, 48);
    const std::string vin = "WDB 963403!~\x01\x7F\x85" "A\xA0";
    std::copy(vin.begin(), vin.end(), withVin.begin() + 31);
    auto vehicles = decodeVehiclesUsed(vehiclesEf(2, {vehicleSlot(0xFFFFFFFF, 0, 0, 48), withVin, vehicleSlot(0, 0, 0, 48)}), true);
    ASSERT_EQ(vehicles.value().chronological.size(), 1u);
    EXPECT_EQ(vehicles.value().chronological[0].lastUse, 500);
    EXPECT_EQ(vehicles.value().chronological[0].vin, "WDB963403!~A\xA0");

    ByteVector events(48, 0);
    events[0] = 0x05, events[5 + 3] = 1, events[24] = 0x06;  // an event with an end time only, one with no time
    auto decodedEvents = decodeEventsFaults(events, 2).value();
    ASSERT_EQ(decodedEvents.size(), 1u);
    EXPECT_EQ(std::pair(decodedEvents[0].type, decodedEvents[0].end), std::pair(std::uint8_t{0x05}, std::int64_t{1}));

    auto conditions = decodeSpecificConditions(ByteVector{0, 0, 1, 0x2C, 1, 0, 0, 0, 100, 2, 0, 0, 0, 0, 9, 0, 0, 0, 100, 3}, false).value();
    ASSERT_EQ(conditions.size(), 3u) << "an all-zero record is none";
    EXPECT_EQ(std::tuple(conditions[0].conditionType, conditions[1].conditionType, conditions[2].entryTime),
              std::tuple(2, 3, 300)) << "stable time order";
}

using Words = std::vector<std::uint16_t>;
constexpr std::uint32_t kDay = 86400 * 19700;  // a UTC midnight in 2023

std::uint16_t word(std::uint32_t minute, std::uint32_t activity = 0, std::uint16_t flags = 0) {
    return static_cast<std::uint16_t>(flags | (activity << 11) | minute);
}
std::uint16_t lengthFor(std::size_t words) { return static_cast<std::uint16_t>(12 + 2 * words); }

// Lays day records into a cyclic area by hand, so the walk's corner cases can be set up exactly.
class ActivityEf {
public:
    explicit ActivityEf(std::size_t areaSize) : area_(areaSize, 0) {}

    // Writes a record at pos; returns the position after it.
    std::size_t put(std::size_t pos, std::uint16_t previous, std::uint16_t length, std::uint32_t date, const Words& words) {
        auto u16 = [&](std::size_t off, std::uint16_t v) {
            area_[(pos + off) % area_.size()] = static_cast<std::uint8_t>(v >> 8);
            area_[(pos + off + 1) % area_.size()] = static_cast<std::uint8_t>(v);
        };
        const std::uint16_t header[] = {previous, length, static_cast<std::uint16_t>(date >> 16), static_cast<std::uint16_t>(date), 1, 123};
        for (std::size_t i = 0; i < 6; ++i) u16(2 * i, header[i]);
        for (std::size_t i = 0; i < words.size(); ++i) u16(12 + 2 * i, words[i]);
        return (pos + length) % area_.size();
    }
    ByteVector bytes(std::size_t oldest, std::size_t newest) const {
        ByteVector ef{static_cast<std::uint8_t>(oldest >> 8), static_cast<std::uint8_t>(oldest),
                      static_cast<std::uint8_t>(newest >> 8), static_cast<std::uint8_t>(newest)};
        ef.insert(ef.end(), area_.begin(), area_.end());
        return ef;
    }

private:
    ByteVector area_;
};

ByteVector single(std::uint16_t length, std::uint32_t date, const Words& words, std::uint16_t previous = 0) {
    ActivityEf ef(3000);
    ef.put(0, previous, length, date, words);
    return ef.bytes(0, 0);
}

// Three linked records whose third names a previous length of `thirdPrevious`.
ByteVector chain(std::uint16_t secondLength, std::uint16_t thirdPrevious) {
    const Words words{word(0), word(480, 3)};
    ActivityEf ef(200);
    const std::size_t p = ef.put(0, 0, lengthFor(2), kDay, words);
    const std::size_t q = ef.put(p, lengthFor(2), secondLength, kDay + 86400, words);
    ef.put(q, thirdPrevious, lengthFor(2), kDay + 2 * 86400, words);
    return ef.bytes(0, q);
}

// A newest pointer the chain never meets: the walk ends once it has consumed more than the area.
// The third record wraps onto the first one's header, whose previous length it zeroes.
ByteVector lap() {
    ActivityEf ef(48);
    const std::size_t second = ef.put(0, 0, 16, kDay, {word(0), word(480, 3)});
    const std::size_t third = ef.put(second, 16, 18, kDay + 86400, {word(0), word(60), word(120)});
    ef.put(third, 18, 16, kDay + 2 * 86400, {word(0), 0x0000});
    return ef.bytes(0, 7);
}

TEST(DriverActivity, RecordsKeptSkippedAndWhereTheWalkStops) {
    Words fullDay;
    for (std::uint32_t m = 0; m < 1440; ++m) fullDay.push_back(word(m, m % 4));
    Words tooLong = fullDay;
    tooLong.push_back(word(1439));
    struct Case { const char* name; ByteVector ef; std::size_t days; std::uint32_t skipped, malformed, unordered; };
    const Case cases[] = {
        {"empty area", ByteVector(16), 0, 0, 0, 0},
        {"one word at midnight", single(lengthFor(1), kDay, {word(0, 3)}), 1, 0, 0, 0},
        {"1440 words", single(lengthFor(1440), kDay, fullDay), 1, 0, 0, 0},
        {"length 2894", single(lengthFor(1441), kDay, tooLong), 0, 1, 0, 0},
        {"no change words", single(12, kDay, {}), 0, 1, 0, 0},
        {"no word at minute 0", single(lengthFor(2), kDay, {word(5), word(60)}), 0, 1, 0, 0},
        {"minute 1440", single(lengthFor(2), kDay, {word(0), word(1440)}), 0, 1, 0, 0},
        {"date off midnight", single(lengthFor(1), kDay + 1, {word(0)}), 0, 1, 0, 0},
        {"repeated minute kept, counted", single(lengthFor(3), kDay, {word(0), word(300), word(300)}), 1, 0, 0, 1},
        {"backwards minute kept, counted", single(lengthFor(3), kDay, {word(0), word(600), word(300)}), 1, 0, 0, 1},
        {"first record too short", single(8, kDay, {}), 0, 0, 1, 0},
        {"first record with a previous length", single(14, kDay, {word(0)}, 14), 0, 0, 1, 0},
        {"wrong previous length: days before the break kept", chain(lengthFor(2), lengthFor(2) + 2), 2, 0, 1, 0},
        {"odd length", chain(17, 17), 1, 0, 1, 0},
        {"pointer never met", lap(), 3, 0, 1, 1},
    };
    for (const Case& c : cases) {
        auto decoded = decodeDriverActivity(c.ef);
        ASSERT_TRUE(decoded.ok()) << c.name;
        const DriverActivity& a = decoded.value();
        EXPECT_EQ(std::tuple(a.days.size(), a.skippedRecords, a.malformedStops, a.unorderedDays),
                  std::tuple(c.days, c.skipped, c.malformed, c.unordered)) << c.name;
        EXPECT_EQ(a.historyFromStart, c.malformed == 0 && c.days + c.skipped > 0) << c.name;
    }
    EXPECT_EQ(decodeDriverActivity(cases[2].ef).value().days[0].changes, fullDay);
}

}  // namespace
}  // namespace ddd
