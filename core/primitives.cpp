#include "core/primitives.h"

#include <array>
#include <cinttypes>
#include <cstdio>

namespace ddd {
namespace {

#include "core/code_page_tables.inc"

constexpr char32_t kReplacement = 0xFFFD;

const std::array<char32_t, 128>& upperHalfFor(std::uint8_t codePage) {
    switch (codePage) {
    case 2: return kIso8859_2;
    case 3: return kIso8859_3;
    case 4: return kIso8859_4;
    case 5: return kIso8859_5;
    case 6: return kIso8859_6;
    case 7: return kIso8859_7;
    case 8: return kIso8859_8;
    case 9: return kIso8859_9;
    case 10: return kIso8859_10;
    case 11: return kIso8859_11;
    case 13: return kIso8859_13;
    case 14: return kIso8859_14;
    case 15: return kIso8859_15;
    case 16: return kIso8859_16;
    case 80: return kKoi8R;
    case 85: return kKoi8U;
    default: return kIso8859_1;
    }
}

bool isBlank(std::uint8_t b) { return (b & 0xDF) == 0; }

// A field the equipment never wrote: code page 0xFF, or nothing but 0x00, 0xFF and blanks.
bool isFillerText(std::uint8_t codePage, std::span<const std::uint8_t> text) {
    if (codePage == 0xFF) return true;
    for (std::uint8_t b : text) {
        if (!isBlank(b) && b != 0xFF) return false;
    }
    return true;
}

constexpr std::int64_t kSecondsPerDay = 86400;

// Day number (since 1970-01-01) of the last Sunday of a month.
std::int64_t lastSunday(std::int32_t year, std::uint32_t month) {
    std::int64_t last = daysFromCivil(year, month, 31);
    std::int64_t weekday = ((last + 4) % 7 + 7) % 7;
    return last - weekday;
}

// The offset of German legal time at an instant whose UTC date is given. Only March and October
// hold a change; April to September are summer time throughout, the other months winter time.
std::int64_t germanOffsetSeconds(std::int64_t utcSeconds, std::int32_t year, std::uint32_t month) {
    if (month != 3 && month != 10) return month > 3 && month < 10 ? 7200 : 3600;
    std::int64_t summerStart = lastSunday(year, 3) * kSecondsPerDay + 3600;
    std::int64_t summerEnd = lastSunday(year, 10) * kSecondsPerDay + 3600;
    return (utcSeconds >= summerStart && utcSeconds < summerEnd) ? 7200 : 3600;
}

// A civil date with its second of the day.
struct CivilSecond {
    std::int32_t year = 0;
    std::uint32_t month = 0;
    std::uint32_t day = 0;
    std::int64_t second = 0;
    std::int64_t offset = 0;  // of German legal time, for local dates
};

CivilSecond utcCivil(std::int64_t utcSeconds) {
    CivilSecond c;
    const std::int64_t days = floorDiv(utcSeconds, kSecondsPerDay);
    c.second = utcSeconds - days * kSecondsPerDay;
    civilFromDays(days, c.year, c.month, c.day);
    return c;
}

CivilSecond localCivil(std::int64_t utcSeconds) {
    const CivilSecond utc = utcCivil(utcSeconds);
    const std::int64_t offset = germanOffsetSeconds(utcSeconds, utc.year, utc.month);
    CivilSecond local = utc;
    if (utc.second + offset < kSecondsPerDay) {
        local.second += offset;
    } else {
        local = utcCivil(utcSeconds + offset);
    }
    local.offset = offset;
    return local;
}

// The fields of the date and time formats, written without printf, which costs more than
// everything else in a large document: `value` in decimal, zero-padded to `width` characters
// as printf's "%0*lld" pads it (a minus sign counts in the width).
char* putDecimal(char* out, std::int64_t value, int width) {
    char digits[20];
    std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) {
        *out++ = '-';
        --width;
    }
    for (int pad = width - count; pad > 0; --pad) *out++ = '0';
    while (count > 0) *out++ = digits[--count];
    return out;
}

// "%02u.%02u.%04d"
char* putDate(char* out, const CivilSecond& c) {
    out = putDecimal(out, c.day, 2);
    *out++ = '.';
    out = putDecimal(out, c.month, 2);
    *out++ = '.';
    return putDecimal(out, c.year, 4);
}

// "%02lld:%02lld"
char* putPair(char* out, std::int64_t first, std::int64_t second) {
    out = putDecimal(out, first, 2);
    *out++ = ':';
    return putDecimal(out, second, 2);
}

char* putClock(char* out, const CivilSecond& c) { return putPair(out, c.second / 3600, c.second / 60 % 60); }

// The longest of these texts is far below this.
using TextBuffer = char[80];

}  // namespace

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::optional<std::uint64_t> bcdValue(std::span<const std::uint8_t> bytes) {
    std::uint64_t value = 0;
    for (std::uint8_t b : bytes) {
        if (b > 0x9F || (b & 0x0F) > 9) return std::nullopt;
        value = value * 100 + (b >> 4) * 10 + (b & 0x0F);
    }
    return value;
}

BcdDate readBcdDate(ByteReader& reader) {
    auto raw = reader.bytes(4);
    BcdDate date;
    if (raw.empty()) return date;
    if (raw[0] == 0 && raw[1] == 0 && raw[2] == 0 && raw[3] == 0) return date;
    date.present = true;
    auto year = bcdValue(raw.subspan(0, 2));
    auto month = bcdValue(raw.subspan(2, 1));
    auto day = bcdValue(raw.subspan(3, 1));
    if (!year || !month || !day) {
        date.plausible = false;
        return date;
    }
    date.year = static_cast<std::uint32_t>(*year);
    date.month = static_cast<std::uint32_t>(*month);
    date.day = static_cast<std::uint32_t>(*day);
    date.plausible = date.day >= 1 && date.day <= 31 && date.month >= 1 && date.month <= 12;
    return date;
}

std::string decodeCodePagedText(std::uint8_t codePage, std::span<const std::uint8_t> text) {
    if (isFillerText(codePage, text)) return {};
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (end > begin && isBlank(text[end - 1])) --end;
    while (begin < end && isBlank(text[begin])) ++begin;

    const auto& upperHalf = upperHalfFor(codePage);
    std::string out;
    out.reserve(end - begin);
    for (std::size_t i = begin; i < end; ++i) {
        std::uint8_t b = text[i];
        char32_t cp;
        if (b < 0x80) {
            cp = (b < 0x20 || b == 0x7F) ? kReplacement : b;
        } else {
            cp = upperHalf[b - 0x80];
            if (cp == 0 || (cp >= 0x80 && cp <= 0x9F)) cp = kReplacement;
        }
        appendUtf8(out, cp);
    }
    return out;
}

CodePagedText readName(ByteReader& reader) {
    CodePagedText name;
    name.codePage = reader.u8();
    if (reader.failed()) {
        name.codePage = 0;
        return name;
    }
    auto text = reader.bytes(35);
    if (!reader.failed()) name.text = decodeCodePagedText(name.codePage, text);
    return name;
}

Registration readRegistration(ByteReader& reader) {
    Registration registration;
    registration.nation = reader.u8();
    std::uint8_t codePage = reader.u8();
    auto text = reader.bytes(13);
    if (!reader.failed()) registration.number = decodeCodePagedText(codePage, text);
    return registration;
}

CardNumber readCardNumber(ByteReader& reader) {
    CardNumber number{};
    auto raw = reader.bytes(number.size());
    if (!raw.empty()) std::copy(raw.begin(), raw.end(), number.begin());
    return number;
}

std::string cardNumberText(const CardNumber& number) {
    std::size_t end = number.size();
    while (end > 0 && (number[end - 1] == 0x00 || number[end - 1] == 0x20)) --end;
    std::string out;
    for (std::size_t i = 0; i < end; ++i) {
        std::uint8_t b = number[i];
        if (b < 0x20 || b == 0x7F) {
            out += "\xEF\xBF\xBD";
        } else {
            out.push_back(static_cast<char>(b));
        }
    }
    return out;
}

namespace {

constexpr const char* kNationNames[] = {
    "–", "Österreich (A)", "Albanien (AL)", "Andorra (AND)", "Armenien (ARM)",
    "Aserbaidschan (AZ)", "Belgien (B)", "Bulgarien (BG)", "Bosnien-Herzegowina (BIH)",
    "Belarus (BY)", "Schweiz (CH)", "Zypern (CY)", "Tschechien (CZ)", "Deutschland (D)",
    "Dänemark (DK)", "Spanien (E)", "Estland (EST)", "Frankreich (F)", "Finnland (FIN)",
    "Liechtenstein (FL)", "Färöer (FO)", "Vereinigtes Königreich (UK)", "Georgien (GE)",
    "Griechenland (GR)", "Ungarn (H)", "Kroatien (HR)", "Italien (I)", "Irland (IRL)",
    "Island (IS)", "Kasachstan (KZ)", "Luxemburg (L)", "Litauen (LT)", "Lettland (LV)",
    "Malta (M)", "Monaco (MC)", "Moldau (MD)", "Nordmazedonien (MK)", "Norwegen (N)",
    "Niederlande (NL)", "Portugal (P)", "Polen (PL)", "Rumänien (RO)", "San Marino (RSM)",
    "Russland (RUS)", "Schweden (S)", "Slowakei (SK)", "Slowenien (SLO)",
    "Turkmenistan (TM)", "Türkei (TR)", "Ukraine (UA)", "Vatikanstadt (V)",
    "Montenegro (MNE)", "Serbien (SRB)", "Usbekistan (UZ)", "Tadschikistan (TJ)",
};

}  // namespace

bool isKnownNation(std::uint32_t nation) { return nation < std::size(kNationNames) || (nation >= 253 && nation <= 255); }

std::string nationName(std::uint32_t nation) {
    if (nation < std::size(kNationNames)) return kNationNames[nation];
    switch (nation) {
    case 253: return "Europäische Gemeinschaft (EC)";
    case 254: return "Europa (EUR)";
    case 255: return "Rest der Welt (WLD)";
    default: return "Land " + std::to_string(nation);
    }
}

std::string activityName(std::uint32_t activity) {
    switch (activity) {
    case kActivityRest: return "Pause/Ruhe";
    case kActivityAvailability: return "Bereitschaft";
    case kActivityWork: return "Arbeit";
    case kActivityDriving: return "Lenken";
    case kActivityUnknown: return "Unbekannt";
    case kActivityFerryTrain: return "Fähre/Zug";
    default: return "Typ " + std::to_string(static_cast<std::int32_t>(activity));
    }
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

// Howard Hinnant's days_from_civil / civil_from_days for the proleptic Gregorian calendar.
std::int64_t daysFromCivil(std::int32_t year, std::uint32_t month, std::uint32_t day) {
    std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2 ? 1 : 0);
    std::int64_t era = floorDiv(y, 400);
    std::int64_t yearOfEra = y - era * 400;
    std::int64_t m = month;
    std::int64_t dayOfYear = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + day - 1;
    std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

void civilFromDays(std::int64_t days, std::int32_t& year, std::uint32_t& month, std::uint32_t& day) {
    std::int64_t z = days + 719468;
    std::int64_t era = floorDiv(z, 146097);
    std::int64_t dayOfEra = z - era * 146097;
    std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    std::int64_t mp = (5 * dayOfYear + 2) / 153;
    day = static_cast<std::uint32_t>(dayOfYear - (153 * mp + 2) / 5 + 1);
    month = static_cast<std::uint32_t>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<std::int32_t>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

CivilTime toCivilTime(std::int64_t utcSeconds) {
    const CivilSecond local = localCivil(utcSeconds);
    CivilTime civil;
    civil.year = local.year;
    civil.month = local.month;
    civil.day = local.day;
    civil.minuteOfDay = static_cast<std::uint32_t>(local.second / 60);
    return civil;
}

std::string formatDate(std::int64_t utcSeconds) {
    TextBuffer text;
    return {text, putDate(text, localCivil(utcSeconds))};
}

std::string formatUtcDate(std::int64_t utcSeconds) {
    TextBuffer text;
    return {text, putDate(text, utcCivil(utcSeconds))};
}

std::string formatIsoLocal(std::int64_t utcSeconds) { return std::string(isoLocalText(utcSeconds)); }

// "%04d-%02u-%02uT%02lld:%02lld:%02lld+%02lld:00"
ShortText isoLocalText(std::int64_t utcSeconds) {
    const CivilSecond c = localCivil(utcSeconds);
    ShortText text;
    char* out = putDecimal(text.bytes, c.year, 4);
    *out++ = '-';
    out = putDecimal(out, c.month, 2);
    *out++ = '-';
    out = putDecimal(out, c.day, 2);
    *out++ = 'T';
    out = putClock(out, c);
    *out++ = ':';
    out = putDecimal(out, c.second % 60, 2);
    *out++ = '+';
    out = putPair(out, c.offset / 3600, 0);
    text.size = static_cast<std::size_t>(out - text.bytes);
    return text;
}

std::string formatTime(std::int64_t utcSeconds) {
    TextBuffer text;
    return {text, putClock(text, localCivil(utcSeconds))};
}

std::string formatDateTime(std::int64_t utcSeconds) {
    const CivilSecond c = localCivil(utcSeconds);
    TextBuffer text;
    char* out = putDate(text, c);
    *out++ = ' ';
    return {text, putClock(out, c)};
}

std::string formatDateDotTime(std::int64_t utcSeconds) {
    const CivilSecond c = localCivil(utcSeconds);
    TextBuffer text;
    char* out = putDate(text, c);
    for (char b : std::string_view(" \xC2\xB7 ")) *out++ = b;
    return {text, putClock(out, c)};
}

std::string formatDurationSeconds(std::int64_t seconds) {
    if (seconds < 0) seconds = 0;
    TextBuffer text;
    return {text, putPair(text, seconds / 3600, (seconds % 3600) / 60)};
}

std::string formatDurationMinutes(std::int64_t minutes) {
    if (minutes < 0) minutes = 0;
    TextBuffer text;
    return {text, putPair(text, minutes / 60, minutes % 60)};
}

std::string formatMonthKey(std::int32_t year, std::uint32_t month) {
    TextBuffer text;
    char* out = putDecimal(text, year, 4);
    *out++ = '/';
    return {text, putDecimal(out, month, 2)};
}

}  // namespace ddd
