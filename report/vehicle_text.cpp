#include "report/vehicle_text.h"

#include <algorithm>

#include "analysis/local_time.h"
#include "core/primitives.h"

namespace ddd::report {

std::string instantText(const VuInstant& t) { return t ? formatDateTime(*t) : kNotKnown; }

std::string dateValueText(const VuInstant& t) { return t ? formatUtcDate(*t) : kNotKnown; }

std::string cardText(const VuCardRef& card) { return card ? card->number : std::string(); }

std::string kmText(const std::optional<std::uint32_t>& km) { return km ? std::to_string(*km) : kNotKnown; }

std::string odometerText(const VuKm& km) { return km ? std::to_string(*km) + " km" : kNotKnown; }

std::vector<VuCardRef> cardsOf(const VuEventFault& r) { return {r.driverBegin, r.coDriverBegin, r.driverEnd, r.coDriverEnd}; }

std::string cardsText(const std::vector<VuCardRef>& cards) {
    std::vector<std::string> numbers;
    for (const auto& card : cards) {
        if (card && std::find(numbers.begin(), numbers.end(), card->number) == numbers.end()) numbers.push_back(card->number);
    }
    std::string text;
    for (const auto& n : numbers) text += (text.empty() ? "" : ", ") + n;
    return text;
}

const char* eventKindKey(VehicleEventKind kind) {
    switch (kind) {
        case VehicleEventKind::Overspeed: return "overspeed";
        case VehicleEventKind::Power: return "power";
        case VehicleEventKind::Event: return "event";
        case VehicleEventKind::Fault: return "fault";
    }
    return "";
}

std::string eventKindName(VehicleEventKind kind) {
    switch (kind) {
        case VehicleEventKind::Overspeed: return "Geschwindigkeitsüberschreitung";
        case VehicleEventKind::Power: return "Stromunterbrechung";
        case VehicleEventKind::Event: return "Ereignis";
        case VehicleEventKind::Fault: return "Störung";
    }
    return "";
}

const char* dueStateKey(DueState state) {
    switch (state) {
        case DueState::Ok: return "ok";
        case DueState::Soon: return "soon";
        case DueState::Overdue: return "overdue";
        case DueState::Unknown: return "unknown";
    }
    return "";
}

std::string dueText(const std::string& what, const DueDate& due) {
    if (!due.due) return what + ": kein Fälligkeitsdatum bekannt.";
    const std::string date = formatUtcDate(*due.due);
    const std::int64_t days = due.daysLeft;
    switch (due.state) {
        case DueState::Overdue:
            return what + " überfällig seit " + date + " (" + std::to_string(-days) + (days == -1 ? " Tag)." : " Tage).");
        case DueState::Soon:
            if (days == 0) return what + " heute fällig (" + date + ").";
            return what + " fällig am " + date + " (in " + std::to_string(days) + (days == 1 ? " Tag)." : " Tagen).");
        case DueState::Ok: return what + " fällig am " + date + ".";
        case DueState::Unknown: break;
    }
    return what + ": kein Fälligkeitsdatum bekannt.";
}

std::string signatureText(const AuthenticityCheck& check) {
    const std::string first = check.sentences.empty() ? std::string() : " " + check.sentences.front();
    switch (check.status) {
        case Authenticity::Valid: return "Signaturen gültig.";
        case Authenticity::Invalid: return "Signatur ungültig." + first;
        case Authenticity::Unanchored:
            return "Signaturen unversehrt, aber keinem vertrauenswürdigen Stammzertifikat zugeordnet.";
        case Authenticity::Unsigned: return "Nicht signiert.";
        case Authenticity::Uncheckable: return "Signaturen nicht prüfbar." + first;
    }
    return "";
}

std::string kmTotalText(const std::vector<const NoCardStretch*>& stretches) {
    std::uint64_t sum = 0;
    std::size_t known = 0;
    for (const auto* s : stretches) {
        if (!s->km) continue;
        sum += *s->km;
        ++known;
    }
    if (known == 0) return kNotKnown;
    return (known == stretches.size() ? "" : "\xE2\x89\xA5 ") + std::to_string(sum);
}

std::string slotName(int slot) { return slot == 0 ? "Fahrer" : "Beifahrer"; }

std::string slotsText(const VehicleDriver& driver) {
    if (driver.driverSlot && driver.coDriverSlot) return "Fahrer, Beifahrer";
    return driver.coDriverSlot ? "Beifahrer" : "Fahrer";
}

std::vector<ChartDay> noCardChartDays(const VehicleModel& model) {
    std::vector<std::int64_t> days;
    for (const NoCardStretch& s : model.noCard) {
        for (std::int64_t day = localDayNumber(s.begin); localMidnight(day) < s.end; ++day) days.push_back(day);
    }
    std::sort(days.begin(), days.end());
    days.erase(std::unique(days.begin(), days.end()), days.end());
    std::vector<ChartDay> chart;
    for (std::int64_t day : days) {
        ChartDay& c = chart.emplace_back();
        c.midnight = localMidnight(day);
        const std::int64_t to = localMidnight(day + 1);
        for (int slot = 0; slot < 2; ++slot) {
            for (const VehicleSlotSegment& seg : model.slots[slot]) {
                if (seg.end <= c.midnight || seg.begin >= to) continue;
                c.slots[slot].push_back({(std::max(seg.begin, c.midnight) - c.midnight) / 60,
                                         (std::min(seg.end, to) - c.midnight) / 60, seg.activity, seg.cardInserted});
            }
        }
    }
    return chart;
}

std::string periodOf(const VehicleModel& model) {
    if (model.days.empty()) return "";
    return formatUtcDate(model.days.front().date) + " \xE2\x80\x93 " + formatUtcDate(model.days.back().date);
}

std::string unitModelText(const VuIdentification& unit) {
    std::string text = unit.partNumber;
    if (!unit.softwareVersion.empty()) text += (text.empty() ? "Software " : ", Software ") + unit.softwareVersion;
    return text;
}

std::string serialText(const VuSerial& serial) {
    if (serial.serial == 0) return "";
    return std::to_string(serial.serial) + " (" + std::to_string(serial.month) + "/" + std::to_string(serial.year) + ")";
}

}  // namespace ddd::report
