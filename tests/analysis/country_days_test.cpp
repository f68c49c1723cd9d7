#include <tuple>

#include "analysis/country_days.h"
#include "tests/analysis/test_support.h"

namespace ddd::test {
namespace {

constexpr std::uint8_t D = 13, PL = 40;

BorderCrossingRecord crossing(std::int64_t at, std::uint8_t from, std::uint8_t to) {
    BorderCrossingRecord b;
    b.countryLeft = from;
    b.countryEntered = to;
    b.position.time = at;
    return b;
}

// A tour Germany → Poland → Germany with the night in Poland (times below in German time, UTC+1),
// and a day after it with no crossing, told only by the place entered at its begin.
TEST(CountryDays, TourWithANightAbroad) {
    const std::int64_t start = kMonday + 5 * h;  // Monday 04.03.2024 06:00
    Timeline tour = timeline(start, "work 0:30 drive 4:00 break 0:45 drive 2:00 work 1:00 avail 0:30 rest 15:00 "
                                    "work 0:15 drive 3:00 work 1:00 rest 22:00 work 2:00 rest 1:00");
    const std::vector<BorderCrossingRecord> crossings = {crossing(kMonday + 8 * h + 30 * m, D, PL),  // 09:30, driving
                                                         crossing(kMonday + kDay + 6 * h, PL, D)};   // Tuesday 07:00
    PlaceRecord begin;
    begin.entryTime = kMonday + 2 * kDay + 7 * h;  // Wednesday 08:00
    begin.country = D;

    using Row = std::tuple<std::string, int, std::int64_t, std::int64_t, std::int64_t, bool>;
    std::vector<Row> rows;
    for (const CountryDay& day : buildCountryDays(tour, crossings, {begin})) {
        for (const CountryTime& c : day.countries) {
            rows.emplace_back(formatDate(day.day), c.country, c.driving / m, c.work / m, c.availability / m, day.fromPlaces);
        }
    }
    // Country, then minutes of driving, work and availability.
    const std::vector<Row> expected = {
        {"04.03.2024", D, 3 * 60, 30, 0, false},        // 06:00–09:30
        {"04.03.2024", PL, 3 * 60, 60, 30, false},      // 09:30 on, and the night
        {"05.03.2024", PL, 60, 15, 0, false},           // until 07:00
        {"05.03.2024", D, 2 * 60, 60, 0, false},
        {"06.03.2024", D, 0, 2 * 60, 0, true},
    };
    EXPECT_EQ(rows, expected);

    EXPECT_TRUE(buildCountryDays(tour, {}, {}).empty()) << "no crossing and no place: nothing to say";

    // On a train into the Netherlands at midnight, asleep: the crossing opens the new day there.
    const auto night = buildCountryDays(timeline(kMonday - 2 * h, "rest 2:00 work 1:00"), {crossing(kMonday - h, D, 38)}, {});
    ASSERT_EQ(night.size(), 2u);
    EXPECT_EQ(night[0].countries, (std::vector<CountryTime>{{D, 0, 0, 0}}));
    EXPECT_EQ(night[1].countries, (std::vector<CountryTime>{{38, 0, 3600, 0}}));
}

}  // namespace
}  // namespace ddd::test
