// Reading the page's search object: a flat JSON object whose values are strings or integers.
// The reader is forgiving: it keeps what it could read before anything malformed.
#include <algorithm>
#include <map>

#include "core/primitives.h"
#include "finder/finder_query.h"

namespace ddd::finder {
namespace {

constexpr std::int64_t kHour = 3600;

struct FlatValue {
    bool isString = false;
    std::string text;  // decoded string, or the raw text of any other value
};

class FlatReader {
public:
    explicit FlatReader(std::string_view text) : text_(text) {}

    std::map<std::string, FlatValue> readObject() {
        std::map<std::string, FlatValue> values;
        skipBlanks();
        if (!take('{')) return values;
        while (true) {
            skipBlanks();
            if (take('}')) return values;
            std::string key;
            if (!readString(key)) return values;
            skipBlanks();
            if (!take(':')) return values;
            skipBlanks();
            FlatValue value;
            if (peek() == '"') {
                value.isString = true;
                if (!readString(value.text)) return values;
            } else if (!readOther(value.text)) {
                return values;
            }
            values.emplace(std::move(key), std::move(value));  // the first of repeated keys counts
            skipBlanks();
            if (!take(',')) return values;
        }
    }

private:
    char peek() const { return at_ < text_.size() ? text_[at_] : '\0'; }
    bool take(char c) {
        if (peek() != c || at_ >= text_.size()) return false;
        ++at_;
        return true;
    }
    void skipBlanks() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r')) ++at_;
    }

    bool readHex4(std::uint32_t& value) {
        if (text_.size() - at_ < 4) return false;
        value = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = text_[at_++];
            value <<= 4;
            if (c >= '0' && c <= '9') value |= static_cast<std::uint32_t>(c - '0');
            else if (c >= 'a' && c <= 'f') value |= static_cast<std::uint32_t>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F') value |= static_cast<std::uint32_t>(c - 'A' + 10);
            else return false;
        }
        return true;
    }

    bool readEscape(std::string& out) {
        const char c = peek();
        if (at_ >= text_.size()) return false;
        ++at_;
        switch (c) {
        case '"': out.push_back('"'); return true;
        case '\\': out.push_back('\\'); return true;
        case '/': out.push_back('/'); return true;
        case 'b': out.push_back('\b'); return true;
        case 'f': out.push_back('\f'); return true;
        case 'n': out.push_back('\n'); return true;
        case 'r': out.push_back('\r'); return true;
        case 't': out.push_back('\t'); return true;
        case 'u': break;
        default: return false;
        }
        std::uint32_t cp = 0;
        if (!readHex4(cp)) return false;
        if (cp >= 0xD800 && cp <= 0xDBFF && text_.substr(at_, 2) == "\\u") {
            const std::size_t mark = at_;
            at_ += 2;
            std::uint32_t low = 0;
            if (readHex4(low) && low >= 0xDC00 && low <= 0xDFFF) {
                appendUtf8(out, 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00));
                return true;
            }
            at_ = mark;
        }
        appendUtf8(out, (cp >= 0xD800 && cp <= 0xDFFF) ? 0xFFFD : cp);
        return true;
    }

    bool readString(std::string& out) {
        if (!take('"')) return false;
        while (at_ < text_.size()) {
            const char c = text_[at_++];
            if (c == '"') return true;
            if (c != '\\') {
                out.push_back(c);
            } else if (!readEscape(out)) {
                return false;
            }
        }
        return false;
    }

    // Numbers, literals, nested objects and arrays: kept as raw text up to the next delimiter
    // at this level.
    bool readOther(std::string& out) {
        const std::size_t begin = at_;
        int depth = 0;
        while (at_ < text_.size()) {
            const char c = text_[at_];
            if (c == '"') {
                std::string ignored;
                if (!readString(ignored)) return false;
                continue;
            }
            if (c == '{' || c == '[') ++depth;
            if (c == '}' || c == ']') {
                if (depth == 0) break;
                --depth;
            }
            if (c == ',' && depth == 0) break;
            ++at_;
        }
        out.assign(text_.substr(begin, at_ - begin));
        return depth == 0;
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

std::string stringValue(const std::map<std::string, FlatValue>& values, const char* key) {
    auto found = values.find(key);
    return found != values.end() && found->second.isString ? found->second.text : std::string();
}

// An optional '-' and decimal digits; no digits give 0, and huge numbers are held at a bound
// that no date or hour reaches.
std::int64_t integerValue(const std::map<std::string, FlatValue>& values, const char* key, std::int64_t absent) {
    auto found = values.find(key);
    if (found == values.end()) return absent;
    if (found->second.isString) return 0;
    const std::string& text = found->second.text;
    std::size_t i = 0;
    const bool negative = i < text.size() && text[i] == '-';
    if (negative) ++i;
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = std::min<std::int64_t>(value * 10 + (text[i] - '0'), 1'000'000'000);
    }
    return negative ? -value : value;
}

// UTC instant of a German civil time on a whole hour: summer time when the summer-time rule
// holds for the summer-time reading, else winter time.
std::int64_t utcOfGermanTime(std::int64_t civilAsUtc) {
    const std::int64_t summer = civilAsUtc - 2 * kHour;
    const CivilTime shown = toCivilTime(summer);
    const std::int64_t offset = daysFromCivil(shown.year, shown.month, shown.day) * 86400 + shown.minuteOfDay * 60 - summer;
    return offset == 2 * kHour ? summer : civilAsUtc - kHour;
}

std::uint32_t daysInMonth(std::int64_t year, std::int64_t month) {
    static const std::uint32_t kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace

FinderQuery parseFinderQuery(std::string_view json) {
    const auto values = FlatReader(json).readObject();
    FinderQuery q;
    q.plate = stringValue(values, "plate");
    q.name = stringValue(values, "name");
    q.vin = stringValue(values, "vin");
    const std::int64_t year = integerValue(values, "y", 0);
    const std::int64_t month = integerValue(values, "mo", 0);
    const std::int64_t day = integerValue(values, "d", 0);
    const std::int64_t hourStart = integerValue(values, "hStart", -1);
    const std::int64_t hourEnd = integerValue(values, "hEnd", -1);
    if (year < 1 || month < 1 || day < 1) return q;

    if (year > 9999 || month > 12 || day > daysInMonth(year, month)) {
        q.error = "Ungültiges Datum.";
        return q;
    }
    const bool startGiven = hourStart >= 0;
    const bool endGiven = hourEnd >= 0;
    const std::int64_t hs = startGiven ? hourStart : 0;
    const std::int64_t he = endGiven ? hourEnd : startGiven ? hs + 1 : 24;
    if (hs > 23) {
        q.error = "Ungültige Anfangsstunde: erlaubt sind 0 bis 23 Uhr.";
        return q;
    }
    if (he > 24) {
        q.error = "Ungültige Endstunde: erlaubt sind 1 bis 24 Uhr.";
        return q;
    }
    if (he <= hs) {
        q.error = "Die Endstunde muss nach der Anfangsstunde liegen.";
        return q;
    }
    const std::int64_t midnight =
        daysFromCivil(static_cast<std::int32_t>(year), static_cast<std::uint32_t>(month), static_cast<std::uint32_t>(day)) * 86400;
    q.timed = true;
    q.windowStart = utcOfGermanTime(midnight + hs * kHour);
    q.windowEnd = utcOfGermanTime(midnight + he * kHour);
    return q;
}

}  // namespace ddd::finder
