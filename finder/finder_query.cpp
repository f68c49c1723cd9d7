// Matching, ordering and the JSON answers of finder searches and pick-lists.
#include <algorithm>
#include <map>
#include <unordered_map>

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

// Best first: trips covering the window's first instant, then by start, end, vehicle, card,
// slot and file; the index order settles the rest, which makes the order stable.
bool before(const FinderMatch& x, const FinderMatch& y, std::uint32_t xOrder, std::uint32_t yOrder) {
    if (x.timeExact != y.timeExact) return x.timeExact;
    const FinderSession& a = x.session;
    const FinderSession& b = y.session;
    if (a.start != b.start) return a.start < b.start;
    if (a.end != b.end) return a.end < b.end;
    if (int c = a.plate.compare(b.plate)) return c < 0;
    if (int c = a.vin.compare(b.vin)) return c < 0;
    if (int c = a.card.compare(b.card)) return c < 0;
    if (a.slot != b.slot) return a.slot < b.slot;
    if (int c = a.file.compare(b.file)) return c < 0;
    return xOrder < yOrder;
}

std::vector<Hit> hits(const DriverIndex& index, const FinderQuery& q) {
    if (!q.error.empty()) return {};
    const Criteria criteria(q);
    const QueryLookup* lookup = index.lookup();
    return lookup ? hitsByLookup(index.sessions, *lookup, criteria) : hitsByFullPass(index.sessions, criteria);
}

bool sameVehicle(const FinderSession& a, const FinderSession& b) {
    if (!a.vin.empty() && !b.vin.empty()) return a.vin == b.vin;
    const std::string plate = normalisedPlate(a.plate);
    return !plate.empty() && plate == normalisedPlate(b.plate);
}

// A card's record of a vehicle spans every stay of the card in that vehicle that day; a vehicle
// unit's stay lies within it, give or take the minute the two clocks may differ by.
bool withinCardRecord(const FinderSession& card, const FinderSession& unit) {
    constexpr std::int64_t kClockTolerance = 120;
    if (card.card != unit.card || !sameVehicle(card, unit) || unit.start + kClockTolerance < card.start) return false;
    if (card.end == 0) return true;
    return unit.end != 0 ? unit.end <= card.end + kClockTolerance : unit.start <= card.end;
}

std::int64_t drivenKm(const std::vector<const FinderSession*>& members) {
    std::int64_t first = 0, last = 0;
    for (const FinderSession* s : members) {
        if (s->odometerStart >= 1 && (first == 0 || s->odometerStart < first)) first = s->odometerStart;
        if (s->end != 0 && s->odometerEnd >= 1) last = std::max(last, s->odometerEnd);
    }
    return first >= 1 && last >= first ? last - first : -1;
}

void addSource(FinderMatch& match, const FinderSession& s) {
    for (const MatchSource& known : match.sources) {
        if (known.source == s.source && known.file == s.file) return;
    }
    match.sources.push_back({s.source, s.file});
}

// One trip from a card record and the vehicle-unit stays of one slot within it (none for a trip
// the card alone records, no card record for a trip the unit alone records).
FinderMatch trip(const std::vector<FinderSession>& sessions, const Hit* card, const std::vector<const Hit*>& stays,
                 bool spanOfStays) {
    const FinderSession& first = sessions[(card ? card : stays.front())->session];
    FinderMatch m{first, card && card->timeExact, !stays.empty(), {}, -1};
    std::vector<const FinderSession*> members;
    if (card) {
        members.push_back(&first);
        addSource(m, first);
    }
    for (const Hit* stay : stays) {
        const FinderSession& s = sessions[stay->session];
        members.push_back(&s);
        addSource(m, s);
        m.timeExact = m.timeExact || stay->timeExact;
        m.session.slot = s.slot;
        if (m.session.vin.empty()) m.session.vin = s.vin;
        if (m.session.plate.empty()) m.session.plate = s.plate;
    }
    if (spanOfStays) {
        const FinderSession& s = sessions[stays.front()->session];
        m.session.start = s.start;
        m.session.end = s.end;
        for (const Hit* stay : stays) {
            const FinderSession& t = sessions[stay->session];
            m.session.start = std::min(m.session.start, t.start);
            m.session.end = m.session.end == 0 || t.end == 0 ? 0 : std::max(m.session.end, t.end);
        }
    }
    // A card record split by roles: each part's distance is its stays' own.
    if (spanOfStays && card) members.erase(members.begin());
    m.km = drivenKm(members);
    return m;
}

// The hits as trips: each vehicle-unit stay joins the card record it lies within, one row per
// card record and slot; what finds no partner stays a row of its own. Best first.
std::vector<FinderMatch> trips(const DriverIndex& index, std::vector<Hit> found) {
    // In index order, so that the pairing does not depend on how the hits were found.
    std::sort(found.begin(), found.end(), [](const Hit& a, const Hit& b) { return a.session < b.session; });
    std::unordered_map<std::string, std::vector<const Hit*>> cardHitsOf;
    for (const Hit& h : found) {
        if (index.sessions[h.session].source == 'C') cardHitsOf[index.sessions[h.session].card].push_back(&h);
    }
    std::map<const Hit*, std::map<std::uint32_t, std::vector<const Hit*>>> staysOf;
    std::vector<FinderMatch> out;
    for (const Hit& h : found) {
        const FinderSession& s = index.sessions[h.session];
        if (s.source == 'C') continue;
        // Of card records overlapping each other, the one starting nearest the stay.
        const Hit* partner = nullptr;
        if (const auto cards = cardHitsOf.find(s.card); cards != cardHitsOf.end()) {
            for (const Hit* c : cards->second) {
                const FinderSession& record = index.sessions[c->session];
                if (withinCardRecord(record, s) &&
                    (!partner || s.start - record.start < s.start - index.sessions[partner->session].start)) {
                    partner = c;
                }
            }
        }
        if (partner) {
            staysOf[partner][s.slot].push_back(&h);
        } else {
            out.push_back(trip(index.sessions, nullptr, {&h}, false));
        }
    }
    for (const Hit& h : found) {
        if (index.sessions[h.session].source != 'C') continue;
        const auto stays = staysOf.find(&h);
        if (stays == staysOf.end()) {
            out.push_back(trip(index.sessions, &h, {}, false));
            continue;
        }
        for (const auto& [slot, ofSlot] : stays->second) out.push_back(trip(index.sessions, &h, ofSlot, stays->second.size() > 1));
    }
    std::vector<std::uint32_t> order(out.size());
    for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return before(out[a], out[b], a, b); });
    std::vector<FinderMatch> sorted;
    sorted.reserve(out.size());
    for (std::uint32_t i : order) sorted.push_back(std::move(out[i]));
    return sorted;
}

// "C", "V" or "CV": which kinds of download record the trip.
std::string sourceKinds(const FinderMatch& match) {
    bool card = false, unit = false;
    for (const MatchSource& s : match.sources) (s.source == 'C' ? card : unit) = true;
    return std::string(card ? "C" : "") + (unit ? "V" : "");
}

std::string errorJson(const std::string& message) {
    JsonWriter w;
    w.beginObject().field("ok", false).field("error", message).endObject();
    return w.take();
}

}  // namespace

std::string roleText(const FinderMatch& match) {
    if (!match.roleKnown) return "unbekannt";
    return match.session.slot == 1 ? "Beifahrer" : "Fahrer";
}

std::string sourcesText(const FinderMatch& match) {
    const std::string kinds = sourceKinds(match);
    if (kinds == "CV") return "Fahrerkarte + Fahrzeugeinheit";
    return kinds == "V" ? "Fahrzeugeinheit" : "Fahrerkarte";
}

std::vector<FinderMatch> query(const DriverIndex& index, const FinderQuery& q) { return trips(index, hits(index, q)); }

std::vector<FinderMatch> queryByFullPass(const DriverIndex& index, const FinderQuery& q) {
    if (!q.error.empty()) return {};
    return trips(index, hitsByFullPass(index.sessions, Criteria(q)));
}

std::vector<FinderMatch> firstMatches(const DriverIndex& index, const FinderQuery& q, std::size_t& count) {
    std::vector<FinderMatch> all = query(index, q);
    count = all.size();
    if (all.size() > q.limit) all.resize(q.limit);
    return all;
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
        w.field("source", sourceKinds(m));
        w.field("role", roleText(m)).field("plate", s.plate).field("vin", s.vin);
        w.field("start", s.start).field("end", s.end).key("km");
        if (m.km >= 0) {
            w.raw(std::to_string(m.km));
        } else {
            w.raw("null");
        }
        w.field("card", s.card).field("file", visibleText(s.file)).key("sources").beginArray();
        for (const MatchSource& source : m.sources) {
            w.beginObject().field("source", std::string_view(&source.source, 1)).field("file", visibleText(source.file)).endObject();
        }
        w.endArray().field("timeExact", m.timeExact).endObject();
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
