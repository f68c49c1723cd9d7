// Folder scan: walks a folder tree for ".ddd" files, classifies each as a card or a vehicle-unit
// download and turns what it holds into sessions. Vehicle-unit sessions are added after all card
// sessions, once the nation of every vehicle seen in the scan is known.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <unordered_map>

#include "core/atomic_file.h"
#include "core/card_file.h"
#include "core/folder_walk.h"
#include "core/vu_download.h"
#include "finder/driver_index.h"

namespace ddd::finder {
namespace {

std::int64_t endOrOpen(std::int64_t t) { return isEmptyTime(t) ? 0 : t; }
// An odometer not yet written (a stay still under way) is no reading: 0, as for none at all.
std::int64_t kmOrNone(std::uint32_t km) { return isEmptyOdometer(km) ? 0 : km; }

// Sessions of one card application; the second generation's records also carry the VIN.
void addCardSessions(const CardApplicationData& app, const std::string& path, std::vector<FinderSession>& out) {
    if (!app.identification || !app.vehiclesUsed) return;
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
        s.odometerStart = kmOrNone(record.odometerBegin);
        s.odometerEnd = kmOrNone(record.odometerEnd);
        s.source = 'C';
        s.file = path;
        out.push_back(std::move(s));
    }
}

}  // namespace

DownloadSessions cardDownloadSessions(const DriverCardFile& card, const std::string& path) {
    DownloadSessions out;
    // Second-generation records first: where both applications hold a stay, the one with the VIN
    // is kept.
    for (const auto* part : {&card.gen2, &card.gen1}) {
        if (*part) addCardSessions(**part, path, out.sessions);
    }
    return out;
}

DownloadSessions vehicleDownloadSessions(const VuDownload& vu, bool recognised, const std::string& path) {
    DownloadSessions out{true, recognised, vu.vin, vu.hasRegistration, vu.registrationNation, {}};
    for (const VuDayBlock& day : vu.days) {
        for (const VuCardIwRecord& record : day.cardRecords) {
            FinderSession s;
            s.surname = record.surname;
            s.firstNames = record.firstNames;
            s.card = record.cardNumber;
            s.vin = vu.vin;
            s.plate = vu.registrationNumber;
            s.slot = record.slot;
            s.start = record.insertionTime;
            s.end = endOrOpen(record.withdrawalTime);
            s.odometerStart = kmOrNone(record.odometerAtInsertion);
            s.odometerEnd = kmOrNone(record.odometerAtWithdrawal);
            s.source = 'V';
            s.file = path;
            out.sessions.push_back(std::move(s));
        }
    }
    return out;
}

void DriverIndex::addDownload(DownloadSessions download) {
    ++filesIndexed;
    if (!download.recognised) ++filesUnrecognised;
    if (!download.vehicleUnit) {
        for (FinderSession& s : download.sessions) addCardSession(std::move(s));
        return;
    }
    // A stay spanning midnight, or held by overlapping downloads of the same vehicle, is stored
    // more than once; the first one found stands for all. A stay without its end is kept each time.
    std::erase_if(download.sessions, [&](const FinderSession& s) {
        return s.end != 0 && !seenStays_.emplace(s.card, s.vin, s.start, s.end).second;
    });
    pendingVehicles_.push_back(std::move(download));
}

void DriverIndex::finishScan() {
    std::unordered_map<std::string, std::uint32_t> nationOfVin;
    for (const DownloadSessions& v : pendingVehicles_) {
        if (v.hasRegistration && !v.vin.empty()) nationOfVin.emplace(v.vin, v.registrationNation);
    }
    std::size_t count = sessions.size();
    for (const DownloadSessions& v : pendingVehicles_) count += v.sessions.size();
    sessions.reserve(count);
    for (DownloadSessions& v : pendingVehicles_) {
        std::uint32_t nation = v.hasRegistration ? v.registrationNation : 0;
        if (!v.hasRegistration && !v.vin.empty()) {
            auto found = nationOfVin.find(v.vin);
            if (found != nationOfVin.end()) nation = found->second;
        }
        for (FinderSession& s : v.sessions) {
            s.plateNation = nation;
            sessions.push_back(std::move(s));
        }
    }
    pendingVehicles_.clear();
    seenStays_.clear();
    buildLookup();
}

void DriverIndex::scanDirectory(const std::string& folder, const std::function<bool(long, long)>& progress,
                                const std::atomic<bool>* stop) {
    DownloadWalk walk = findDownloads(folder, stop);
    for (SkippedFile& file : walk.skipped) {
        std::fprintf(stderr, "ddd_finder: übersprungen: %s: %s\n", file.path.c_str(), file.reason.c_str());
        skipped.push_back(std::move(file));
    }
    const std::vector<std::string>& files = walk.files;
    const long total = static_cast<long>(files.size());
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
        auto card = decodeCardFile(*bytes);
        if (card) {
            addDownload(cardDownloadSessions(card.value(), path));
            continue;
        }
        const VuDownload vu = decodeVuDownload(*bytes);
        addDownload(vehicleDownloadSessions(vu, vu.complete && !bytes->empty(), path));
    }
    if (progress && done == total) progress(total, total);
    finishScan();
}

}  // namespace ddd::finder
