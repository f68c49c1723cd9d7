#include "analysis/fleet.h"

#include <algorithm>
#include <tuple>

#include "analysis/local_time.h"
#include "analysis/rule_catalogue.h"
#include "core/primitives.h"

namespace ddd {
namespace {

constexpr std::int64_t kDay = 86400;

std::int64_t overlap(std::int64_t b1, std::int64_t e1, std::int64_t b2, std::int64_t e2) {
    return std::max<std::int64_t>(0, std::min(e1, e2) - std::max(b1, b2));
}

void countDeadline(const DueDate& due, FleetOverview& overview) {
    if (due.state == DueState::Overdue) ++overview.red;
    if (due.state == DueState::Soon) ++overview.amber;
}

FleetDriver fleetDriver(FleetDriverInput input, std::int64_t nowUtc) {
    FleetDriver d;
    // A card that never had its expiry written (all bits set) has no deadline to show.
    if (!isEmptyTime(input.cardExpiry)) d.expiry = dueDateState(input.cardExpiry, nowUtc, kCardExpirySoonDays);
    d.downloadDue = nextDownloadDue(input.lastDownload, kCardDownloadIntervalDays, nowUtc, kCardDownloadSoonDays);
    if (input.facts && input.facts->problem.empty()) {
        // The complete local days before today; today is still being driven.
        const std::int64_t today = localDayNumber(nowUtc);
        const std::int64_t first = today - kFleetFindingDays;
        std::int64_t withData = 0;
        for (const auto& [from, to] : input.facts->dataDays) withData += std::max<std::int64_t>(0, std::min(to, today - 1) - std::max(from, first) + 1);
        d.daysWithoutData = static_cast<int>(kFleetFindingDays - withData);
        FindingCounts counts{};
        for (const auto& [when, severity] : input.facts->findings) {
            if (localDayNumber(when) < first || severity < kMinorInfringement || severity > kMostSeriousInfringement) continue;
            ++counts[static_cast<std::size_t>(kMostSeriousInfringement - severity)];
        }
        d.findings = counts;
    }
    d.input = std::move(input);
    return d;
}

FleetVehicle fleetVehicle(FleetVehicleInput input, std::int64_t nowUtc) {
    FleetVehicle v;
    std::optional<std::int64_t> last = input.lastDownload;
    if (input.facts) {
        if (input.facts->lastDownload && (!last || *input.facts->lastDownload > *last)) last = input.facts->lastDownload;
        v.calibrationDue = dueDateState(input.facts->calibrationDue, nowUtc);
        std::int64_t seconds = 0;
        for (const auto& [begin, end] : input.facts->noCard) seconds += overlap(begin, end, nowUtc - kFleetNoCardDays * kDay, nowUtc);
        v.noCardMinutes = seconds / 60;
    }
    v.lastDownload = last;
    v.downloadDue = nextDownloadDue(last, kDownloadIntervalDays, nowUtc);
    v.input = std::move(input);
    return v;
}

}  // namespace

DriverFindingFacts driverFindingFactsOf(const AnalysisResult& result) {
    DriverFindingFacts facts;
    if (!result.ok) {
        facts.problem = result.error.empty() ? "analysis failed" : result.error;
        return facts;
    }
    for (const LegalViolation& v : result.legalViolations) facts.findings.emplace_back(v.when, v.severity);
    std::vector<std::int64_t> days;
    for (const ActivitySegment& s : result.activities) {
        if (s.type == kUnknownActivity || s.cardAbsent || s.end <= s.start) continue;
        for (std::int64_t day = localDayNumber(s.start); day <= localDayNumber(s.end - 1); ++day) days.push_back(day);
    }
    std::sort(days.begin(), days.end());
    for (const std::int64_t day : days) {
        if (!facts.dataDays.empty() && day <= facts.dataDays.back().second + 1) {
            facts.dataDays.back().second = std::max(facts.dataDays.back().second, day);
        } else {
            facts.dataDays.emplace_back(day, day);
        }
    }
    return facts;
}

VehicleFleetFacts vehicleFleetFactsOf(const VehicleModel& model) {
    VehicleFleetFacts facts;
    facts.calibrationDue = model.calibrationDue.due;
    facts.lastDownload = model.lastDownload.last;
    for (const NoCardStretch& s : model.noCard) facts.noCard.emplace_back(s.begin, s.end);
    return facts;
}

FleetOverview buildFleetOverview(std::vector<FleetDriverInput> drivers, std::vector<FleetVehicleInput> vehicles,
                                 std::int64_t nowUtc) {
    FleetOverview overview;
    for (FleetDriverInput& input : drivers) {
        if (!input.facts) ++overview.pending;
        overview.drivers.push_back(fleetDriver(std::move(input), nowUtc));
        countDeadline(overview.drivers.back().expiry, overview);
        countDeadline(overview.drivers.back().downloadDue, overview);
    }
    for (FleetVehicleInput& input : vehicles) {
        if (!input.facts) ++overview.pending;
        overview.vehicles.push_back(fleetVehicle(std::move(input), nowUtc));
        countDeadline(overview.vehicles.back().downloadDue, overview);
        countDeadline(overview.vehicles.back().calibrationDue, overview);
    }
    std::stable_sort(overview.drivers.begin(), overview.drivers.end(), [](const FleetDriver& a, const FleetDriver& b) {
        return std::tie(a.input.name, a.input.driver, a.input.nation) < std::tie(b.input.name, b.input.driver, b.input.nation);
    });
    std::stable_sort(overview.vehicles.begin(), overview.vehicles.end(), [](const FleetVehicle& a, const FleetVehicle& b) {
        return std::tie(a.input.plate, a.input.vin) < std::tie(b.input.plate, b.input.vin);
    });
    return overview;
}

}  // namespace ddd
