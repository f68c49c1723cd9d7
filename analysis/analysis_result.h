// Everything the dashboard, the exports and the reports show of one driver: the result of the
// analysis of that driver's card downloads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/activity_segment.h"
#include "analysis/country_days.h"
#include "analysis/coverage.h"
#include "analysis/forecast.h"
#include "analysis/remaining_times.h"
#include "analysis/rule_catalogue.h"
#include "analysis/shifts.h"
#include "core/card_efs.h"
#include "core/card_signature.h"
#include "core/folder_walk.h"

namespace ddd {

// The signature check of one analysed download; absent when its loader did not check it.
struct DownloadAuthenticity {
    std::string file;  // the download's file name, when the analysis was given files
    std::optional<AuthenticityCheck> check;
};

struct AnalysisResult {
    bool ok = false;
    std::string error;  // English reason when ok is false
    std::string driver;
    std::string card;
    std::uint32_t nation = 0;
    std::uint32_t filesMerged = 0;
    std::vector<ShiftRecord> shifts;
    std::vector<ReferenceViolation> violations;
    std::vector<LegalViolation> legalViolations;
    std::vector<Forecast> forecasts;
    Timeline activities;
    std::vector<CoverageGap> coverageGaps;
    std::vector<CardVehicleRecord> vehicles;
    std::vector<PlaceRecord> countries;
    std::vector<EventFaultRecord> events;
    std::vector<ControlActivity> controls;
    std::vector<SpecificConditionRecord> specials;
    // Where the newest day's data ends when the card was downloaded while in use that day (0: the
    // day is complete); nothing after it is known or judged.
    std::int64_t dataEnd = 0;
    std::vector<DownloadAuthenticity> authenticity;  // one per download, in the order given
    std::vector<SkippedFile> skippedFiles;           // files of the driver's folder tree left out, and why
    std::optional<RemainingTimes> remaining;           // at the end of the data
    // Second-version cards only; empty for every other card.
    std::vector<BorderCrossingRecord> borderCrossings;
    std::vector<LoadUnloadRecord> loadOperations;
    std::vector<CountryDay> countryDays;
    std::vector<std::string> recordDiagnostics;  // German texts about malformed records left out
};

}  // namespace ddd
