#include <gtest/gtest.h>

#include "analysis/coverage.h"
#include "tests/analysis/test_support.h"

namespace ddd {
namespace {

using namespace test;

const std::int64_t t0 = utcDay(2024, 3, 4);

TEST(CoverageGaps, JoinRunsOfOneCause) {
    struct Case { const char* name; Timeline activities; std::vector<CoverageGap> expected; };
    const std::int64_t h = kHour;
    const Case cases[] = {
        {"no gap in assessable data", timeline(t0, "rest 8:00 drive 4:00 work 2:00"), {}},
        {"touching card-absent stretches form one gap",
         timeline(t0, "drive 1:00 unknown+absent 2:00 rest+absent 3:00 work 1:00"), {{t0 + h, t0 + 6 * h, 0}}},
        {"unknown with the card inserted has its own cause",
         timeline(t0, "drive 1:00 unknown 2:00 unknown+absent 1:00"),
         {{t0 + h, t0 + 3 * h, 1}, {t0 + 3 * h, t0 + 4 * h, 0}}},
        {"an assessable stretch between two absences keeps them apart",
         timeline(t0, "rest+absent 1:00 drive 1:00 rest+absent 1:00"), {{t0, t0 + h, 0}, {t0 + 2 * h, t0 + 3 * h, 0}}},
        {"overlapping stretches of one cause extend the gap to the later end",
         {{t0, t0 + 3 * h, kUnknownActivity, 1}, {t0 + h, t0 + 2 * h, kUnknownActivity, 1}, {t0 + 2 * h, t0 + 5 * h, 0, 1}},
         {{t0, t0 + 5 * h, 0}}},
        {"zero-length stretches are ignored", {{t0, t0, kUnknownActivity, 1}}, {}},
        {"unsorted input is ordered first",
         {{t0 + h, t0 + 2 * h, kUnknownActivity, 1}, {t0, t0 + h, kUnknownActivity, 1}}, {{t0, t0 + 2 * h, 0}}},
    };
    for (const auto& c : cases) EXPECT_EQ(findCoverageGaps(c.activities), c.expected) << c.name;
}

}  // namespace
}  // namespace ddd
