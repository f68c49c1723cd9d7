// The continuous activity timeline of a driver, rebuilt from the merged card history: the
// timeline that shifts, coverage gaps, the dashboard and the reports show.
#pragma once

#include "analysis/activity_segment.h"
#include "analysis/merge.h"

namespace ddd {

// One stretch per activity change of the chosen days, in time order, without overlap or hole
// from 00:00 of the first day with activity to the end of the last chosen day. Stretches the card
// holds no record for are card absent, split at every UTC midnight.
Timeline buildTimeline(const MergedCardView& view);

}  // namespace ddd
