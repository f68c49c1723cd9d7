#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "core/code_names.h"
#include "core/html_escape.h"
#include "core/primitives.h"

namespace ddd {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::int64_t utc(int y, unsigned m, unsigned d, int hh = 0, int mm = 0, int ss = 0) {
    return daysFromCivil(y, m, d) * 86400 + hh * 3600 + mm * 60 + ss;
}

TEST(Bcd, ValuesAndDates) {
    const std::pair<Bytes, std::optional<std::uint64_t>> values[] = {
        {{}, 0}, {{0x20, 0x24}, 2024}, {{0x99}, 99}, {{0x9A}, std::nullopt}, {{0xA0}, std::nullopt}, {{0x12, 0x3F}, std::nullopt}};
    for (const auto& [bytes, expected] : values) EXPECT_EQ(bcdValue(bytes), expected) << bytes.size();

    // Only ranges are checked: 30 February is plausible, month 13 and day 0 are not.
    const std::pair<Bytes, BcdDate> dates[] = {
        {{0, 0, 0, 0}, {0, 0, 0, false, true}},          {{0x20, 0x24, 0x02, 0x30}, {2024, 2, 30, true, true}},
        {{0x19, 0x80, 0x13, 0x01}, {1980, 13, 1, true, false}}, {{0x19, 0x80, 0x01, 0x00}, {1980, 1, 0, true, false}},
        {{0x19, 0x80, 0x12, 0x31}, {1980, 12, 31, true, true}}, {{0x19, 0x8A, 0x01, 0x01}, {0, 0, 0, true, false}},
        {{0x19, 0x80, 0x01}, {0, 0, 0, false, true}},           {{0x20, 0x24, 0x01, 0x01}, {2024, 1, 1, true, true}},
        {{0x20, 0x00, 0x00, 0x00}, {2000, 0, 0, true, false}},
    };
    for (const auto& [bytes, expected] : dates) {
        ByteReader r(bytes);
        EXPECT_EQ(readBcdDate(r), expected) << expected.year << "-" << expected.month << "-" << expected.day;
        EXPECT_EQ(r.failed(), bytes.size() < 4);
    }
}

TEST(CodePagedText, DecodesToUtf8) {
    struct Case { std::uint8_t codePage; Bytes text; std::string expected; };
    const Case cases[] = {
        {1, Bytes(35, 0x20), ""}, {1, Bytes(35, 0x00), ""}, {1, {0x20, 0x20, 'M', 'a', 'y', 'e', 'r', 0, 0}, "Mayer"},
        {1, {'v', 'a', 'n', ' ', 'D', 'a', 'm'}, "van Dam"}, {1, {'M', 0xFC, 'l', 'l', 'e', 'r'}, "Müller"},
        {2, {0xA1}, "\xC4\x84"}, {1, {0xA1}, "\xC2\xA1"}, {1, {'a', 0x85, 'b'}, "a\xEF\xBF\xBD" "b"},
        {1, {'a', 0x01, 'b'}, "a\xEF\xBF\xBD" "b"}, {1, {'a', 0x7F}, "a\xEF\xBF\xBD"}, {12, {0xE9}, "\xC3\xA9"}, {0, {0xE9}, "\xC3\xA9"},
        // Code page 255 marks a field never written; 0xFF, 0x00 and blanks are filler, 0xFF after a letter is ÿ.
        {255, {'M', 0xFC, 'l', 'l', 'e', 'r'}, ""}, {1, {0xFF, 0x00, 0x20, 0xFF}, ""}, {1, {'H', 0xFF}, "H\xC3\xBF"},
        {3, {0xA5}, "\xEF\xBF\xBD"}, {5, {0xB8, 0xD2, 0xD0, 0xDD}, "Иван"}, {7, {0xC1, 0xE8, 0xDE, 0xED, 0xE1}, "Αθήνα"},
        {9, {0xDD, 0xFE, 0xF0, 0xFD}, "İşğı"}, {13, {0xD0}, "Š"}, {15, {0xA4}, "€"}, {16, {0xAA}, "Ș"},
        {80, {0xE9, 0xD7, 0xC1, 0xCE}, "Иван"}, {85, {0xB4}, "Є"}, {11, {0xA1}, "ก"}, {11, {0xDB}, "\xEF\xBF\xBD"},
    };
    for (const auto& c : cases) {
        Bytes field(36, 0x20);
        field[0] = c.codePage;
        std::copy(c.text.begin(), c.text.end(), field.begin() + 1);
        ByteReader r(field);
        EXPECT_EQ(readName(r), (CodePagedText{c.codePage, c.expected})) << c.expected;
        EXPECT_FALSE(r.failed());
    }
}

TEST(Texts, CardNumbersNamesAndEscapes) {
    const std::pair<std::string, std::string> numbers[] = {{"DF000012345670 0", "DF000012345670 0"}, {"DF12345   ", "DF12345"},
                                                           {"  12", "  12"}, {"", ""}, {std::string("A\x01" "B", 3), "A\xEF\xBF\xBD" "B"}};
    for (const auto& [raw, expected] : numbers) {
        CardNumber number{};
        std::copy(raw.begin(), raw.end(), number.begin());
        EXPECT_EQ(cardNumberText(number), expected);
    }

    const std::pair<std::string, std::string> names[] = {
        {nationName(0), "–"}, {nationName(54), "Tadschikistan (TJ)"}, {nationName(55), "Land 55"},
        {nationName(255), "Rest der Welt (WLD)"}, {activityName(7), "Typ 7"},
        {eventFaultTypeName(0x1C), "Widerspruch zwischen Bewegungsdaten und gespeicherten Fahrertätigkeiten"},
        {eventFaultTypeName(0x1D), "Reserviert"}, {eventFaultTypeName(0x7F), "Reserviert"}, {eventFaultTypeName(0x80), "Herstellerspezifisch"},
        {controlTypeName(144), "Karten-Download, Anzeige"}, {controlTypeName(0x07), "Keine Angabe"}, {placeEntryTypeName(6), "Reserviert"},
    };
    for (const auto& [actual, expected] : names) EXPECT_EQ(actual, expected);

    const std::pair<std::string, std::string> escaped[] = {
        {"a\"b&c<d>e", "a&quot;b&amp;c&lt;d&gt;e"}, {"O'Neil", "O'Neil"}, {"</style>", "&lt;/style&gt;"},
        {"Gr\xC3\xBC\xC3\x9F", "Gr\xC3\xBC\xC3\x9F"}, {"Gr\xC3\xBC\xC3", "Gr\xC3\xBC\xEF\xBF\xBD"}, {"\xFF x", "\xEF\xBF\xBD x"},
        {"Caf\xE9", "Caf\xEF\xBF\xBD"}, {"\xE2\x82" "A", "\xEF\xBF\xBD\xEF\xBF\xBD" "A"}, {"\xF0\x9F\x9A\x9A", "\xF0\x9F\x9A\x9A"},
        {"\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"}, {"", ""},
    };
    for (const auto& [input, expected] : escaped) EXPECT_EQ(escapeHtml(input), expected) << input;
}

TEST(CivilTime, GermanLegalTimeAndTextShapes) {
    const std::pair<std::int64_t, const char*> cases[] = {
        {utc(2024, 1, 15, 12, 0), "15.01.2024 13:00"},  {utc(2024, 3, 31, 0, 59, 59), "31.03.2024 01:59"},
        {utc(2024, 3, 31, 1, 0, 0), "31.03.2024 03:00"}, {utc(2024, 10, 27, 0, 59, 59), "27.10.2024 02:59"},
        {utc(2024, 10, 27, 1, 0, 0), "27.10.2024 02:00"}, {utc(2024, 7, 1, 22, 30), "02.07.2024 00:30"},
        {utc(2023, 12, 31, 23, 0), "01.01.2024 00:00"}, {utc(2024, 2, 29, 10, 0), "29.02.2024 11:00"},
        {utc(2021, 3, 28, 1, 0), "28.03.2021 03:00"},   {0, "01.01.1970 01:00"}, {-7200, "31.12.1969 23:00"},
        {0xFFFFFFFFll, "07.02.2106 07:28"},
    };
    for (const auto& [instant, expected] : cases) EXPECT_EQ(formatDateTime(instant), expected) << instant;

    const std::int64_t t = utc(2024, 3, 5, 6, 45);
    // A card expiring on 22.09.2017 stores 23:59:59 UTC of that day: German time is already the 23rd.
    const std::pair<std::string, std::string> texts[] = {
        {formatDate(t), "05.03.2024"}, {formatTime(t), "07:45"}, {formatDateDotTime(t), "05.03.2024 \xC2\xB7 07:45"},
        {formatDurationSeconds(-60), "00:00"}, {formatDurationSeconds(359999), "99:59"}, {formatDurationSeconds(360000), "100:00"},
        {formatDurationSeconds(9 * 3600 + 30 * 60 + 59), "09:30"}, {formatDurationMinutes(570), "09:30"},
        {formatDurationMinutes(-1), "00:00"}, {formatMonthKey(2024, 3), "2024/03"},
        {formatUtcDate(utc(2017, 9, 22, 23, 59) + 59), "22.09.2017"}, {formatUtcDate(utc(1969, 12, 31, 12, 0)), "31.12.1969"},
        {formatIsoLocal(utc(2023, 4, 28, 11, 14) + 28), "2023-04-28T13:14:28+02:00"},
        {formatIsoLocal(utc(2024, 1, 1, 0, 0) - 1), "2024-01-01T00:59:59+01:00"},
        {formatIsoLocal(-1), "1970-01-01T00:59:59+01:00"}, {formatDateTime(utc(-1, 6, 1, 12, 0)), "01.06.-001 14:00"},
        {formatMonthKey(-5, 3), "-005/03"}, {formatMonthKey(12345, 12), "12345/12"},
        {formatDurationMinutes(123456789), "2057613:09"},
    };
    for (const auto& [actual, expected] : texts) EXPECT_EQ(actual, expected);

    const std::array<std::int64_t, 3> divisions[] = {{-1, 86400, -1}, {-86400, 86400, -1}, {-86401, 86400, -2}, {86399, 86400, 0}, {7, -2, -4}};
    for (const auto& [a, b, quotient] : divisions) EXPECT_EQ(floorDiv(a, b), quotient) << a << " / " << b;

    for (std::int64_t day = -146097; day <= 146097; day += 13) {
        std::int32_t y;
        std::uint32_t m, d;
        civilFromDays(day, y, m, d);
        ASSERT_EQ(daysFromCivil(y, m, d), day);
    }
}

}  // namespace
}  // namespace ddd
