// Periods of the timeline that cannot be assessed: the card was out, or the activity is unknown.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/activity_segment.h"

namespace ddd {

enum class CoverageCause : std::uint32_t {
    CardAbsent = 0,      // "Karte nicht gesteckt"
    NoAssessableData = 1,  // "Keine auswertbaren Daten"
};

struct CoverageGap {
    std::int64_t begin = 0;
    std::int64_t end = 0;
    std::uint32_t cause = 0;

    bool operator==(const CoverageGap&) const = default;
};

// German text shown for a cause code; codes not listed are "Nicht bewertbar".
std::string coverageCauseText(std::uint32_t cause);

std::vector<CoverageGap> findCoverageGaps(const Timeline& activities);

}  // namespace ddd
