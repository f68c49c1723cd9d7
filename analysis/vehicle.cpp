#include "analysis/vehicle.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <tuple>
#include <unordered_map>

#include "analysis/local_time.h"
#include "core/json_writer.h"
#include "core/primitives.h"

namespace ddd {
namespace {

constexpr std::int64_t kDay = 86400;
constexpr std::uint8_t kOverspeeding = 0x07;
constexpr std::uint8_t kPowerInterruption = 0x08;
// Faster than any lorry or coach drives on average over a stretch: a distance beyond it means the
// readings around the stretch do not belong to it alone.
constexpr std::int64_t kMaxPlausibleKmPerHour = 130;

std::int64_t instantOr(const VuInstant& t, std::int64_t fallback) { return t ? *t : fallback; }

std::int64_t utcDayOf(std::int64_t instant) { return floorDiv(instant, kDay); }

// Whether the activities block that supplied day `index` was read to its end.
bool dayReadWhole(const VuDownload& vu, std::size_t index) {
    for (const VuBlock& block : vu.blocks) {
        if (block.kind == VuBlockKind::Activities && block.dayIndex == index) return block.whole;
    }
    return vu.complete;
}

// Per day the newest copy read whole; a cut-off copy only where no whole one exists.
void mergeDays(VehicleModel& m) {
    struct Choice {
        std::size_t source = 0;
        std::size_t day = 0;
        bool whole = false;
        std::int64_t downloaded = 0;
    };
    std::map<std::int64_t, Choice> chosen;
    for (std::size_t s = 0; s < m.sources.size(); ++s) {
        const VuDownload& vu = m.sources[s].download;
        for (std::size_t d = 0; d < vu.days.size(); ++d) {
            if (vu.days[d].date == 0) continue;
            const Choice candidate{s, d, dayReadWhole(vu, d), vu.vuTime};
            auto [at, inserted] = chosen.emplace(utcDayOf(vu.days[d].date), candidate);
            if (inserted) continue;
            const Choice& best = at->second;
            if (std::tie(candidate.whole, candidate.downloaded) > std::tie(best.whole, best.downloaded)) at->second = candidate;
        }
    }
    m.sourceDays.assign(m.sources.size(), 0);
    for (const auto& [day, choice] : chosen) {
        // Some units store the day as its last second (23:59:59); the day is meant either way.
        m.days.push_back(m.sources[choice.source].download.days[choice.day]);
        m.days.back().date = day * kDay;
        m.daySource.push_back(choice.source);
        ++m.sourceDays[choice.source];
    }
}

void appendJoined(std::vector<VehicleSlotSegment>& out, const VehicleSlotSegment& segment) {
    if (!out.empty()) {
        VehicleSlotSegment& last = out.back();
        if (last.end == segment.begin && last.activity == segment.activity && last.cardInserted == segment.cardInserted) {
            last.end = segment.end;
            return;
        }
    }
    out.push_back(segment);
}

struct OdometerReading {
    std::int64_t time = 0;
    std::uint32_t km = 0;
};

std::vector<OdometerReading> odometerReadings(const std::vector<VuDayBlock>& days) {
    std::vector<OdometerReading> readings;
    const auto add = [&](std::int64_t time, std::uint32_t km) {
        if (!isEmptyTime(time) && !isEmptyOdometer(km)) readings.push_back({time, km});
    };
    for (const VuDayBlock& day : days) {
        add(day.date, day.odometerMidnight);
        for (const VuCardIwRecord& r : day.cardRecords) {
            add(r.insertionTime, r.odometerAtInsertion);
            add(r.withdrawalTime, r.odometerAtWithdrawal);
        }
        for (const VuPlace& p : day.places) {
            if (p.entryTime && p.odometer) add(*p.entryTime, *p.odometer);
        }
    }
    std::stable_sort(readings.begin(), readings.end(), [](const auto& a, const auto& b) { return a.time < b.time; });
    return readings;
}

std::int64_t overlap(std::int64_t b1, std::int64_t e1, std::int64_t b2, std::int64_t e2) {
    return std::max<std::int64_t>(0, std::min(e1, e2) - std::max(b1, b2));
}

// The distance of a stretch from the detailed speed when every one of its minutes is recorded.
std::optional<std::uint32_t> kmFromSpeed(const NoCardStretch& s,
                                         const std::unordered_map<std::uint32_t, const VuSpeedMinute*>& speed) {
    if (speed.empty()) return std::nullopt;
    std::uint64_t kmTimesSeconds = 0;  // km/h × s
    for (std::int64_t t = s.begin; t < s.end; t += 60) {
        const auto at = speed.find(static_cast<std::uint32_t>(t));
        if (at == speed.end()) return std::nullopt;
        for (std::uint8_t v : at->second->speeds) kmTimesSeconds += v;
    }
    return static_cast<std::uint32_t>((kmTimesSeconds + 1800) / 3600);
}

// The distance from the odometer readings just before and after the stretch, when the vehicle
// did nothing but this stretch's driving between them, as far as both slots tell.
std::optional<std::uint32_t> kmFromOdometers(const NoCardStretch& s, const std::vector<OdometerReading>& readings,
                                             const std::vector<VehicleSlotSegment> (&slots)[2]) {
    const auto after = std::lower_bound(readings.begin(), readings.end(), s.end,
                                        [](const OdometerReading& r, std::int64_t t) { return r.time < t; });
    const auto before = std::upper_bound(readings.begin(), readings.end(), s.begin,
                                         [](std::int64_t t, const OdometerReading& r) { return t < r.time; });
    if (after == readings.end() || before == readings.begin()) return std::nullopt;
    const OdometerReading& from = *std::prev(before);
    const OdometerReading& to = *after;
    if (to.km < from.km || std::int64_t{to.km - from.km} * 3600 > kMaxPlausibleKmPerHour * (s.end - s.begin)) return std::nullopt;
    std::int64_t known = 0;
    for (const auto& segment : slots[0]) known += overlap(segment.begin, segment.end, from.time, to.time);
    if (known != to.time - from.time) return std::nullopt;
    for (const auto& slot : slots) {
        for (const auto& segment : slot) {
            if (segment.activity != kActivityDriving) continue;
            const std::int64_t inside = overlap(segment.begin, segment.end, from.time, to.time);
            if (inside != overlap(segment.begin, segment.end, s.begin, s.end)) return std::nullopt;
        }
    }
    return to.km - from.km;
}

void findNoCardDriving(VehicleModel& m) {
    for (std::size_t d = 0; d < m.days.size(); ++d) {
        for (int slot = 0; slot < 2; ++slot) {
            for (const auto& segment : slotSegmentsOfDay(m.days[d], slot)) appendJoined(m.slots[slot], segment);
        }
    }
    std::unordered_map<std::uint32_t, const VuSpeedMinute*> speed;
    for (const auto& source : m.sources) {
        for (const auto& minute : source.download.speed) speed.emplace(minute.begin, &minute);
    }
    const std::vector<OdometerReading> readings = odometerReadings(m.days);
    for (int slot = 0; slot < 2; ++slot) {
        for (const auto& segment : m.slots[slot]) {
            if (segment.activity != kActivityDriving || segment.cardInserted) continue;
            NoCardStretch stretch{slot, segment.begin, segment.end, std::nullopt};
            stretch.km = kmFromSpeed(stretch, speed);
            if (!stretch.km) stretch.km = kmFromOdometers(stretch, readings, m.slots);
            m.noCard.push_back(stretch);
        }
    }
    std::stable_sort(m.noCard.begin(), m.noCard.end(),
                     [](const auto& a, const auto& b) { return std::tie(a.begin, a.slot) < std::tie(b.begin, b.slot); });
}

// Adds `value` unless one of the same identity is there. Identities leave out what the layouts
// of the two generations store differently (a card's generation, the devices of a calibration),
// so that a unit downloaded once in each layout lists each record once.
template <class T, class Identity>
void addUnique(std::vector<T>& list, const T& value, Identity identity) {
    const auto id = identity(value);
    if (std::none_of(list.begin(), list.end(), [&](const T& kept) { return identity(kept) == id; })) list.push_back(value);
}

auto eventIdentity(const VehicleEventRecord& r) { return std::tuple(r.record.type, r.record.purpose, r.record.begin, r.record.end); }
auto adjustmentIdentity(const VuTimeAdjustment& a) { return std::tuple(a.oldTime, a.newTime); }
auto calibrationIdentity(const VuCalibration& c) { return std::tuple(c.purpose, c.oldTime, c.newTime, c.newOdometer); }
auto controlIdentity(const VuControl& c) { return std::tuple(c.type, c.time, c.periodBegin, c.periodEnd); }

void collectEvents(VehicleModel& m) {
    std::map<std::pair<VehicleEventKind, std::uint8_t>, std::vector<VehicleEventRecord>> groups;
    const auto add = [&](VehicleEventKind kind, const VuEventFault& e) {
        if (e.type == kOverspeeding) kind = VehicleEventKind::Overspeed;
        if (e.type == kPowerInterruption) kind = VehicleEventKind::Power;
        addUnique(groups[{kind, e.type}], VehicleEventRecord{e, std::nullopt, std::nullopt}, eventIdentity);
    };
    for (const auto& source : m.sources) {
        const VuDownload& vu = source.download;
        // Overspeeding records first: they carry the speeds an event record of the same
        // overspeeding lacks.
        for (const auto& o : vu.overspeedEvents) {
            VuEventFault e{o.type, o.purpose, o.begin, o.end, o.driverBegin, std::nullopt, std::nullopt, std::nullopt,
                           o.similarEvents};
            addUnique(groups[{VehicleEventKind::Overspeed, o.type}], VehicleEventRecord{e, o.maxSpeed, o.averageSpeed}, eventIdentity);
        }
        for (const auto& e : vu.events) add(VehicleEventKind::Event, e);
        for (const auto& f : vu.faults) add(VehicleEventKind::Fault, f);
        for (const auto& p : vu.powerInterruptions) add(VehicleEventKind::Power, p);
    }
    for (auto& [key, records] : groups) {
        std::stable_sort(records.begin(), records.end(), [](const auto& a, const auto& b) {
            return instantOr(a.record.begin, 0) < instantOr(b.record.begin, 0);
        });
        m.events.push_back({key.second, key.first, std::move(records)});
    }
}

// The newest download first, so that a record a later download updated (a lock since ended)
// is taken from it.
std::vector<const VuDownload*> newestFirst(const std::vector<VehicleSource>& sources) {
    std::vector<const VuDownload*> order;
    for (const auto& s : sources) order.push_back(&s.download);
    std::stable_sort(order.begin(), order.end(), [](const auto* a, const auto* b) { return a->vuTime > b->vuTime; });
    return order;
}

std::string cardKey(const VuCardRef& card) { return card ? std::to_string(card->nation) + card->number : std::string(); }

void collectOverviewAndTechnical(VehicleModel& m) {
    const std::vector<const VuDownload*> order = newestFirst(m.sources);
    std::map<std::tuple<std::int64_t, std::string, std::string>, VuCompanyLock> locks;
    for (const VuDownload* vu : order) {
        const auto& o = vu->overspeedControl;
        if (!m.overspeedControl && o && (o->lastControl || o->firstOverspeedSince || o->overspeedsSince > 0)) m.overspeedControl = o;
        const auto& id = vu->identification;
        if (!m.unit && id && (!id->manufacturerName.empty() || !id->partNumber.empty() || id->serial.serial != 0)) m.unit = id;
        for (const auto& lock : vu->companyLocks) locks.try_emplace({instantOr(lock.lockIn, 0), cardKey(lock.card), lock.companyName}, lock);
        for (const auto& a : vu->timeAdjustments) addUnique(m.timeAdjustments, a, adjustmentIdentity);
        for (const auto& c : vu->calibrations) addUnique(m.calibrations, c, calibrationIdentity);
        for (const auto& c : vu->controls) addUnique(m.controls, c, controlIdentity);
        if (vu->lastDownload && vu->lastDownload->time && *vu->lastDownload->time > m.lastDownload.last.value_or(0)) {
            m.lastDownload = {vu->lastDownload->time, vu->lastDownload->card, vu->lastDownload->companyOrWorkshop};
        }
    }
    // A download in the archive is itself a download of the unit, whoever made it.
    for (const VuDownload* vu : order) {
        if (!isEmptyTime(vu->vuTime) && vu->vuTime > m.lastDownload.last.value_or(0)) m.lastDownload = {vu->vuTime, std::nullopt, ""};
    }
    for (auto& [key, lock] : locks) m.locks.push_back(std::move(lock));
    std::stable_sort(m.timeAdjustments.begin(), m.timeAdjustments.end(),
                     [](const auto& a, const auto& b) { return instantOr(a.newTime, 0) < instantOr(b.newTime, 0); });
    std::stable_sort(m.calibrations.begin(), m.calibrations.end(),
                     [](const auto& a, const auto& b) { return instantOr(a.newTime, 0) < instantOr(b.newTime, 0); });
    std::stable_sort(m.controls.begin(), m.controls.end(),
                     [](const auto& a, const auto& b) { return instantOr(a.time, 0) < instantOr(b.time, 0); });
}

std::optional<std::int64_t> calibrationDueDate(const std::vector<VuCalibration>& calibrations) {
    if (calibrations.empty()) return std::nullopt;
    const VuCalibration& newest = calibrations.back();
    std::optional<std::int64_t> due;
    if (newest.nextCalibration) due = utcDayOf(*newest.nextCalibration) * kDay;
    if (newest.newTime) {
        const std::int64_t latest = addYears(utcDayOf(*newest.newTime) * kDay, kCalibrationYears);
        due = due ? std::min(*due, latest) : latest;
    }
    return due;
}

std::string trimmedName(const VuCardIwRecord& r) {
    if (r.firstNames.empty()) return r.surname;
    if (r.surname.empty()) return r.firstNames;
    return r.firstNames + " " + r.surname;
}

void collectDrivers(VehicleModel& m, const std::vector<DriverCardLink>& cardFiles) {
    std::map<std::pair<std::uint8_t, std::string>, VehicleDriver> drivers;
    std::vector<std::tuple<std::string, std::int64_t, std::uint8_t>> seen;
    for (const VuDayBlock& day : m.days) {
        for (const VuCardIwRecord& r : day.cardRecords) {
            if (r.cardNumber.empty() || isEmptyTime(r.insertionTime)) continue;
            const std::uint8_t nation = r.card ? r.card->nation : 0;
            const auto stay = std::make_tuple(std::to_string(nation) + r.cardNumber, r.insertionTime, r.slot);
            if (std::find(seen.begin(), seen.end(), stay) != seen.end()) continue;
            seen.push_back(stay);
            auto [at, fresh] = drivers.try_emplace({nation, r.cardNumber});
            VehicleDriver& d = at->second;
            if (fresh) {
                d.card = r.card.value_or(VuCard{1, nation, r.cardNumber, std::nullopt});
                d.firstInsertion = d.lastInsertion = r.insertionTime;
            }
            if (d.name.empty()) d.name = trimmedName(r);
            d.firstInsertion = std::min(d.firstInsertion, r.insertionTime);
            d.lastInsertion = std::max(d.lastInsertion, r.insertionTime);
            (r.slot == 0 ? d.driverSlot : d.coDriverSlot) = true;
            ++d.insertions;
        }
    }
    for (auto& [key, driver] : drivers) {
        for (const auto& link : cardFiles) {
            if (link.nation == key.first && link.cardNumber == key.second) {
                driver.cardFile = link.path;
                break;
            }
        }
        m.drivers.push_back(std::move(driver));
    }
    std::stable_sort(m.drivers.begin(), m.drivers.end(),
                     [](const auto& a, const auto& b) { return a.firstInsertion < b.firstInsertion; });
}

void collectHeader(VehicleModel& m) {
    const std::vector<const VuDownload*> order = newestFirst(m.sources);
    for (const VuDownload* vu : order) {
        if (m.vin.empty()) m.vin = vu->vin;
        if (m.plate.empty() && !vu->registrationNumber.empty()) {
            m.plate = vu->registrationNumber;
            m.nation = vu->registrationNation;
        }
        if (!m.generation) m.generation = vu->generation;
    }
    for (const auto& source : m.sources) {
        const std::string name = visibleText(source.fileName());
        for (const auto& problem : source.download.problems) m.problems.push_back(name + ": " + problem);
        if (source.authenticity.status == Authenticity::Invalid && !source.authenticity.sentences.empty()) {
            m.problems.push_back(name + ": " + source.authenticity.sentences.front());
        }
    }
}

}  // namespace

std::string VehicleSource::fileName() const { return std::filesystem::path(path).filename().string(); }

std::vector<VehicleSlotSegment> slotSegmentsOfDay(const VuDayBlock& day, int slot) {
    struct Change {
        int minute;
        std::uint16_t word;
    };
    std::vector<Change> changes;
    for (std::uint16_t word : day.activityChanges) {
        const int minute = word & 0x7FF;
        if ((word >> 15) == slot && minute < 1440) changes.push_back({minute, word});
    }
    std::stable_sort(changes.begin(), changes.end(), [](const auto& a, const auto& b) { return a.minute < b.minute; });
    const std::int64_t midnight = utcDayOf(day.date) * kDay;
    std::vector<VehicleSlotSegment> segments;
    for (std::size_t i = 0; i < changes.size(); ++i) {
        const int end = i + 1 < changes.size() ? changes[i + 1].minute : 1440;
        if (end == changes[i].minute) continue;
        const std::uint16_t word = changes[i].word;
        appendJoined(segments, {midnight + changes[i].minute * 60, midnight + end * 60,
                                static_cast<std::uint8_t>((word >> 11) & 3), (word & 0x2000) == 0});
    }
    return segments;
}

std::int64_t addYears(std::int64_t date, int years) {
    std::int32_t year = 0;
    std::uint32_t month = 0, day = 0;
    civilFromDays(utcDayOf(date), year, month, day);
    year += years;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (month == 2 && day == 29 && !leap) day = 28;
    return daysFromCivil(year, month, day) * kDay;
}

DueDate dueDateState(std::optional<std::int64_t> due, std::int64_t nowUtc, int soonDays) {
    DueDate result;
    result.due = due;
    if (!due) return result;
    result.daysLeft = utcDayOf(*due) - localDayNumber(nowUtc);
    if (result.daysLeft < 0) result.state = DueState::Overdue;
    else if (result.daysLeft <= soonDays) result.state = DueState::Soon;
    else result.state = DueState::Ok;
    return result;
}

DueDate nextDownloadDue(std::optional<std::int64_t> last, int intervalDays, std::int64_t nowUtc, int soonDays) {
    if (!last) return {};
    return dueDateState((localDayNumber(*last) + intervalDays) * kDay, nowUtc, soonDays);
}

std::string vuGenerationName(VuGeneration generation) {
    switch (generation) {
        case VuGeneration::First: return "1. Generation";
        case VuGeneration::Second: return "2. Generation";
        case VuGeneration::SecondV2: return "2. Generation, Version 2";
    }
    return "";
}

VehicleModel buildVehicleModel(std::vector<VehicleSource> sources, const std::vector<DriverCardLink>& cardFiles,
                               std::int64_t nowUtc) {
    VehicleModel m;
    m.sources = std::move(sources);
    collectHeader(m);
    mergeDays(m);
    findNoCardDriving(m);
    collectEvents(m);
    collectOverviewAndTechnical(m);
    m.calibrationDue = dueDateState(calibrationDueDate(m.calibrations), nowUtc);
    m.downloadDue = nextDownloadDue(m.lastDownload.last, kDownloadIntervalDays, nowUtc);
    collectDrivers(m, cardFiles);
    return m;
}

}  // namespace ddd
