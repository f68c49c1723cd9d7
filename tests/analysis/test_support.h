// Readable building blocks for the analysis tests: day records and timelines from short texts
// such as "00:00 rest 06:00 drive 10:30 break" and "rest 10:00 drive 4:30".
#pragma once

#include <cstdint>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/activity_segment.h"
#include "analysis/regulation_limits.h"
#include "core/card_file.h"
#include "core/primitives.h"

namespace ddd::test {

inline constexpr std::int64_t kHour = 3600;

inline std::int64_t utcDay(int y, unsigned m, unsigned d) { return daysFromCivil(y, m, d) * kDay; }

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

// "06:00 drive", "06:00 drive+absent", "06:00 unknown" (card out, activity not entered),
// "25:00 rest" for a minute past the end of the day.
inline std::vector<std::uint16_t> words(std::string_view text) {
    std::istringstream in{std::string(text)};
    std::vector<std::uint16_t> out;
    std::string time, activity;
    while (in >> time >> activity) {
        bool absent = false, crew = false;
        for (auto plus = activity.find('+'); plus != std::string::npos; plus = activity.find('+')) {
            const std::string flag = activity.substr(plus + 1);
            absent = absent || flag.starts_with("absent");
            crew = crew || flag.starts_with("crew");
            activity = activity.substr(0, plus);
        }
        std::uint16_t w = static_cast<std::uint16_t>(minutesOf(time));
        if (activity == "unknown") {
            w |= 0x2000;
        } else {
            w |= static_cast<std::uint16_t>(activityCode(activity) << 11);
            if (absent) w |= 0x6000;
            if (crew) w |= 0x4000;
        }
        out.push_back(w);
    }
    return out;
}

inline DailyActivityRecord record(std::int64_t date, std::string_view changes, std::uint32_t presence = 1,
                                  std::uint32_t km = 0) {
    return DailyActivityRecord{date, presence, true, km, words(changes)};
}

enum class Parts { Gen1, Gen2, Both };

inline CardIdentification identity(const std::string& number = "DF00000000001100", std::uint8_t nation = 13,
                                   const std::string& surname = "Muster") {
    CardIdentification id;
    id.issuingNation = nation;
    for (std::size_t i = 0; i < id.cardNumber.size(); ++i) {
        id.cardNumber[i] = static_cast<std::uint8_t>(i < number.size() ? number[i] : ' ');
    }
    id.surname.text = surname;
    id.firstNames.text = "Erika";
    return id;
}

inline CardApplicationData part(bool gen2, std::vector<DailyActivityRecord> days, const CardIdentification& id) {
    CardApplicationData data;
    data.isGen2 = gen2;
    data.identification = id;
    // Downloaded after its newest day, so that every day counts whole.
    for (const auto& day : days) data.lastCardDownload = std::max(data.lastCardDownload.value_or(0), day.date + 2 * 86400);
    data.driverActivity = DriverActivity{std::move(days), false, 0, 0, 0};
    return data;
}

inline DriverCardFile download(std::vector<DailyActivityRecord> days, Parts parts = Parts::Gen1,
                               const CardIdentification& id = identity()) {
    DriverCardFile file;
    if (parts != Parts::Gen2) file.gen1 = part(false, days, id);
    if (parts != Parts::Gen1) file.gen2 = part(true, days, id);
    return file;
}

inline std::vector<const DriverCardFile*> pointers(const std::vector<DriverCardFile>& files) {
    std::vector<const DriverCardFile*> out;
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

}  // namespace ddd::test
