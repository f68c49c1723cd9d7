// Matching, ordering and the JSON answers of finder searches and pick-lists.
#include <algorithm>
#include <map>

#include "core/json_writer.h"
#include "finder/finder_query.h"
#include "finder/query_lookup.h"

namespace ddd::finder {
namespace {

// The query's criteria in the form the sessions are compared in; empty ones are not applied.
struct Criteria {
    std::string plate;
    std::string name;
    std::string vin;
    bool timed = false;
    std::int64_t windowStart = 0;
    std::int64_t windowEnd = 0;

    explicit Criteria(const FinderQuery& q)
        : plate(normalisedPlate(q.plate)), name(asciiLower(q.name)), vin(asciiLower(q.vin)), timed(q.timed),
          windowStart(q.windowStart), windowEnd(q.windowEnd) {}

    bool namesVehicle() const { return !plate.empty() || !vin.empty(); }

    bool vehicleMatches(const std::string& normalPlate, const std::string& normalVin, const std::string& lowerVin) const {
        if (!plate.empty() && normalPlate.find(plate) == std::string::npos && normalVin.find(plate) == std::string::npos) {
            return false;
        }
        return vin.empty() || lowerVin.find(vin) != std::string::npos;
    }
    bool nameMatches(const std::string& lowerName) const { return name.empty() || lowerName.find(name) != std::string::npos; }
    bool timeMatches(const FinderSession& s) const {
        return !timed || (s.start < windowEnd && effectiveEnd(s) > windowStart);
    }
    bool timeExact(const FinderSession& s) const {
        return timed && s.start <= windowStart && windowStart < effectiveEnd(s);
    }
};

struct Hit {
    std::uint32_t session = 0;
    bool timeExact = false;
};

std::vector<Hit> hitsByFullPass(const std::vector<FinderSession>& sessions, const Criteria& c) {
    std::vector<Hit> hits;
    for (std::uint32_t i = 0; i < sessions.size(); ++i) {
        const FinderSession& s = sessions[i];
        if (!c.timeMatches(s)) continue;
        if (c.namesVehicle() && !c.vehicleMatches(normalisedPlate(s.plate), normalisedPlate(s.vin), asciiLower(s.vin))) continue;
        if (!c.name.empty() && !c.nameMatches(asciiLower(displayName(s)))) continue;
        hits.push_back({i, c.timeExact(s)});
    }
    return hits;
}

std::vector<Hit> hitsByLookup(const std::vector<FinderSession>& sessions, const QueryLookup& lookup, const Criteria& c) {
    std::vector<char> vehicleOk(lookup.vehicles.size(), 1);
    std::vector<std::uint32_t> byVehicle;
    if (c.namesVehicle()) {
        for (std::size_t v = 0; v < lookup.vehicles.size(); ++v) {
            const auto& vehicle = lookup.vehicles[v];
            vehicleOk[v] = c.vehicleMatches(vehicle.plate, vehicle.vinUpper, vehicle.vinLower);
            if (vehicleOk[v]) byVehicle.insert(byVehicle.end(), vehicle.sessions.begin(), vehicle.sessions.end());
        }
    }
    std::vector<char> driverOk(lookup.drivers.size(), 1);
    std::vector<std::uint32_t> byDriver;
    if (!c.name.empty()) {
        for (std::size_t d = 0; d < lookup.drivers.size(); ++d) {
            driverOk[d] = c.nameMatches(lookup.drivers[d].nameLower);
            if (driverOk[d]) byDriver.insert(byDriver.end(), lookup.drivers[d].sessions.begin(), lookup.drivers[d].sessions.end());
        }
    }

    std::vector<Hit> hits;
    auto consider = [&](std::uint32_t i) {
        const FinderSession& s = sessions[i];
        if (vehicleOk[lookup.vehicleOf[i]] && driverOk[lookup.driverOf[i]] && c.timeMatches(s)) hits.push_back({i, c.timeExact(s)});
    };
    if (c.namesVehicle() && (c.name.empty() || byVehicle.size() <= byDriver.size())) {
        for (std::uint32_t i : byVehicle) consider(i);
    } else if (!c.name.empty()) {
        for (std::uint32_t i : byDriver) consider(i);
    } else if (c.timed) {
        // Only sessions starting before the window's end can overlap it; of those, whole
        // blocks whose latest end lies before the window's start are passed over.
        const std::size_t candidates =
            static_cast<std::size_t>(std::lower_bound(lookup.startOf.begin(), lookup.startOf.end(), c.windowEnd) - lookup.startOf.begin());
        for (std::size_t first = 0; first < candidates; first += QueryLookup::kBlock) {
            if (lookup.blockMaxEnd[first / QueryLookup::kBlock] <= c.windowStart) continue;
            const std::size_t last = std::min(first + QueryLookup::kBlock, candidates);
            for (std::size_t k = first; k < last; ++k) consider(lookup.byStart[k]);
        }
    } else {
        for (std::uint32_t i = 0; i < sessions.size(); ++i) consider(i);
    }
    return hits;
}

// Best first: sessions covering the window's first instant, then by start, end, vehicle, card,
// slot and file; the index order settles the rest, which makes the order stable.
bool before(const std::vector<FinderSession>& sessions, const Hit& a, const Hit& b) {
    if (a.timeExact != b.timeExact) return a.timeExact;
    const FinderSession& x = sessions[a.session];
    const FinderSession& y = sessions[b.session];
    if (x.start != y.start) return x.start < y.start;
    if (x.end != y.end) return x.end < y.end;
    if (int c = x.plate.compare(y.plate)) return c < 0;
    if (int c = x.vin.compare(y.vin)) return c < 0;
    if (int c = x.card.compare(y.card)) return c < 0;
    if (x.slot != y.slot) return x.slot < y.slot;
    if (int c = x.file.compare(y.file)) return c < 0;
    return a.session < b.session;
}

std::vector<Hit> hits(const DriverIndex& index, const FinderQuery& q) {
    if (!q.error.empty()) return {};
    const Criteria criteria(q);
    const QueryLookup* lookup = index.lookup();
    return lookup ? hitsByLookup(index.sessions, *lookup, criteria) : hitsByFullPass(index.sessions, criteria);
}

std::vector<FinderMatch> toMatches(const DriverIndex& index, const std::vector<Hit>& hits, std::size_t count) {
    std::vector<FinderMatch> out;
    out.reserve(count);
    for (std::size_t k = 0; k < count; ++k) out.push_back({index.sessions[hits[k].session], hits[k].timeExact});
    return out;
}

std::string errorJson(const std::string& message) {
    JsonWriter w;
    w.beginObject().field("ok", false).field("error", message).endObject();
    return w.take();
}

}  // namespace

std::int64_t shownOdometer(const FinderSession& session) {
    return session.odometerStart >= 1 ? session.odometerStart : session.odometerEnd;
}

std::vector<FinderMatch> query(const DriverIndex& index, const FinderQuery& q) {
    std::vector<Hit> found = hits(index, q);
    std::sort(found.begin(), found.end(), [&](const Hit& a, const Hit& b) { return before(index.sessions, a, b); });
    return toMatches(index, found, found.size());
}

std::vector<FinderMatch> queryByFullPass(const DriverIndex& index, const FinderQuery& q) {
    if (!q.error.empty()) return {};
    std::vector<Hit> found = hitsByFullPass(index.sessions, Criteria(q));
    std::sort(found.begin(), found.end(), [&](const Hit& a, const Hit& b) { return before(index.sessions, a, b); });
    return toMatches(index, found, found.size());
}

std::vector<FinderMatch> firstMatches(const DriverIndex& index, const FinderQuery& q, std::size_t& count) {
    std::vector<Hit> found = hits(index, q);
    count = found.size();
    const std::size_t shown = std::min<std::size_t>(q.limit, found.size());
    std::partial_sort(found.begin(), found.begin() + static_cast<std::ptrdiff_t>(shown), found.end(),
                      [&](const Hit& a, const Hit& b) { return before(index.sessions, a, b); });
    return toMatches(index, found, shown);
}

std::string queryJson(const DriverIndex& index, std::string_view queryText) {
    const FinderQuery q = parseFinderQuery(queryText);
    if (!q.error.empty()) return errorJson(q.error);
    std::size_t count = 0;
    const std::vector<FinderMatch> shown = firstMatches(index, q, count);
    JsonWriter w;
    w.beginObject().field("count", static_cast<std::int64_t>(count)).field("shown", static_cast<std::int64_t>(shown.size()));
    w.key("matches").beginArray();
    for (const FinderMatch& m : shown) {
        const FinderSession& s = m.session;
        w.beginObject().field("driver", displayName(s)).field("slot", std::int64_t{s.slot});
        w.field("source", std::string_view(&s.source, 1)).field("plate", s.plate).field("vin", s.vin);
        w.field("start", s.start).field("end", s.end).field("km", shownOdometer(s));
        w.field("card", s.card).field("file", visibleText(s.file)).field("timeExact", m.timeExact).endObject();
    }
    w.endArray().key("activity").raw("null").endObject();
    return w.take();
}

std::string optionsJson(const DriverIndex& index) {
    std::map<std::string, std::string> drivers;
    std::map<std::string, std::string> vehicles;
    // Keeps the byte-wise smallest non-empty value seen for a key.
    auto keep = [](std::map<std::string, std::string>& map, const std::string& key, std::string value) {
        auto [slot, inserted] = map.try_emplace(key, value);
        if (!inserted && !value.empty() && (slot->second.empty() || value < slot->second)) slot->second = std::move(value);
    };
    for (const FinderSession& s : index.sessions) {
        if (!s.card.empty()) keep(drivers, s.card, displayName(s));
        const std::string& vehicle = s.plate.empty() ? s.vin : s.plate;
        if (!vehicle.empty()) keep(vehicles, vehicle, s.vin);
    }
    JsonWriter w;
    w.beginObject().key("drivers").beginArray();
    for (const auto& [card, name] : drivers) w.beginObject().field("name", name).field("card", card).endObject();
    w.endArray().key("vehicles").beginArray();
    for (const auto& [plate, vin] : vehicles) w.beginObject().field("plate", plate).field("vin", vin).endObject();
    w.endArray().endObject();
    return w.take();
}

}  // namespace ddd::finder
