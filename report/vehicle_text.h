// The German texts of the vehicle view that its page document, CSV set and printed report share,
// so that all three say the same thing in the same words.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/vehicle.h"

namespace ddd::report {

// "–" for what the unit has not written (or a reading cannot tell).
inline constexpr const char* kNotKnown = "\xE2\x80\x93";

std::string instantText(const VuInstant& t);   // German local "DD.MM.YYYY HH:MM" or "–"
std::string dateValueText(const VuInstant& t); // a date-valued field: its UTC date or "–"
std::string cardText(const VuCardRef& card);   // the card number, or "" for none
std::string kmText(const std::optional<std::uint32_t>& km);
std::string odometerText(const VuKm& km);

// The cards a record names, without repeats, joined by ", ".
std::string cardsText(const std::vector<VuCardRef>& cards);
std::vector<VuCardRef> cardsOf(const VuEventFault& record);

// "event", "fault", "overspeed", "power"; and the German group heading.
const char* eventKindKey(VehicleEventKind kind);
std::string eventKindName(VehicleEventKind kind);

// "ok", "soon", "overdue", "unknown"
const char* dueStateKey(DueState state);
// A sentence such as "Kalibrierung überfällig seit 02.05.2024 (3 Tage)."; `what` names the duty.
std::string dueText(const std::string& what, const DueDate& due);

// German account of a download's signature check.
std::string signatureText(const AuthenticityCheck& check);

// Total distance of stretches: the sum when every one is known, "≥ sum" when some are, "–" when
// none is.
std::string kmTotalText(const std::vector<const NoCardStretch*>& stretches);

// "Fahrer", "Beifahrer" or both joined by ", ".
std::string slotsText(const VehicleDriver& driver);
std::string slotName(int slot);

// One local calendar day of the 24-hour chart: both slots' segments in minutes of that day.
struct ChartSegment {
    std::int64_t begin = 0;  // minutes since local midnight
    std::int64_t end = 0;
    std::uint8_t activity = 0;
    bool cardInserted = false;
};
struct ChartDay {
    std::int64_t midnight = 0;  // UTC instant of local 00:00
    std::vector<ChartSegment> slots[2];
};

// The days that hold driving without a card, in order.
std::vector<ChartDay> noCardChartDays(const VehicleModel& model);

// The period of the merged days: "DD.MM.YYYY – DD.MM.YYYY", or empty.
std::string periodOf(const VehicleModel& model);

std::string unitModelText(const VuIdentification& unit);  // part number and software
std::string serialText(const VuSerial& serial);

}  // namespace ddd::report
