// Readable building blocks for the analysis tests: day records and timelines from short texts
// such as "00:00 rest 06:00 drive 10:30 break" and "rest 10:00 drive 4:30", findings reduced to
// what a case states, and generated card downloads evaluated as the analysis does.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/merge.h"
#include "analysis/rule_engine.h"
#include "core/card_file.h"
#include "core/primitives.h"
#include "tests/analysis/generated_histories.h"

namespace ddd::test {

inline constexpr std::int64_t kHour = 3600;
inline constexpr std::int64_t h = kHour;
inline constexpr std::int64_t m = 60;

inline std::int64_t utcDay(int y, unsigned mo, unsigned d) { return daysFromCivil(y, mo, d) * kDay; }
inline const std::int64_t kMonday = utcDay(2024, 3, 4);  // the Monday most tables start from

inline int activityCode(const std::string& name) {
    if (name == "rest" || name == "break") return 0;
    if (name == "avail") return 1;
    if (name == "work") return 2;
    if (name == "drive") return 3;
    if (name == "unknown") return 255;
    throw std::invalid_argument("unknown activity " + name);
}

inline int minutesOf(const std::string& hmm) {
    const auto colon = hmm.find(':');
    return std::stoi(hmm.substr(0, colon)) * 60 + std::stoi(hmm.substr(colon + 1));
}

// Change words of "06:00 drive", "06:00 drive+absent", "06:00 drive+crew", "06:00 unknown" (card
// out, activity not entered), "25:00 rest" for a minute past the end of the day.
inline std::vector<std::uint16_t> words(std::string_view text) {
    std::istringstream in{std::string(text)};
    std::vector<std::uint16_t> out;
    std::string time, activity;
    while (in >> time >> activity) {
        const auto plus = activity.find('+');
        const std::string flag = plus == std::string::npos ? "" : activity.substr(plus + 1);
        activity = activity.substr(0, plus);
        std::uint16_t w = static_cast<std::uint16_t>(minutesOf(time));
        if (activity == "unknown") {
            w |= 0x2000;
        } else {
            w |= static_cast<std::uint16_t>(activityCode(activity) << 11);
            if (flag == "absent") w |= 0x6000;
            if (flag == "crew") w |= 0x4000;
        }
        out.push_back(w);
    }
    return out;
}

inline DailyActivityRecord record(std::int64_t date, std::string_view changes, std::uint32_t presence = 1) {
    return DailyActivityRecord{date, presence, true, 0, words(changes)};
}

enum class Parts { Gen1, Gen2, Both };

inline CardIdentification identity(const std::string& number = "DF00000000001100", const std::string& surname = "Muster") {
    CardIdentification id;
    id.issuingNation = 13;
    for (std::size_t i = 0; i < id.cardNumber.size(); ++i) {
        id.cardNumber[i] = static_cast<std::uint8_t>(i < number.size() ? number[i] : ' ');
    }
    id.surname.text = surname;
    id.firstNames.text = "Erika";
    return id;
}

// A download of the days, taken after its newest day so that every day counts whole.
inline DriverCardFile download(const std::vector<DailyActivityRecord>& days, Parts parts = Parts::Gen1,
                               const CardIdentification& id = identity()) {
    const auto part = [&](bool gen2) {
        CardApplicationData data;
        data.isGen2 = gen2;
        data.identification = id;
        for (const auto& day : days) data.lastCardDownload = std::max(data.lastCardDownload.value_or(0), day.date + 2 * kDay);
        data.driverActivity = DriverActivity{days, false, 0, 0, 0};
        return data;
    };
    DriverCardFile file;
    if (parts != Parts::Gen2) file.gen1 = part(false);
    if (parts != Parts::Gen1) file.gen2 = part(true);
    return file;
}

using Cards = std::vector<const DriverCardFile*>;

inline Cards pointers(const std::vector<DriverCardFile>& files) {
    Cards out;
    for (const auto& f : files) out.push_back(&f);
    return out;
}

// A contiguous timeline from "ACTIVITY H:MM" blocks; "+absent" marks a card-absent block.
inline Timeline timeline(std::int64_t start, std::string_view blocks) {
    std::istringstream in{std::string(blocks)};
    Timeline out;
    std::string activity, length;
    while (in >> activity >> length) {
        const bool absent = activity.ends_with("+absent");
        if (absent) activity.resize(activity.size() - 7);
        const std::int64_t end = start + minutesOf(length) * 60;
        out.push_back(ActivitySegment{start, end, static_cast<std::uint8_t>(activityCode(activity)),
                                      static_cast<std::uint8_t>(absent ? 1 : 0)});
        start = end;
    }
    return out;
}

// Stretch `index` made longer by `seconds` (shorter when negative); the later ones move with it.
inline Timeline lengthened(Timeline t, std::size_t index, std::int64_t seconds) {
    t.at(index).end += seconds;
    for (std::size_t i = index + 1; i < t.size(); ++i) {
        t[i].start += seconds;
        t[i].end += seconds;
    }
    return t;
}

// Stretch `index` cut short by `seconds`, leaving a hole before the next one.
inline Timeline withHole(Timeline t, std::size_t index, std::int64_t seconds) {
    t.at(index).end -= seconds;
    return t;
}

// "H:MM" of a number of minutes, for building block texts.
inline std::string hm(int minutes) {
    return std::to_string(minutes / 60) + (minutes % 60 < 10 ? ":0" : ":") + std::to_string(minutes % 60);
}

inline std::string repeated(std::string_view text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += std::string(text) + " ";
    return out;
}

// What a case states of a finding of the strict checks.
struct Finding {
    std::string code;
    std::int32_t severity = 0;
    std::int64_t value = 0, limit = 0, start = 0, end = 0, when = 0;
    bool operator==(const Finding&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Finding& f) {
    return out << "{" << f.code << " class " << f.severity << " value " << f.value << " limit " << f.limit << " ["
               << f.start << ", " << f.end << ") when " << f.when << "}";
}

// The findings of the rules whose identifier begins with `rule` ("eu.561.daily_rest" takes the
// daily rest and the reduced-rest count), in the engine's order.
inline std::vector<Finding> findingsOf(const std::vector<LegalViolation>& all, std::string_view rule) {
    std::vector<Finding> out;
    for (const auto& v : all) {
        if (std::string_view(v.rule).starts_with(rule)) out.push_back({v.code, v.severity, v.value, v.limit, v.start, v.end, v.when});
    }
    return out;
}

inline std::vector<LegalViolation> strictFindings(const Timeline& t) { return evaluateRules(t, RuleOptions{}).violations; }

// A named case of a rule table: a timeline and the findings it must give.
struct RuleCase { const char* name; Timeline timeline; std::vector<Finding> expected; };

inline void expectFindings(std::string_view rule, const std::vector<RuleCase>& cases) {
    for (const auto& c : cases) EXPECT_EQ(findingsOf(strictFindings(c.timeline), rule), c.expected) << c.name;
}

// The card download written from a generated history, downloaded where the history ends.
inline DriverCardFile downloadOf(const gen::Timeline& history) {
    gen::CardDescription card;
    card.days = history.days();
    card.lastCardDownload = history.now();
    return decodeWritten(withLargeActivityArea(card));
}

// The strict findings of such a download, decoded and merged.
inline std::vector<LegalViolation> strictFindingsOfDownload(const gen::Timeline& history) {
    const DriverCardFile file = downloadOf(history);
    const DriverCardFile* files[] = {&file};
    return evaluateMergedView(mergeDownloads(files), RuleOptions{}).violations;
}

}  // namespace ddd::test
