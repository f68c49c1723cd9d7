// Card ingestion with its de-duplication over several downloads of the same card, statistics,
// and the index's lookup for queries.
#include <cstdio>
#include <unordered_set>

#include "finder/query_lookup.h"

namespace ddd::finder {
namespace {

std::string cardSessionKey(const FinderSession& s) {
    std::string key = s.card;
    key.push_back('\0');
    key += s.plate;
    key.push_back('\0');
    key += std::to_string(s.start);
    return key;
}

// Whether a session from another download of the same card stay should take the stored one's place.
bool replaces(const FinderSession& fresh, const FinderSession& stored) {
    if (fresh.end == 0) return false;
    if (stored.end == 0) return true;
    if (fresh.end != stored.end) return fresh.end > stored.end;
    return fresh.odometerStart == stored.odometerStart && fresh.odometerEnd == stored.odometerEnd &&
           fresh.plateNation == stored.plateNation && fresh.slot == stored.slot && fresh.file < stored.file;
}

}  // namespace

std::string displayName(const FinderSession& session) {
    if (session.firstNames.empty()) return session.surname;
    if (session.surname.empty()) return session.firstNames;
    return session.firstNames + " " + session.surname;
}

std::size_t DriverIndex::StayKeyHash::operator()(const StayKey& key) const noexcept {
    const auto& [card, vin, start, end] = key;
    std::size_t hash = std::hash<std::string>()(card);
    for (const std::size_t part : {std::hash<std::string>()(vin), std::hash<std::int64_t>()(start), std::hash<std::int64_t>()(end)}) {
        hash ^= part + 0x9e3779b97f4a7c15 + (hash << 6) + (hash >> 2);
    }
    return hash;
}

void DriverIndex::addCardSession(FinderSession session) {
    auto [slot, inserted] = cardSessionByKey_.try_emplace(cardSessionKey(session), sessions.size());
    if (inserted) {
        sessions.push_back(std::move(session));
    } else if (replaces(session, sessions[slot->second])) {
        sessions[slot->second] = std::move(session);
    }
}

void DriverIndex::clear() {
    sessions.clear();
    filesIndexed = 0;
    filesUnreadable = 0;
    filesUnrecognised = 0;
    skipped.clear();
    cardSessionByKey_.clear();
    pendingVehicles_.clear();
    seenStays_.clear();
    buildLookup();
}

void DriverIndex::buildLookup() { lookup_ = std::make_shared<const QueryLookup>(buildQueryLookup(sessions)); }

const QueryLookup* DriverIndex::lookup() const {
    return lookup_ && lookup_->sessionCount == sessions.size() ? lookup_.get() : nullptr;
}

FinderStats stats(const DriverIndex& index) {
    FinderStats out;
    out.files = static_cast<long>(index.filesIndexed);
    out.sessions = static_cast<long>(index.sessions.size());
    std::unordered_set<std::string_view> drivers;
    std::unordered_set<std::string_view> vehicles;
    for (const FinderSession& s : index.sessions) {
        if (!s.card.empty()) drivers.insert(s.card);
        const std::string& vehicle = s.plate.empty() ? s.vin : s.plate;
        if (!vehicle.empty()) vehicles.insert(vehicle);
        if (s.start >= 1 && (out.earliest == 0 || s.start < out.earliest)) out.earliest = s.start;
        const std::int64_t last = s.end == 0 ? s.start : s.end;
        if (last > out.latest) out.latest = last;
    }
    out.drivers = static_cast<long>(drivers.size());
    out.vehicles = static_cast<long>(vehicles.size());
    return out;
}

std::string statsJson(const DriverIndex& index) {
    const FinderStats s = stats(index);
    char buffer[256];
    std::snprintf(buffer, sizeof buffer,
                  "{\"files\":%ld,\"sessions\":%ld,\"drivers\":%ld,\"vehicles\":%ld,\"earliest\":%lld,\"latest\":%lld}",
                  s.files, s.sessions, s.drivers, s.vehicles, s.earliest, s.latest);
    std::string json = buffer;
    json.pop_back();
    return json + ",\"skipped\":" + skippedFilesJson(index.skipped) + "}";
}

}  // namespace ddd::finder
