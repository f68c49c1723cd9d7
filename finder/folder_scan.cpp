// Folder scan: walks a folder tree for ".ddd" files, classifies each as a card or a vehicle-unit
// download and turns what it holds into sessions. Vehicle-unit sessions are added after all card
// sessions, once the nation of every vehicle seen in the scan is known.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <set>
#include <tuple>
#include <unordered_map>

#include "core/atomic_file.h"
#include "core/card_file.h"
#include "core/folder_walk.h"
#include "core/vu_download.h"
#include "finder/driver_index.h"

namespace ddd::finder {
namespace {

std::int64_t endOrOpen(std::int64_t t) { return isEmptyTime(t) ? 0 : t; }

// Sessions of one card application; the second generation's records also carry the VIN.
std::vector<FinderSession> cardSessions(const CardApplicationData& app, const std::string& path) {
    std::vector<FinderSession> out;
    if (!app.identification || !app.vehiclesUsed) return out;
    const CardIdentification& id = *app.identification;
    const std::string card = textWithoutTrailingBlanks(Bytes(id.cardNumber).first(14));
    for (const CardVehicleRecord& record : app.vehiclesUsed->chronological) {
        if (isEmptyTime(record.firstUse)) continue;
        FinderSession s;
        s.surname = id.surname.text;
        s.firstNames = id.firstNames.text;
        s.card = card;
        s.vin = record.vin;
        s.plate = record.registration.number;
        s.plateNation = record.registration.nation;
        s.start = record.firstUse;
        s.end = endOrOpen(record.lastUse);
        s.odometerStart = record.odometerBegin;
        s.odometerEnd = record.odometerEnd;
        s.source = 'C';
        s.file = path;
        out.push_back(std::move(s));
    }
    return out;
}

// A vehicle unit's sessions waiting for the nation lookup of the whole scan.
struct PendingVehicle {
    std::string vin;
    bool hasRegistration = false;
    std::uint32_t nation = 0;
    std::vector<FinderSession> sessions;
};

using StayKey = std::tuple<std::string, std::string, std::int64_t, std::int64_t>;

PendingVehicle vehicleSessions(const VuDownload& vu, const std::string& path, std::set<StayKey>& seenStays) {
    PendingVehicle out{vu.vin, vu.hasRegistration, vu.registrationNation, {}};
    for (const VuDayBlock& day : vu.days) {
        for (const VuCardIwRecord& record : day.cardRecords) {
            // A stay spanning midnight, or held by overlapping downloads of the same vehicle,
            // is stored more than once; the first one found stands for all.
            if (!isEmptyTime(record.withdrawalTime) &&
                !seenStays.emplace(record.cardNumber, vu.vin, record.insertionTime, record.withdrawalTime).second) {
                continue;
            }
            FinderSession s;
            s.surname = record.surname;
            s.firstNames = record.firstNames;
            s.card = record.cardNumber;
            s.vin = vu.vin;
            s.plate = vu.registrationNumber;
            s.slot = record.slot;
            s.start = record.insertionTime;
            s.end = endOrOpen(record.withdrawalTime);
            s.odometerStart = record.odometerAtInsertion;
            s.odometerEnd = record.odometerAtWithdrawal;
            s.source = 'V';
            s.file = path;
            out.sessions.push_back(std::move(s));
        }
    }
    return out;
}

}  // namespace

void DriverIndex::scanDirectory(const std::string& folder, const std::function<bool(long, long)>& progress,
                                const std::atomic<bool>* stop) {
    DownloadWalk walk = findDownloads(folder, stop);
    for (SkippedFile& file : walk.skipped) {
        std::fprintf(stderr, "ddd_finder: übersprungen: %s: %s\n", file.path.c_str(), file.reason.c_str());
        skipped.push_back(std::move(file));
    }
    const std::vector<std::string>& files = walk.files;
    const long total = static_cast<long>(files.size());
    std::vector<PendingVehicle> vehicles;
    std::set<StayKey> seenStays;
    long done = 0;
    for (const std::string& path : files) {
        if (progress && !progress(done, total)) break;
        ++done;
        const FileRead bytes = readWholeFile(path);
        if (!bytes) {
            std::fprintf(stderr, "ddd_finder: Datei nicht lesbar, übersprungen: %s: %s\n", path.c_str(),
                         bytes.reason().c_str());
            ++filesUnreadable;
            skipped.push_back({path, bytes.reason()});
            continue;
        }
        ++filesIndexed;
        auto card = decodeCardFile(*bytes);
        if (card) {
            // Second-generation records first: where both applications hold a stay, the one
            // with the VIN is kept.
            for (const auto* part : {&card.value().gen2, &card.value().gen1}) {
                if (!*part) continue;
                for (FinderSession& s : cardSessions(**part, path)) addCardSession(std::move(s));
            }
            continue;
        }
        const VuDownload vu = decodeVuDownload(*bytes);
        if (!vu.complete || bytes->empty()) ++filesUnrecognised;
        vehicles.push_back(vehicleSessions(vu, path, seenStays));
    }

    std::unordered_map<std::string, std::uint32_t> nationOfVin;
    for (const PendingVehicle& v : vehicles) {
        if (v.hasRegistration && !v.vin.empty()) nationOfVin.emplace(v.vin, v.nation);
    }
    for (PendingVehicle& v : vehicles) {
        std::uint32_t nation = v.hasRegistration ? v.nation : 0;
        if (!v.hasRegistration && !v.vin.empty()) {
            auto found = nationOfVin.find(v.vin);
            if (found != nationOfVin.end()) nation = found->second;
        }
        for (FinderSession& s : v.sessions) {
            s.plateNation = nation;
            sessions.push_back(std::move(s));
        }
    }
    if (progress && done == total) progress(total, total);
    buildLookup();
}

}  // namespace ddd::finder
