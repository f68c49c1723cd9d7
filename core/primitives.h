// Primitive encodings shared by every tachograph decoder and report: BCD numbers and dates,
// code-paged texts, registrations, card numbers, nation and activity names, German legal time.
#pragma once

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/byte_reader.h"

namespace ddd {

// The program's own activity codes; 0-3 equal the 2-bit activity field of a change word.
enum ActivityType : std::uint32_t {
    kActivityRest = 0,
    kActivityAvailability = 1,
    kActivityWork = 2,
    kActivityDriving = 3,
    kActivityUnknown = 4,
    kActivityFerryTrain = 5,
};

// Value of an n-byte BCD string, or nothing when any byte holds a non-decimal nibble.
std::optional<std::uint64_t> bcdValue(std::span<const std::uint8_t> bytes);

// Datef: year (2 BCD bytes), month, day.
struct BcdDate {
    std::uint32_t year = 0;
    std::uint32_t month = 0;
    std::uint32_t day = 0;
    bool present = false;
    bool plausible = true;

    bool operator==(const BcdDate&) const = default;
};
BcdDate readBcdDate(ByteReader& reader);

// A 36-byte name field (code page and 35 bytes of text), decoded to UTF-8.
struct CodePagedText {
    std::uint8_t codePage = 0;
    std::string text;

    bool operator==(const CodePagedText&) const = default;
};
CodePagedText readName(ByteReader& reader);

// A 15-byte vehicle registration field: nation, code page and 13 bytes of text.
struct Registration {
    std::uint8_t nation = 0;
    std::string number;

    bool operator==(const Registration&) const = default;
};
Registration readRegistration(ByteReader& reader);

// Appends one Unicode code point as UTF-8 (1 to 4 bytes).
void appendUtf8(std::string& out, char32_t codePoint);

// Text bytes of a code-paged field trimmed of blanks and mapped to UTF-8.
std::string decodeCodePagedText(std::uint8_t codePage, std::span<const std::uint8_t> text);

using CardNumber = std::array<std::uint8_t, 16>;
CardNumber readCardNumber(ByteReader& reader);
std::string cardNumberText(const CardNumber& number);

std::string nationName(std::uint32_t nation);
// A code of the nation table, including "no information" (0) and the EC, Europe and rest-of-world codes.
bool isKnownNation(std::uint32_t nation);
std::string activityName(std::uint32_t activity);

// TimeReal fields of cyclic records use 0 and 0xFFFFFFFF for an unused slot.
inline bool isEmptyTime(std::int64_t t) { return t == 0 || t == 0xFFFFFFFFll; }

// A 3-byte odometer the equipment has not written yet (an open vehicle record, an open session).
inline bool isEmptyOdometer(std::uint32_t km) { return km == 0xFFFFFF; }

// A civil date and time of day in German legal time.
struct CivilTime {
    std::int32_t year = 1970;
    std::uint32_t month = 1;
    std::uint32_t day = 1;
    std::uint32_t minuteOfDay = 0;

    bool operator==(const CivilTime&) const = default;
};

// German legal time by the fixed EU summer-time rule, whatever the computer's time zone.
CivilTime toCivilTime(std::int64_t utcSeconds);

// a / b rounded towards minus infinity, so that the instants before 1970 fall on the day (or
// week) they belong to, not on the one after.
std::int64_t floorDiv(std::int64_t a, std::int64_t b);

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
std::int64_t daysFromCivil(std::int32_t year, std::uint32_t month, std::uint32_t day);
void civilFromDays(std::int64_t days, std::int32_t& year, std::uint32_t& month, std::uint32_t& day);

// A short text held in place, for writers of large outputs that allocate nothing per field.
struct ShortText {
    char bytes[96] = {};
    std::size_t size = 0;
    operator std::string_view() const { return {bytes, size}; }
    const char* c_str() const { return bytes; }
};

// printf into a ShortText; a longer text is cut at its capacity.
template <typename... Values>
ShortText shortText(const char* format, Values... values) {
    ShortText text;
    const int n = std::snprintf(text.bytes, sizeof text.bytes, format, values...);
    text.size = n < 0 ? 0 : std::min(static_cast<std::size_t>(n), sizeof text.bytes - 1);
    return text;
}

std::string formatDate(std::int64_t utcSeconds);
// The date of a date-valued field (card expiry, validity begin, a vehicle unit's activity day):
// the equipment stores it as an instant on the UTC day meant (00:00 or 23:59:59), so its UTC
// date is shown, never the German date of that instant.
std::string formatUtcDate(std::int64_t utcSeconds);
// An instant as ISO 8601 in German legal time with its offset: 2023-04-28T13:14:28+02:00.
std::string formatIsoLocal(std::int64_t utcSeconds);
ShortText isoLocalText(std::int64_t utcSeconds);
std::string formatTime(std::int64_t utcSeconds);
std::string formatDateTime(std::int64_t utcSeconds);
std::string formatDateDotTime(std::int64_t utcSeconds);
std::string formatDurationSeconds(std::int64_t seconds);
std::string formatDurationMinutes(std::int64_t minutes);
std::string formatMonthKey(std::int32_t year, std::uint32_t month);

}  // namespace ddd
