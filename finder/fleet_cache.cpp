#include "finder/fleet_cache.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <optional>
#include <stdexcept>
#include <tuple>

#include "analysis/pipeline.h"
#include "core/atomic_file.h"
#include "core/vu_download.h"

namespace ddd::finder {

namespace {

// The cache holds nothing that cannot be computed again: a table of an older shape is dropped
// and made anew rather than migrated.
constexpr const char* kSchema = R"SQL(
    CREATE TABLE IF NOT EXISTS fleet_drivers(
        nation INTEGER NOT NULL, driver TEXT NOT NULL, contents TEXT NOT NULL, problem TEXT NOT NULL,
        findings TEXT NOT NULL, data_days TEXT NOT NULL, PRIMARY KEY(nation, driver));
    CREATE TABLE IF NOT EXISTS fleet_vehicles(
        vin TEXT PRIMARY KEY, contents TEXT NOT NULL, calibration_due INTEGER, last_download INTEGER, no_card TEXT NOT NULL);
    )SQL";

using Pairs = std::vector<std::pair<std::int64_t, std::int64_t>>;

std::string pairsText(const Pairs& pairs) {
    std::string text;
    for (const auto& [a, b] : pairs) text += (text.empty() ? "" : ",") + std::to_string(a) + ":" + std::to_string(b);
    return text;
}

// Absent for a text that is not a list of pairs: the entry is then computed again.
std::optional<Pairs> pairsOf(const std::string& text) {
    Pairs pairs;
    const char* at = text.c_str();
    while (*at) {
        char* end = nullptr;
        const long long a = std::strtoll(at, &end, 10);
        if (end == at || *end != ':') return std::nullopt;
        at = end + 1;
        const long long b = std::strtoll(at, &end, 10);
        if (end == at || (*end != ',' && *end != '\0')) return std::nullopt;
        pairs.emplace_back(a, b);
        at = *end ? end + 1 : end;
    }
    return pairs;
}

std::string joinedContents(std::vector<std::string> hashes) {
    std::sort(hashes.begin(), hashes.end());
    hashes.erase(std::unique(hashes.begin(), hashes.end()), hashes.end());
    std::string joined;
    for (const std::string& h : hashes) joined += (joined.empty() ? "" : ",") + h;
    return joined;
}

std::string displayName(const ArchiveDownload& d) {
    if (d.firstNames.empty()) return d.surname;
    if (d.surname.empty()) return d.firstNames;
    return d.firstNames + " " + d.surname;
}

// The download that speaks for the driver or vehicle: the newest, the later in walk order on a tie.
bool newer(const ArchiveDownload& candidate, const ArchiveDownload* kept) { return !kept || candidate.downloaded >= kept->downloaded; }

struct Query {
    Query(sqlite3* db, const char* sql) {
        if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) throw std::runtime_error(sqlite3_errmsg(db));
    }
    ~Query() { sqlite3_finalize(statement); }
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;
    void text(int at, const std::string& value) { sqlite3_bind_text(statement, at, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT); }
    void integer(int at, std::int64_t value) { sqlite3_bind_int64(statement, at, value); }
    void optionalInteger(int at, const std::optional<std::int64_t>& value) {
        if (value) integer(at, *value);
        else sqlite3_bind_null(statement, at);
    }
    std::string column(int at) const {
        const auto* data = sqlite3_column_text(statement, at);
        return data ? std::string(reinterpret_cast<const char*>(data), static_cast<std::size_t>(sqlite3_column_bytes(statement, at))) : "";
    }
    std::optional<std::int64_t> optionalColumn(int at) const {
        if (sqlite3_column_type(statement, at) == SQLITE_NULL) return std::nullopt;
        return sqlite3_column_int64(statement, at);
    }
    bool row() { return sqlite3_step(statement) == SQLITE_ROW; }
    bool done() {
        const int rc = sqlite3_step(statement);
        sqlite3_reset(statement);
        return rc == SQLITE_DONE;
    }
    void reset() { sqlite3_reset(statement); }
    sqlite3_stmt* statement = nullptr;
};

DriverFindingFacts findingFactsOfFiles(const std::vector<std::string>& paths) {
    if (paths.empty()) {
        DriverFindingFacts facts;
        facts.problem = "every download of the driver holds damaged data";
        return facts;
    }
    return driverFindingFactsOf(analyzeFiles(paths));
}

VehicleFleetFacts vehicleFactsOfFiles(const std::vector<std::string>& paths) {
    std::vector<VehicleSource> sources;
    for (const std::string& path : paths) {
        if (const FileRead bytes = readWholeFile(path)) sources.push_back({path, decodeVuDownload(*bytes), {}});
    }
    return vehicleFleetFactsOf(buildVehicleModel(std::move(sources), {}, 0));
}

}  // namespace

struct FleetCache::Database {
    sqlite3* handle = nullptr;
    ~Database() { sqlite3_close(handle); }
    bool open(const std::string& file) {
        if (sqlite3_open_v2(file.c_str(), &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
            sqlite3_close(handle);
            handle = nullptr;
            return false;
        }
        sqlite3_busy_timeout(handle, 5000);
        return sqlite3_exec(handle, kSchema, nullptr, nullptr, nullptr) == SQLITE_OK;
    }
};

FleetCache::FleetCache(const std::string& file) : db_(std::make_unique<Database>()) {
    if (file.empty() || !db_->open(file)) {
        db_ = std::make_unique<Database>();
        if (!db_->open(":memory:")) throw std::runtime_error("cannot open a fleet cache in memory");
    }
}

FleetCache::~FleetCache() = default;

FleetArchive FleetCache::archive(const std::vector<ArchiveDownload>& downloads) const {
    struct Group {
        const ArchiveDownload* newest = nullptr;
        std::optional<std::int64_t> lastDownload;
        int problems = 0;
        std::vector<std::string> paths, hashes;
    };
    std::map<std::pair<int, std::string>, Group> drivers;
    std::map<std::string, Group> vehicles;
    std::map<std::string, const ArchiveDownload*> registered;  // per VIN: the newest download naming the registration
    for (const ArchiveDownload& d : downloads) {
        const bool card = d.kind == 'C' && !d.driver.empty();
        if (!card && (d.kind != 'V' || d.vin.empty())) continue;
        Group& g = card ? drivers[{d.nation, d.driver}] : vehicles[d.vin];
        if (newer(d, g.newest)) g.newest = &d;
        if (d.downloaded > 0) g.lastDownload = std::max(g.lastDownload.value_or(0), d.downloaded);
        if (card && (!d.problem.empty() || d.signature == "invalid")) ++g.problems;
        if (!card && !d.registration.empty() && newer(d, registered[d.vin])) registered[d.vin] = &d;
        if (card && !d.problem.empty()) continue;
        g.paths.push_back(d.path);
        g.hashes.push_back(d.sha256);
    }
    FleetArchive out;
    Query driverFacts(db_->handle, "SELECT contents, problem, findings, data_days FROM fleet_drivers WHERE nation = ? AND driver = ?");
    for (auto& [key, g] : drivers) {
        const ArchiveDownload& n = *g.newest;
        FleetDriverInput in{key.first, key.second, n.cardNumber, displayName(n), n.path, n.cardExpiry, g.lastDownload, g.problems, std::nullopt};
        const std::string contents = joinedContents(g.hashes);
        driverFacts.integer(1, key.first);
        driverFacts.text(2, key.second);
        if (driverFacts.row() && driverFacts.column(0) == contents) {
            const auto findings = pairsOf(driverFacts.column(2));
            const auto days = pairsOf(driverFacts.column(3));
            if (findings && days) {
                DriverFindingFacts facts{driverFacts.column(1), {}, *days};
                for (const auto& [when, severity] : *findings) facts.findings.emplace_back(when, static_cast<std::int32_t>(severity));
                in.facts = std::move(facts);
            }
        }
        driverFacts.reset();
        out.drivers.push_back(std::move(in));
        out.driverPaths.push_back(std::move(g.paths));
        out.driverContents.push_back(contents);
    }
    Query vehicleFacts(db_->handle, "SELECT contents, calibration_due, last_download, no_card FROM fleet_vehicles WHERE vin = ?");
    for (auto& [vin, g] : vehicles) {
        const ArchiveDownload* named = registered.count(vin) ? registered[vin] : g.newest;
        FleetVehicleInput in{vin, named->registration, named->nation, g.newest->path, g.lastDownload, std::nullopt};
        const std::string contents = joinedContents(g.hashes);
        vehicleFacts.text(1, vin);
        if (vehicleFacts.row() && vehicleFacts.column(0) == contents) {
            if (const auto noCard = pairsOf(vehicleFacts.column(3))) {
                in.facts = VehicleFleetFacts{vehicleFacts.optionalColumn(1), vehicleFacts.optionalColumn(2), *noCard};
            }
        }
        vehicleFacts.reset();
        out.vehicles.push_back(std::move(in));
        out.vehiclePaths.push_back(std::move(g.paths));
        out.vehicleContents.push_back(contents);
    }
    return out;
}

long FleetCache::complete(const FleetArchive& archive, const std::atomic<bool>* stop, const std::function<void(long)>& stored) {
    long count = 0;
    const auto put = [&](Query& query) {
        if (!query.done()) return;
        ++count;
        if (stored) stored(count);
    };
    Query putDriver(db_->handle,
                    "INSERT OR REPLACE INTO fleet_drivers(nation, driver, contents, problem, findings, data_days) VALUES(?,?,?,?,?,?)");
    for (std::size_t i = 0; i < archive.drivers.size(); ++i) {
        if (stop && *stop) return count;
        const FleetDriverInput& d = archive.drivers[i];
        if (d.facts) continue;
        const DriverFindingFacts facts = findingFactsOfFiles(archive.driverPaths[i]);
        Pairs findings;
        for (const auto& [when, severity] : facts.findings) findings.emplace_back(when, severity);
        putDriver.integer(1, d.nation);
        putDriver.text(2, d.driver);
        putDriver.text(3, archive.driverContents[i]);
        putDriver.text(4, facts.problem);
        putDriver.text(5, pairsText(findings));
        putDriver.text(6, pairsText(facts.dataDays));
        put(putDriver);
    }
    Query putVehicle(db_->handle,
                     "INSERT OR REPLACE INTO fleet_vehicles(vin, contents, calibration_due, last_download, no_card) VALUES(?,?,?,?,?)");
    for (std::size_t i = 0; i < archive.vehicles.size(); ++i) {
        if (stop && *stop) return count;
        const FleetVehicleInput& v = archive.vehicles[i];
        if (v.facts) continue;
        const VehicleFleetFacts facts = vehicleFactsOfFiles(archive.vehiclePaths[i]);
        putVehicle.text(1, v.vin);
        putVehicle.text(2, archive.vehicleContents[i]);
        putVehicle.optionalInteger(3, facts.calibrationDue);
        putVehicle.optionalInteger(4, facts.lastDownload);
        putVehicle.text(5, pairsText(facts.noCard));
        put(putVehicle);
    }
    return count;
}

KeptFleet openKeptFleet(const std::string& indexFile, std::int64_t nowUtc) {
    KeptFleet kept;
    std::vector<ArchiveDownload> downloads;
    {
        ArchiveIndex index(indexFile);
        kept.notice = index.notice();
        kept.file = index.kept() ? indexFile : std::string();
        downloads = index.downloads();
    }
    kept.archive = FleetCache(kept.file).archive(downloads);
    kept.overview = buildFleetOverview(kept.archive.drivers, kept.archive.vehicles, nowUtc);
    return kept;
}

}  // namespace ddd::finder
