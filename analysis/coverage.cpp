// Coverage gaps: runs of card-absent stretches, and of unknown stretches with the card inserted,
// joined while they touch or overlap. Stretches that can be assessed neither open nor close a
// gap, so a gap is only ever extended by a stretch of its own cause.
#include "analysis/coverage.h"

#include <algorithm>
#include <optional>

namespace ddd {

std::string coverageCauseText(std::uint32_t cause) {
    switch (cause) {
        case static_cast<std::uint32_t>(CoverageCause::CardAbsent): return "Karte nicht gesteckt";
        case static_cast<std::uint32_t>(CoverageCause::NoAssessableData): return "Keine auswertbaren Daten";
        default: return "Nicht bewertbar";
    }
}

std::vector<CoverageGap> findCoverageGaps(const Timeline& activities) {
    Timeline ordered = activities;
    std::stable_sort(ordered.begin(), ordered.end(), [](const ActivitySegment& a, const ActivitySegment& b) {
        return a.start != b.start ? a.start < b.start : a.end < b.end;
    });
    std::vector<CoverageGap> gaps;
    std::optional<CoverageGap> open;
    for (const auto& s : ordered) {
        if (s.end <= s.start) continue;
        std::uint32_t cause;
        if (s.cardAbsent) {
            cause = static_cast<std::uint32_t>(CoverageCause::CardAbsent);
        } else if (s.type == kUnknownActivity) {
            cause = static_cast<std::uint32_t>(CoverageCause::NoAssessableData);
        } else {
            continue;
        }
        if (open && open->cause == cause && s.start <= open->end) {
            open->end = std::max(open->end, s.end);
            continue;
        }
        if (open && open->end > open->begin) gaps.push_back(*open);
        open = CoverageGap{s.start, s.end, cause};
    }
    if (open && open->end > open->begin) gaps.push_back(*open);
    return gaps;
}

}  // namespace ddd
