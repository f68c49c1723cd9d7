// Readable scenario helpers: UTC dates and "HH:MM" times, day records from text, and the
// continuous timeline that is cut into day records the way a card stores them.

#include "tools/generator/card_generator.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace ddd::gen {
namespace {

constexpr std::int64_t kDay = 86400;

std::int64_t floorDiv(std::int64_t a, std::int64_t b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }

std::vector<std::string_view> splitWords(std::string_view text) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == ',')) ++i;
        std::size_t j = i;
        while (j < text.size() && text[j] != ' ' && text[j] != '\t' && text[j] != ',') ++j;
        if (j > i) words.push_back(text.substr(i, j - i));
        i = j;
    }
    return words;
}

// "drive+crew" -> activity 3 with the crew flag.
ActivityChange parseActivity(std::string_view word) {
    ActivityChange c;
    const std::size_t plus = word.find('+');
    const std::string_view name = word.substr(0, plus);
    if (name == "rest" || name == "break") {
        c.activity = kRest;
    } else if (name == "avail" || name == "availability") {
        c.activity = kAvailability;
    } else if (name == "work") {
        c.activity = kWork;
    } else if (name == "drive" || name == "driving") {
        c.activity = kDriving;
    } else {
        throw std::invalid_argument("unknown activity \"" + std::string(name) + "\"");
    }
    std::string_view rest = plus == std::string_view::npos ? std::string_view{} : word.substr(plus);
    while (!rest.empty()) {
        const std::size_t next = rest.find('+', 1);
        const std::string_view mod = rest.substr(1, next == std::string_view::npos ? rest.npos : next - 1);
        if (mod == "co") {
            c.coDriver = true;
        } else if (mod == "crew") {
            c.crew = true;
        } else if (mod == "absent") {
            c.cardAbsent = true;
        } else {
            throw std::invalid_argument("unknown modifier \"+" + std::string(mod) + "\"");
        }
        rest = next == std::string_view::npos ? std::string_view{} : rest.substr(next);
    }
    return c;
}

bool sameState(const ActivityChange& a, const ActivityChange& b) {
    return a.activity == b.activity && a.coDriver == b.coDriver && a.crew == b.crew && a.cardAbsent == b.cardAbsent;
}

} // namespace

std::int64_t utcDay(int year, int month, int day) {
    // Days from civil date, proleptic Gregorian calendar.
    const int y = year - (month <= 2);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return (std::int64_t{era} * 146097 + doe - 719468) * kDay;
}

int minuteOfDay(std::string_view hhmm) {
    const std::size_t colon = hhmm.find(':');
    const auto digits = [](std::string_view s) {
        return !s.empty() && std::all_of(s.begin(), s.end(), [](char ch) { return ch >= '0' && ch <= '9'; });
    };
    if (colon == std::string_view::npos || colon > 3 || hhmm.size() != colon + 3 || !digits(hhmm.substr(0, colon)) ||
        !digits(hhmm.substr(colon + 1))) {
        throw std::invalid_argument("expected H:MM, got \"" + std::string(hhmm) + "\"");
    }
    const int hours = std::stoi(std::string(hhmm.substr(0, colon)));
    const int minutes = std::stoi(std::string(hhmm.substr(colon + 1)));
    if (minutes > 59) throw std::invalid_argument("minutes above 59 in \"" + std::string(hhmm) + "\"");
    return hours * 60 + minutes;
}

std::int64_t utcTime(int year, int month, int day, std::string_view hhmm) {
    return utcDay(year, month, day) + std::int64_t{minuteOfDay(hhmm)} * 60;
}

Day dayFromText(std::int64_t date, std::string_view changes, int presenceCounter, int distanceKm) {
    const auto words = splitWords(changes);
    if (words.size() % 2 != 0) throw std::invalid_argument("activity changes come in pairs \"HH:MM ACTIVITY\"");
    Day day{date, presenceCounter, distanceKm, {}, {}, {}};
    for (std::size_t i = 0; i < words.size(); i += 2) {
        ActivityChange c = parseActivity(words[i + 1]);
        c.minute = minuteOfDay(words[i]);
        day.changes.push_back(c);
    }
    return day;
}

std::vector<Day> daysFromTimeline(const std::vector<Segment>& input, int firstPresenceCounter, int kmPerHour) {
    std::vector<Segment> segments;
    for (const Segment& s : input) {
        if (s.end > s.begin) segments.push_back(s);
    }
    std::stable_sort(segments.begin(), segments.end(),
                     [](const Segment& a, const Segment& b) { return a.begin < b.begin; });
    std::vector<Day> days;
    const ActivityChange unknown{0, kRest, false, false, true};
    std::size_t first = 0; // first segment that may still reach into the current day
    int presence = firstPresenceCounter;
    std::int64_t dayStart = segments.empty() ? 0 : floorDiv(segments.front().begin, kDay) * kDay;
    while (first < segments.size()) {
        dayStart = std::max(dayStart, floorDiv(segments[first].begin, kDay) * kDay);
        const std::int64_t dayEnd = dayStart + kDay;
        Day day{dayStart, presence++ % 10000, 0, {}, {}, {}};
        std::int64_t cursor = dayStart;
        int drivingMinutes = 0;
        const auto append = [&day](ActivityChange c, std::int64_t at, std::int64_t start) {
            c.minute = static_cast<int>((at - start) / 60);
            if (!day.changes.empty() && sameState(day.changes.back(), c)) return;
            day.changes.push_back(c);
        };
        for (std::size_t i = first; i < segments.size() && segments[i].begin < dayEnd; ++i) {
            const Segment& s = segments[i];
            if (s.end <= cursor) continue;
            if (s.begin > cursor) append(unknown, cursor, dayStart);
            const std::int64_t from = std::max(s.begin, cursor);
            append({0, s.activity, s.coDriver, s.crew, s.cardAbsent}, from, dayStart);
            cursor = std::min(s.end, dayEnd);
            if (s.activity == kDriving && !s.cardAbsent && !s.coDriver) drivingMinutes += static_cast<int>((cursor - from) / 60);
        }
        if (cursor < dayEnd) append(unknown, cursor, dayStart);
        day.distanceKm = drivingMinutes * kmPerHour / 60;
        days.push_back(std::move(day));
        while (first < segments.size() && segments[first].end <= dayEnd) ++first;
        dayStart = dayEnd;
    }
    return days;
}

Timeline& Timeline::add(int activity, int minutes, bool crew, bool coDriver) {
    segments_.push_back({now_, now_ + std::int64_t{minutes} * 60, activity, coDriver, crew, false});
    now_ += std::int64_t{minutes} * 60;
    return *this;
}

Timeline& Timeline::add(std::string_view blocks) {
    const auto words = splitWords(blocks);
    if (words.size() % 2 != 0) throw std::invalid_argument("timeline blocks come in pairs \"ACTIVITY H:MM\"");
    for (std::size_t i = 0; i < words.size(); i += 2) {
        const int minutes = minuteOfDay(words[i + 1]);
        if (words[i] == "gap") {
            absent(minutes);
            continue;
        }
        const ActivityChange c = parseActivity(words[i]);
        segments_.push_back({now_, now_ + std::int64_t{minutes} * 60, c.activity, c.coDriver, c.crew, c.cardAbsent});
        now_ += std::int64_t{minutes} * 60;
    }
    return *this;
}

Timeline& Timeline::absent(int minutes) {
    now_ += std::int64_t{minutes} * 60;
    return *this;
}

Timeline& Timeline::restUntil(std::int64_t instant) {
    if (instant > now_) segments_.push_back({now_, instant, kRest, false, false, false});
    now_ = std::max(now_, instant);
    return *this;
}

Timeline& Timeline::skipTo(std::int64_t instant) {
    now_ = std::max(now_, instant);
    return *this;
}

} // namespace ddd::gen
