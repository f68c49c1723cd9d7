#include <gtest/gtest.h>

#include <vector>

#include "core/code_names.h"
#include "core/primitives.h"

namespace ddd {
namespace {

std::int64_t utc(int y, unsigned m, unsigned d, int hh = 0, int mm = 0, int ss = 0) {
    return daysFromCivil(y, m, d) * 86400 + hh * 3600 + mm * 60 + ss;
}

TEST(Bcd, ValidityAndValue) {
    struct Case { const char* name; std::vector<std::uint8_t> bytes; std::optional<std::uint64_t> expected; };
    const Case cases[] = {
        {"empty string is zero", {}, 0},
        {"two digits per byte", {0x20, 0x24}, 2024},
        {"largest valid byte", {0x99}, 99},
        {"low nibble above nine", {0x9A}, std::nullopt},
        {"high nibble above nine", {0xA0}, std::nullopt},
        {"one bad byte spoils all", {0x12, 0x3F}, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(bcdValue(c.bytes), c.expected) << c.name;
}

TEST(BcdDate, PresenceAndPlausibility) {
    struct Case { const char* name; std::vector<std::uint8_t> bytes; BcdDate expected; };
    const Case cases[] = {
        {"all zero is the empty date", {0, 0, 0, 0}, {0, 0, 0, false, true}},
        {"only ranges are checked", {0x20, 0x24, 0x02, 0x30}, {2024, 2, 30, true, true}},
        {"month 13 is implausible", {0x19, 0x80, 0x13, 0x01}, {1980, 13, 1, true, false}},
        {"day 0 is implausible", {0x19, 0x80, 0x01, 0x00}, {1980, 1, 0, true, false}},
        {"invalid BCD", {0x19, 0x8A, 0x01, 0x01}, {0, 0, 0, true, false}},
        {"short read", {0x19, 0x80, 0x01}, {0, 0, 0, false, true}},
    };
    for (const auto& c : cases) {
        ByteReader r(c.bytes);
        EXPECT_EQ(readBcdDate(r), c.expected) << c.name;
        EXPECT_EQ(r.failed(), c.bytes.size() < 4) << c.name;
    }
}

std::vector<std::uint8_t> nameField(std::uint8_t codePage, std::vector<std::uint8_t> text) {
    std::vector<std::uint8_t> field{codePage};
    text.resize(35, 0x20);
    field.insert(field.end(), text.begin(), text.end());
    return field;
}

TEST(CodePagedText, DecodesToUtf8) {
    struct Case { const char* name; std::uint8_t codePage; std::vector<std::uint8_t> text; std::string expected; };
    const Case cases[] = {
        {"all blanks", 1, std::vector<std::uint8_t>(35, 0x20), ""},
        {"all zeros", 1, std::vector<std::uint8_t>(35, 0x00), ""},
        {"leading blanks and trailing zeros", 1, {0x20, 0x20, 'M', 'a', 'y', 'e', 'r', 0, 0}, "Mayer"},
        {"inner blanks kept", 1, {'v', 'a', 'n', ' ', 'D', 'a', 'm'}, "van Dam"},
        {"Latin-1 umlaut", 1, {'M', 0xFC, 'l', 'l', 'e', 'r'}, "Müller"},
        {"Latin-2 A ogonek", 2, {0xA1}, "\xC4\x84"},
        {"Latin-1 inverted exclamation", 1, {0xA1}, "\xC2\xA1"},
        {"C1 control", 1, {'a', 0x85, 'b'}, "a\xEF\xBF\xBD" "b"},
        {"control below space", 1, {'a', 0x01, 'b'}, "a\xEF\xBF\xBD" "b"},
        {"delete", 1, {'a', 0x7F}, "a\xEF\xBF\xBD"},
        {"no such ISO part 12 is Latin-1", 12, {0xE9}, "\xC3\xA9"},
        {"code page 0 is Latin-1", 0, {0xE9}, "\xC3\xA9"},
        {"code page 255 marks a field never written", 255, {'M', 0xFC, 'l', 'l', 'e', 'r'}, ""},
        {"0xFF, 0x00 and blanks as filler", 1, {0xFF, 0x00, 0x20, 0xFF}, ""},
        {"0xFF as a letter", 1, {'H', 0xFF}, "H\xC3\xBF"},
        {"Latin-3 unassigned byte", 3, {0xA5}, "\xEF\xBF\xBD"},
        {"Cyrillic", 5, {0xB8, 0xD2, 0xD0, 0xDD}, "Иван"},
        {"Greek", 7, {0xC1, 0xE8, 0xDE, 0xED, 0xE1}, "Αθήνα"},
        {"Turkish", 9, {0xDD, 0xFE, 0xF0, 0xFD}, "İşğı"},
        {"Baltic", 13, {0xD0}, "Š"},
        {"Latin-9 euro sign", 15, {0xA4}, "€"},
        {"Romanian", 16, {0xAA}, "Ș"},
        {"KOI8-R", 80, {0xE9, 0xD7, 0xC1, 0xCE}, "Иван"},
        {"KOI8-U", 85, {0xB4}, "Є"},
        {"Thai", 11, {0xA1}, "ก"},
        {"Thai unassigned", 11, {0xDB}, "\xEF\xBF\xBD"},
    };
    for (const auto& c : cases) {
        auto field = nameField(c.codePage, c.text);
        ByteReader r(field);
        CodePagedText name = readName(r);
        EXPECT_FALSE(r.failed()) << c.name;
        EXPECT_EQ(name.codePage, c.codePage) << c.name;
        EXPECT_EQ(name.text, c.expected) << c.name;
    }
}

TEST(CodePagedText, ShortReads) {
    std::vector<std::uint8_t> none;
    ByteReader empty(none);
    EXPECT_EQ(readName(empty), (CodePagedText{0, ""}));
    EXPECT_TRUE(empty.failed());

    std::vector<std::uint8_t> partial{2, 'A', 'B'};
    ByteReader r(partial);
    EXPECT_EQ(readName(r), (CodePagedText{2, ""}));
    EXPECT_TRUE(r.failed());
    EXPECT_EQ(r.u8(), 0) << "a failed reader yields zero";
}

TEST(Registration, NationAndNumber) {
    std::vector<std::uint8_t> field{13, 1, 'B', '-', 'X', ' ', '1', '2', '3', ' ', ' ', ' ', ' ', ' ', ' '};
    ByteReader r(field);
    EXPECT_EQ(readRegistration(r), (Registration{13, "B-X 123"}));
    EXPECT_EQ(r.position(), 15u);
}

TEST(CardNumber, Text) {
    struct Case { const char* name; std::string raw; std::string expected; };
    const Case cases[] = {
        {"full number", "DF000012345670 0", "DF000012345670 0"},
        {"trailing blanks dropped", "DF12345   ", "DF12345"},
        {"leading blanks kept", "  12", "  12"},
        {"all blank", "", ""},
        {"control byte replaced", std::string("A\x01" "B", 3), "A\xEF\xBF\xBD" "B"},
    };
    for (const auto& c : cases) {
        CardNumber number{};
        std::copy(c.raw.begin(), c.raw.end(), number.begin());
        EXPECT_EQ(cardNumberText(number), c.expected) << c.name;
    }
}

TEST(Names, NationsAndActivities) {
    EXPECT_EQ(nationName(0), "–");
    EXPECT_EQ(nationName(13), "Deutschland (D)");
    EXPECT_EQ(nationName(54), "Tadschikistan (TJ)");
    EXPECT_EQ(nationName(55), "Land 55");
    EXPECT_EQ(nationName(60), "Land 60");
    EXPECT_EQ(nationName(253), "Europäische Gemeinschaft (EC)");
    EXPECT_EQ(nationName(255), "Rest der Welt (WLD)");
    EXPECT_EQ(activityName(3), "Lenken");
    EXPECT_EQ(activityName(5), "Fähre/Zug");
    EXPECT_EQ(activityName(7), "Typ 7");
    // Coded values at the edges of their tables; a control is a set of flags.
    EXPECT_EQ(eventFaultTypeName(0x1C), "Widerspruch zwischen Bewegungsdaten und gespeicherten Fahrertätigkeiten");
    EXPECT_EQ(eventFaultTypeName(0x1D), "Reserviert");
    EXPECT_EQ(eventFaultTypeName(0x80), "Herstellerspezifisch");
    EXPECT_EQ(controlTypeName(144), "Karten-Download, Anzeige");
    EXPECT_EQ(controlTypeName(0x07), "Keine Angabe");
    EXPECT_EQ(specificConditionName(4), "Fähre/Zug – Ende");
    EXPECT_EQ(placeEntryTypeName(1), "Ende");
    EXPECT_EQ(placeEntryTypeName(6), "Reserviert");
}

TEST(CivilTime, GermanLegalTime) {
    struct Case { const char* name; std::int64_t utc; const char* expected; };
    const Case cases[] = {
        {"winter", utc(2024, 1, 15, 12, 0), "15.01.2024 13:00"},
        {"before spring change", utc(2024, 3, 31, 0, 59, 59), "31.03.2024 01:59"},
        {"at spring change", utc(2024, 3, 31, 1, 0, 0), "31.03.2024 03:00"},
        {"before autumn change", utc(2024, 10, 27, 0, 59, 59), "27.10.2024 02:59"},
        {"at autumn change", utc(2024, 10, 27, 1, 0, 0), "27.10.2024 02:00"},
        {"summer crosses midnight", utc(2024, 7, 1, 22, 30), "02.07.2024 00:30"},
        {"new year in winter", utc(2023, 12, 31, 23, 0), "01.01.2024 00:00"},
        {"leap day", utc(2024, 2, 29, 10, 0), "29.02.2024 11:00"},
        {"change in 2021", utc(2021, 3, 28, 1, 0), "28.03.2021 03:00"},
        {"epoch", 0, "01.01.1970 01:00"},
        {"before the epoch", -7200, "31.12.1969 23:00"},
        {"end of TimeReal", 0xFFFFFFFFll, "07.02.2106 07:28"},
    };
    for (const auto& c : cases) EXPECT_EQ(formatDateTime(c.utc), c.expected) << c.name;
}

TEST(CivilTime, CalendarRoundTripsOverFourCenturies) {
    for (std::int64_t day = -146097; day <= 146097; day += 13) {
        std::int32_t y;
        std::uint32_t m, d;
        civilFromDays(day, y, m, d);
        ASSERT_EQ(daysFromCivil(y, m, d), day);
    }
}

TEST(Formats, TextShapes) {
    const std::int64_t t = utc(2024, 3, 5, 6, 45);
    EXPECT_EQ(formatDate(t), "05.03.2024");
    EXPECT_EQ(formatTime(t), "07:45");
    EXPECT_EQ(formatDateDotTime(t), "05.03.2024 \xC2\xB7 07:45");
    EXPECT_EQ(formatDurationSeconds(-60), "00:00");
    EXPECT_EQ(formatDurationSeconds(359999), "99:59");
    EXPECT_EQ(formatDurationSeconds(360000), "100:00");
    EXPECT_EQ(formatDurationSeconds(9 * 3600 + 30 * 60 + 59), "09:30");
    EXPECT_EQ(formatDurationMinutes(570), "09:30");
    EXPECT_EQ(formatDurationMinutes(-1), "00:00");
    EXPECT_EQ(formatMonthKey(2024, 3), "2024/03");
    // A card expiring on 22.09.2017 stores 23:59:59 UTC of that day: German time is already the 23rd.
    const std::int64_t expiry = utc(2017, 9, 22, 23, 59) + 59;
    EXPECT_EQ(formatUtcDate(expiry), "22.09.2017");
    EXPECT_EQ(formatUtcDate(utc(1969, 12, 31, 12, 0)), "31.12.1969");
    EXPECT_EQ(formatIsoLocal(utc(2023, 4, 28, 11, 14) + 28), "2023-04-28T13:14:28+02:00");
    EXPECT_EQ(formatIsoLocal(utc(2024, 1, 1, 0, 0) - 1), "2024-01-01T00:59:59+01:00");
}

TEST(ByteReader, BigEndianAndStickyFailure) {
    std::vector<std::uint8_t> data{0x12, 0x34, 0x56, 0x80, 0x00, 0x01, 0xAB};
    ByteReader r(data);
    EXPECT_EQ(r.u16(), 0x1234);
    EXPECT_EQ(r.u8(), 0x56);
    EXPECT_EQ(r.s24(), -8388607);
    EXPECT_EQ(r.u16(), 0) << "one byte left";
    EXPECT_TRUE(r.failed());
    EXPECT_EQ(r.position(), 6u) << "a failed read does not move";
    EXPECT_EQ(r.u8(), 0) << "failure is sticky";
    EXPECT_TRUE(r.bytes(1).empty());
}

}  // namespace
}  // namespace ddd
