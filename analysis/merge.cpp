// Merge of several downloads of one driver's card. Every choice is made by comparing content,
// never by the position of a download in the list, so the same downloads in any order (or one
// download given twice) give the same history.
#include "analysis/merge.h"

#include <algorithm>
#include <map>
#include <tuple>

#include "core/primitives.h"

namespace ddd {
namespace {

void putU64(std::string& out, std::uint64_t v) {
    for (int shift = 56; shift >= 0; shift -= 8) out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

void putText(std::string& out, const std::string& text) {
    putU64(out, text.size());
    out += text;
}

void putRecord(std::string& out, const DailyActivityRecord& r) {
    putU64(out, static_cast<std::uint64_t>(r.date));
    putU64(out, r.presenceCounter);
    out.push_back(r.hasPresenceCounter ? 1 : 0);
    putU64(out, r.distanceKm);
    putU64(out, r.changes.size());
    for (std::uint16_t w : r.changes) {
        out.push_back(static_cast<char>(w >> 8));
        out.push_back(static_cast<char>(w & 0xFF));
    }
}

void putIdentification(std::string& out, const CardIdentification* id) {
    if (id == nullptr) {
        out.push_back(0);
        return;
    }
    out.push_back(1);
    out.push_back(static_cast<char>(id->issuingNation));
    out.append(id->cardNumber.begin(), id->cardNumber.end());
    putText(out, id->issuingAuthority.text);
    putU64(out, static_cast<std::uint64_t>(id->issueDate));
    putU64(out, static_cast<std::uint64_t>(id->validityBegin));
    putU64(out, static_cast<std::uint64_t>(id->expiryDate));
    putText(out, id->surname.text);
    putText(out, id->firstNames.text);
    putU64(out, id->birthDate.year * 10000ull + id->birthDate.month * 100ull + id->birthDate.day);
    putText(out, id->preferredLanguage);
}

void putActivity(std::string& out, const std::optional<CardApplicationData>& part) {
    if (!part || !part->driverActivity) {
        out.push_back(0);
        return;
    }
    out.push_back(1);
    putU64(out, part->driverActivity->days.size());
    for (const auto& r : part->driverActivity->days) putRecord(out, r);
}

// The identification a download speaks for: the second generation's when it has one.
const CardIdentification* downloadIdentification(const DriverCardFile& file) {
    if (file.gen2 && file.gen2->identification) return &*file.gen2->identification;
    if (file.gen1 && file.gen1->identification) return &*file.gen1->identification;
    return nullptr;
}

struct Download {
    const DriverCardFile* file = nullptr;
    std::int64_t latestDay = 0;
    std::string contentKey;
};

// The card's own record of when it was downloaded: the second generation's when valid.
std::int64_t downloadInstantOf(const DriverCardFile& file) {
    for (const auto* part : {&file.gen2, &file.gen1}) {
        if (*part && (*part)->lastCardDownload && !isEmptyTime(*(*part)->lastCardDownload)) {
            return *(*part)->lastCardDownload;
        }
    }
    return 0;
}

// Whether the card was still in a vehicle when it was downloaded: its newest vehicle record is
// still open, or its current session has no vehicle record closed after it began.
bool usedInAVehicleWhenDownloaded(const DriverCardFile& file) {
    for (const auto* part : {&file.gen2, &file.gen1}) {
        if (!*part || !(*part)->vehiclesUsed) continue;
        const auto& vehicles = (*part)->vehiclesUsed->chronological;
        if (!vehicles.empty() && isEmptyTime(vehicles.back().lastUse)) return true;
        const auto& usage = (*part)->currentUsage;
        if (!usage || isEmptyTime(usage->sessionOpenTime)) continue;
        const bool sessionClosed = std::any_of(vehicles.begin(), vehicles.end(), [&](const CardVehicleRecord& v) {
            return !isEmptyTime(v.lastUse) && v.lastUse >= usage->sessionOpenTime;
        });
        if (!sessionClosed) return true;
    }
    return false;
}

std::int64_t latestRecordDate(const DriverCardFile& file) {
    std::int64_t latest = 0;
    bool any = false;
    for (const auto* part : {&file.gen1, &file.gen2}) {
        if (!*part || !(*part)->driverActivity) continue;
        for (const auto& r : (*part)->driverActivity->days) {
            latest = any ? std::max(latest, r.date) : r.date;
            any = true;
        }
    }
    return latest;
}

struct ActivitySource {
    const std::vector<DailyActivityRecord>* records = nullptr;
    std::int64_t latestDay = 0;
    std::int64_t downloadInstant = 0;  // the card's own record of this download, 0 when unknown
    bool inVehicle = false;            // the card was still in a vehicle when downloaded
    std::uint32_t firstGeneration = 0;
    const std::string* contentKey = nullptr;
    SourceIdentity identity;
};

SourceIdentity identityOf(const CardApplicationData& part, const CardIdentification* fallback, bool gen1) {
    const CardIdentification* id = part.identification ? &*part.identification : fallback;
    SourceIdentity identity;
    identity.generation = gen1 ? 1 : 2;
    if (id != nullptr) {
        identity.nation = id->issuingNation;
        identity.cardNumber.assign(id->cardNumber.begin(), id->cardNumber.end());
    }
    return identity;
}

struct Candidate {
    std::int64_t day = 0;
    const ActivitySource* source = nullptr;
    const DailyActivityRecord* record = nullptr;
};

// Content comparison that settles ties the ranking leaves open (two different records of one
// day inside one download), so that even then the list order decides nothing.
bool smallerContent(const Candidate& a, const Candidate& b) { return recordKey(*a.record) < recordKey(*b.record); }

// The instant a candidate's data ends at, 0 when the record holds the whole day. Only the
// download's newest day can end early: at the moment of downloading when that lies within the
// day after its last change; and when the card was still in use (its last change has the card
// inserted, or it was still in a vehicle) at the latest instant the download proves, which is
// the last change itself when the card's own download record is older.
std::int64_t dataEndOf(const Candidate& c) {
    if (c.day != dayKey(c.source->latestDay)) return 0;
    const std::int64_t instant = c.source->downloadInstant;
    if (instant >= c.day + 86400) return 0;
    std::int64_t lastChange = c.day;
    bool lastChangeInserted = false;
    for (std::uint16_t w : c.record->changes) {
        const std::int64_t at = c.day + changeMinute(w) * 60;
        if (changeMinute(w) >= 1440 || at < lastChange) continue;
        lastChange = at;
        lastChangeInserted = !changeCardAbsent(w);
    }
    if (instant >= c.day && instant > lastChange) return instant;
    return lastChangeInserted || c.source->inVehicle ? lastChange : 0;
}

bool betterWithinIdentity(const Candidate& a, const Candidate& b) {
    if (a.record->changes.size() != b.record->changes.size()) return a.record->changes.size() > b.record->changes.size();
    if (a.source->latestDay != b.source->latestDay) return a.source->latestDay > b.source->latestDay;
    if (*a.source->contentKey != *b.source->contentKey) return *a.source->contentKey < *b.source->contentKey;
    return smallerContent(a, b);
}

bool betterAcrossIdentities(const Candidate& a, const Candidate& b) {
    if (a.record->changes.size() != b.record->changes.size()) return a.record->changes.size() > b.record->changes.size();
    if (a.source->latestDay != b.source->latestDay) return a.source->latestDay > b.source->latestDay;
    const auto ka = std::tie(a.source->firstGeneration, a.source->identity, *a.source->contentKey);
    const auto kb = std::tie(b.source->firstGeneration, b.source->identity, *b.source->contentKey);
    if (ka != kb) return ka > kb;
    return smallerContent(a, b);
}

// A variant's data ends early only when every download holding it ends early.
std::int64_t variantDataEnd(const DailyActivityRecord& record, std::span<const Candidate> candidates) {
    std::int64_t end = 0;
    for (const auto& c : candidates) {
        if (!sameRecord(record, *c.record)) continue;
        const std::int64_t candidateEnd = dataEndOf(c);
        if (candidateEnd == 0) return 0;
        end = std::max(end, candidateEnd);
    }
    return end;
}

DayConflict collectVariants(std::int64_t day, std::span<const Candidate> candidates) {
    DayConflict variants{day, {}};
    for (const auto& c : candidates) {
        auto it = std::find_if(variants.variants.begin(), variants.variants.end(),
                               [&](const DayVariant& v) { return sameRecord(v.record, *c.record); });
        if (it == variants.variants.end()) {
            variants.variants.push_back(DayVariant{*c.record, {}});
            it = variants.variants.end() - 1;
        }
        if (std::find(it->holders.begin(), it->holders.end(), c.source->identity) == it->holders.end()) {
            it->holders.push_back(c.source->identity);
        }
    }
    for (auto& v : variants.variants) v.dataEnd = variantDataEnd(v.record, candidates);
    for (auto& v : variants.variants) std::sort(v.holders.begin(), v.holders.end());
    std::sort(variants.variants.begin(), variants.variants.end(),
              [](const DayVariant& a, const DayVariant& b) { return recordKey(a.record) < recordKey(b.record); });
    return variants;
}

void selectDays(const std::vector<ActivitySource>& sources, MergedCardView& view) {
    std::vector<Candidate> candidates;
    for (const auto& source : sources) {
        for (const auto& record : *source.records) candidates.push_back({dayKey(record.date), &source, &record});
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Candidate& a, const Candidate& b) { return a.day < b.day; });
    for (std::size_t begin = 0; begin < candidates.size();) {
        std::size_t end = begin;
        while (end < candidates.size() && candidates[end].day == candidates[begin].day) ++end;
        const std::span<const Candidate> group(candidates.data() + begin, end - begin);

        std::map<SourceIdentity, Candidate> bestPerIdentity;
        for (const auto& c : group) {
            auto [it, inserted] = bestPerIdentity.try_emplace(c.source->identity, c);
            if (!inserted && betterWithinIdentity(c, it->second)) it->second = c;
        }
        const Candidate* winner = nullptr;
        for (const auto& [identity, c] : bestPerIdentity) {
            if (winner == nullptr || betterAcrossIdentities(c, *winner)) winner = &c;
        }
        view.days.push_back(ChosenDay{group.front().day, *winner->record, variantDataEnd(*winner->record, group)});

        DayConflict variants = collectVariants(group.front().day, group);
        if (variants.variants.size() > 1) view.dayConflicts.push_back(std::move(variants));
        begin = end;
    }
}

// The cyclic records of all parts, gathered by address: every download repeats most of them, so
// they are sorted and thinned out before anything is copied.
struct CyclicRecords {
    std::vector<const CardVehicleRecord*> vehiclesUsed;
    std::vector<const PlaceRecord*> places;
    std::vector<const EventFaultRecord*> events;
    std::vector<const ControlActivity*> controls;
    std::vector<const SpecificConditionRecord*> specificConditions;
    std::vector<const BorderCrossingRecord*> borderCrossings;
    std::vector<const LoadUnloadRecord*> loadOperations;
    std::vector<const std::string*> recordDiagnostics;
    bool hasSecondVersion = false;

    void add(const CardApplicationData& part) {
        if (part.borderCrossings) addAll(borderCrossings, *part.borderCrossings);
        if (part.loadUnloadOperations) addAll(loadOperations, *part.loadUnloadOperations);
        addAll(recordDiagnostics, part.recordDiagnostics);
        hasSecondVersion = hasSecondVersion || part.borderCrossings.has_value();
        if (part.vehiclesUsed) addAll(vehiclesUsed, part.vehiclesUsed->chronological);
        if (part.places) addAll(places, *part.places);
        if (part.events) addAll(events, *part.events);
        if (part.faults) addAll(events, *part.faults);
        if (part.controlActivity && !isEmptyTime(part.controlActivity->controlTime)) {
            controls.push_back(&*part.controlActivity);
        }
        if (part.specificConditions) addAll(specificConditions, *part.specificConditions);
    }

private:
    template <typename Record>
    static void addAll(std::vector<const Record*>& to, const std::vector<Record>& records) {
        for (const Record& r : records) to.push_back(&r);
    }
};

// Sorts by `key`, and of records with the same key keeps the one ordered first by `richer` (a
// second-generation copy of a record carries fields the first-generation copy lacks).
template <typename Record, typename Key, typename Richer>
std::vector<Record> sortedUnique(std::vector<const Record*> records, Key key, Richer richer) {
    std::sort(records.begin(), records.end(), [&](const Record* a, const Record* b) {
        if (key(*a) != key(*b)) return key(*a) < key(*b);
        return richer(*a) > richer(*b);
    });
    std::vector<Record> unique;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (i == 0 || key(*records[i]) != key(*records[i - 1])) unique.push_back(*records[i]);
    }
    return unique;
}

// A use still open in a download taken in the vehicle is the same use that a later download holds
// closed: the closed record stands for it.
void dropUsesClosedLater(std::vector<CardVehicleRecord>& uses) {
    const std::vector<CardVehicleRecord> all = uses;
    std::erase_if(uses, [&](const CardVehicleRecord& open) {
        if (!isEmptyTime(open.lastUse)) return false;
        return std::any_of(all.begin(), all.end(), [&](const CardVehicleRecord& v) {
            return !isEmptyTime(v.lastUse) && v.firstUse == open.firstUse && v.odometerBegin == open.odometerBegin &&
                   v.registration.nation == open.registration.nation && v.registration.number == open.registration.number;
        });
    });
}

void sortCyclicLists(CyclicRecords cyclic, MergedCardView& view) {
    view.vehiclesUsed = sortedUnique(
        std::move(cyclic.vehiclesUsed),
        [](const CardVehicleRecord& v) {
            return std::tie(v.firstUse, v.lastUse, v.odometerBegin, v.odometerEnd, v.registration.nation,
                            v.registration.number);
        },
        [](const CardVehicleRecord& v) { return std::tie(v.hasVuDataBlockCounter, v.vuDataBlockCounter, v.vin); });
    dropUsesClosedLater(view.vehiclesUsed);
    view.places = sortedUnique(
        std::move(cyclic.places),
        [](const PlaceRecord& p) { return std::tie(p.entryTime, p.entryType, p.country, p.region, p.odometer); },
        [](const PlaceRecord& p) {
            return std::tie(p.hasGnss, p.gnssTime, p.gnssAccuracy, p.latitude, p.longitude);
        });
    view.events = sortedUnique(
        std::move(cyclic.events),
        [](const EventFaultRecord& e) { return std::tie(e.begin, e.end, e.type, e.vehicle.nation, e.vehicle.number); },
        [](const EventFaultRecord&) { return 0; });
    view.controls = sortedUnique(
        std::move(cyclic.controls),
        [](const ControlActivity& c) {
            return std::tie(c.controlTime, c.controlType, c.controlCardType, c.controlCardNation, c.controlCardNumber,
                            c.controlVehicle.nation, c.controlVehicle.number, c.downloadPeriodBegin,
                            c.downloadPeriodEnd);
        },
        [](const ControlActivity&) { return 0; });
    view.specificConditions = sortedUnique(
        std::move(cyclic.specificConditions),
        [](const SpecificConditionRecord& s) { return std::tie(s.entryTime, s.conditionType); },
        [](const SpecificConditionRecord&) { return 0; });
    const auto position = [](const GnssPosition& p) {
        return std::tie(p.time, p.accuracy, p.latitude, p.longitude, p.authenticationStatus);
    };
    view.borderCrossings = sortedUnique(
        std::move(cyclic.borderCrossings),
        [&](const BorderCrossingRecord& b) {
            return std::tuple_cat(position(b.position), std::tie(b.countryLeft, b.countryEntered, b.odometer));
        },
        [](const BorderCrossingRecord&) { return 0; });
    view.loadOperations = sortedUnique(
        std::move(cyclic.loadOperations),
        [&](const LoadUnloadRecord& l) { return std::tuple_cat(std::tie(l.time, l.operation), position(l.position), std::tie(l.odometer)); },
        [](const LoadUnloadRecord&) { return 0; });
    view.recordDiagnostics = sortedUnique(
        std::move(cyclic.recordDiagnostics), [](const std::string& text) -> const std::string& { return text; },
        [](const std::string&) { return 0; });
    view.hasSecondVersion = cyclic.hasSecondVersion;
}

// Renewed or replaced cards of one driver share the nation and the first 14 characters.
std::string driverKey(const CardIdentification& id) {
    std::string key(1, static_cast<char>(id.issuingNation));
    key.append(id.cardNumber.begin(), id.cardNumber.begin() + 14);
    return key;
}

void warnAboutSeveralDrivers(const std::vector<Download>& downloads, MergedCardView& view) {
    std::map<std::string, std::string> drivers;
    for (const auto& d : downloads) {
        if (const CardIdentification* id = downloadIdentification(*d.file)) {
            drivers.emplace(driverKey(*id), std::to_string(id->issuingNation) + "/" + cardNumberText(id->cardNumber));
        }
    }
    if (drivers.size() < 2) return;
    std::string text = "downloads of " + std::to_string(drivers.size()) + " different drivers were merged:";
    const char* separator = " ";
    for (const auto& [key, name] : drivers) {
        text += separator + name;
        separator = ", ";
    }
    view.warnings.push_back(text);
}

}  // namespace

std::int64_t dayKey(std::int64_t recordDate) {
    std::int64_t remainder = recordDate % 86400;
    if (remainder < 0) remainder += 86400;
    const std::int64_t midnight = recordDate - remainder;
    return remainder < 43200 ? midnight : midnight + 86400;
}

bool sameRecord(const DailyActivityRecord& a, const DailyActivityRecord& b) {
    return a.date == b.date && a.presenceCounter == b.presenceCounter &&
           a.hasPresenceCounter == b.hasPresenceCounter && a.distanceKm == b.distanceKm && a.changes == b.changes;
}

std::string recordKey(const DailyActivityRecord& record) {
    std::string key;
    key.reserve(41 + 2 * record.changes.size());
    putRecord(key, record);
    return key;
}

MergedCardView mergeDownloads(CardList cards) {
    MergedCardView view;
    std::vector<Download> downloads;
    for (const DriverCardFile* file : cards) {
        if (file == nullptr) continue;
        Download d{file, latestRecordDate(*file), {}};
        putIdentification(d.contentKey, downloadIdentification(*file));
        putActivity(d.contentKey, file->gen1);
        putActivity(d.contentKey, file->gen2);
        downloads.push_back(std::move(d));
    }
    view.downloadsMerged = static_cast<std::uint32_t>(downloads.size());
    std::stable_sort(downloads.begin(), downloads.end(), [](const Download& a, const Download& b) {
        return std::tie(a.latestDay, a.contentKey) < std::tie(b.latestDay, b.contentKey);
    });

    // A download without identification never replaces one that has it: the name of the driver
    // must not disappear because the newest file lacks the identification file.
    const Download* newest = nullptr;
    for (const auto& d : downloads) {
        if (downloadIdentification(*d.file) == nullptr) continue;
        if (newest == nullptr || d.latestDay > newest->latestDay ||
            (d.latestDay == newest->latestDay && d.contentKey < newest->contentKey)) {
            newest = &d;
        }
    }
    if (newest != nullptr) view.identification = *downloadIdentification(*newest->file);
    warnAboutSeveralDrivers(downloads, view);

    std::vector<ActivitySource> sources;
    CyclicRecords cyclic;
    for (const auto& d : downloads) {
        const CardIdentification* fallback = downloadIdentification(*d.file);
        for (const bool gen1 : {true, false}) {
            const auto& part = gen1 ? d.file->gen1 : d.file->gen2;
            if (!part) continue;
            cyclic.add(*part);
            if (!part->driverActivity) continue;
            sources.push_back(ActivitySource{&part->driverActivity->days, d.latestDay, downloadInstantOf(*d.file),
                                             usedInAVehicleWhenDownloaded(*d.file), gen1 ? 1u : 0u, &d.contentKey,
                                             identityOf(*part, fallback, gen1)});
        }
    }
    selectDays(sources, view);
    sortCyclicLists(std::move(cyclic), view);
    view.chosenDaysTimeline = buildChosenDaysTimeline(view.days, view.dayConflicts);
    for (auto& text : describeRecordFaults(view.days)) view.warnings.push_back(std::move(text));
    return view;
}

}  // namespace ddd
