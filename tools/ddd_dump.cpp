// ddd-dump: prints everything decoded from a download, with the check of its signatures, as
// readable JSON; with --summary a short human-readable account of it, or with --analysis the
// analysis document of the file's driver.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "analysis/pipeline.h"
#include "core/atomic_file.h"
#include "core/card_file.h"
#include "core/json_writer.h"
#include "report/analysis_json.h"
#include "core/vu_download.h"

namespace {

using namespace ddd;

std::string hex(unsigned value, int digits) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%0*X", digits, value);
    return buffer;
}

std::string instant(std::int64_t t) { return isEmptyTime(t) ? "-" : formatDateTime(t); }

std::string bcdDateText(const BcdDate& d) {
    if (!d.present) return "-";
    if (!d.plausible) return "invalid";
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02u.%02u.%04u", d.day, d.month, d.year);
    return buffer;
}

std::string changeText(std::uint16_t word) {
    static const char* kActivities[] = {"rest", "availability", "work", "driving"};
    const std::uint32_t minute = changeMinute(word);
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "%02u:%02u %s %s %s %s", minute / 60, minute % 60,
                  kActivities[changeActivity(word)], changeCoDriverSlot(word) ? "co-driver" : "driver",
                  changeCardAbsent(word) ? (changeCrewOrKnown(word) ? "known" : "unknown")
                                         : (changeCrewOrKnown(word) ? "crew" : "single"),
                  changeCardAbsent(word) ? "not-inserted" : "inserted");
    return buffer;
}

void writeRegistration(JsonWriter& w, std::string_view name, const Registration& r) {
    w.key(name).beginObject().field("nation", std::int64_t{r.nation}).field("number", r.number).endObject();
}

void writeIdentification(JsonWriter& w, const CardIdentification& id) {
    w.key("identification").beginObject();
    w.field("issuingNation", std::int64_t{id.issuingNation}).field("nationName", nationName(id.issuingNation));
    w.field("cardNumber", cardNumberText(id.cardNumber));
    w.field("issuingAuthority", id.issuingAuthority.text);
    w.field("issueDate", instant(id.issueDate)).field("validityBegin", instant(id.validityBegin));
    w.field("expiryDate", instant(id.expiryDate));
    w.field("surname", id.surname.text).field("firstNames", id.firstNames.text);
    w.field("nameCodePage", std::int64_t{id.surname.codePage});
    w.field("birthDate", bcdDateText(id.birthDate)).field("preferredLanguage", id.preferredLanguage);
    w.endObject();
}

void writeActivity(JsonWriter& w, const DriverActivity& activity) {
    w.key("driverActivity").beginObject();
    w.field("historyFromStart", activity.historyFromStart);
    w.field("malformedStops", std::int64_t{activity.malformedStops});
    w.field("skippedRecords", std::int64_t{activity.skippedRecords});
    w.field("unorderedDays", std::int64_t{activity.unorderedDays});
    w.key("days").beginArray();
    for (const auto& day : activity.days) {
        w.beginObject().field("date", formatDate(day.date));
        if (day.hasPresenceCounter) w.field("presenceCounter", std::int64_t{day.presenceCounter});
        w.field("distanceKm", std::int64_t{day.distanceKm});
        w.key("changes").beginArray();
        for (std::uint16_t word : day.changes) w.string(changeText(word));
        w.endArray().endObject();
    }
    w.endArray().endObject();
}

void writeVehicles(JsonWriter& w, const VehiclesUsed& vehicles) {
    w.key("vehiclesUsed").beginObject().field("newestPointer", std::int64_t{vehicles.newestPointer});
    w.field("slots", static_cast<std::int64_t>(vehicles.slots.size()));
    w.key("chronological").beginArray();
    for (const auto& v : vehicles.chronological) {
        w.beginObject();
        writeRegistration(w, "registration", v.registration);
        w.field("firstUse", instant(v.firstUse)).field("lastUse", instant(v.lastUse));
        w.field("odometerBegin", std::int64_t{v.odometerBegin}).field("odometerEnd", std::int64_t{v.odometerEnd});
        if (v.hasVuDataBlockCounter) w.field("vuDataBlockCounter", std::int64_t{v.vuDataBlockCounter});
        if (!v.vin.empty()) w.field("vin", v.vin);
        w.endObject();
    }
    w.endArray().endObject();
}

void writePlaces(JsonWriter& w, const std::vector<PlaceRecord>& places) {
    w.key("places").beginArray();
    for (const auto& p : places) {
        w.beginObject().field("time", instant(p.entryTime)).field("entryType", std::int64_t{p.entryType});
        w.field("country", std::int64_t{p.country}).field("region", std::int64_t{p.region});
        w.field("odometer", std::int64_t{p.odometer});
        if (p.hasGnss) {
            w.field("gnssTime", instant(p.gnssTime)).field("gnssAccuracy", std::int64_t{p.gnssAccuracy});
            w.field("latitude", std::int64_t{p.latitude}).field("longitude", std::int64_t{p.longitude});
        }
        w.endObject();
    }
    w.endArray();
}

void writeEventsFaults(JsonWriter& w, std::string_view name, const std::vector<EventFaultRecord>& records) {
    w.key(name).beginArray();
    for (const auto& r : records) {
        w.beginObject().field("type", std::int64_t{r.type});
        w.field("begin", instant(r.begin)).field("end", instant(r.end));
        writeRegistration(w, "vehicle", r.vehicle);
        w.endObject();
    }
    w.endArray();
}

void writeApplication(JsonWriter& w, std::string_view name, const CardApplicationData& app) {
    w.key(name).beginObject();
    w.field("activityDecodeFailed", app.activityDecodeFailed);
    if (const auto& a = app.applicationIdentification) {
        w.key("applicationIdentification").beginObject();
        w.field("cardType", std::int64_t{a->cardType});
        w.field("structureVersion", std::to_string(a->structureVersionMajor) + "." +
                                        std::to_string(a->structureVersionMinor));
        w.field("eventsPerType", std::int64_t{a->eventsPerType}).field("faultsPerType", std::int64_t{a->faultsPerType});
        w.field("activityStructureLength", std::int64_t{a->activityStructureLength});
        w.field("vehicleRecords", std::int64_t{a->vehicleRecords}).field("placeRecords", std::int64_t{a->placeRecords});
        if (a->isGen2Layout) {
            w.field("gnssRecords", std::int64_t{a->gnssRecords});
            w.field("specificConditionRecords", std::int64_t{a->specificConditionRecords});
            w.field("vehicleUnitRecords", std::int64_t{a->vehicleUnitRecords});
        }
        w.endObject();
    }
    if (app.identification) writeIdentification(w, *app.identification);
    if (app.driverActivity) writeActivity(w, *app.driverActivity);
    if (app.vehiclesUsed) writeVehicles(w, *app.vehiclesUsed);
    if (app.places) writePlaces(w, *app.places);
    if (app.events) writeEventsFaults(w, "events", *app.events);
    if (app.faults) writeEventsFaults(w, "faults", *app.faults);
    if (const auto& c = app.controlActivity) {
        w.key("controlActivity").beginObject().field("controlType", std::int64_t{c->controlType});
        w.field("controlTime", instant(c->controlTime)).field("controlCardType", std::int64_t{c->controlCardType});
        w.field("controlCardNation", std::int64_t{c->controlCardNation});
        w.field("controlCardNumber", cardNumberText(c->controlCardNumber));
        writeRegistration(w, "controlVehicle", c->controlVehicle);
        w.field("downloadPeriodBegin", instant(c->downloadPeriodBegin));
        w.field("downloadPeriodEnd", instant(c->downloadPeriodEnd)).endObject();
    }
    if (const auto& u = app.currentUsage) {
        w.key("currentUsage").beginObject().field("sessionOpenTime", instant(u->sessionOpenTime));
        writeRegistration(w, "sessionOpenVehicle", u->sessionOpenVehicle);
        w.endObject();
    }
    if (app.lastCardDownload) w.field("lastCardDownload", instant(*app.lastCardDownload));
    if (const auto& l = app.drivingLicence) {
        w.key("drivingLicence").beginObject().field("authority", l->licenceAuthority.text);
        w.field("nation", std::int64_t{l->licenceNation}).field("number", l->licenceNumber).endObject();
    }
    if (const auto& s = app.specificConditions) {
        w.key("specificConditions").beginArray();
        for (const auto& r : *s) {
            w.beginObject().field("time", instant(r.entryTime)).field("type", std::int64_t{r.conditionType}).endObject();
        }
        w.endArray();
    }
    w.key("issues").beginArray();
    for (const auto& issue : app.issues) w.string(issue);
    w.endArray().endObject();
}

void writeAuthenticity(JsonWriter& w, const AuthenticityCheck& check) {
    w.key("authenticity").beginObject().field("status", authenticityText(check.status));
    w.key("problems").beginArray();
    for (const auto& problem : check.problems) w.string(problem);
    w.endArray().key("notes").beginArray();
    for (const auto& note : check.notes) w.string(note);
    w.endArray().endObject();
}

std::string dumpJson(const std::string& path, std::size_t size, const DriverCardFile& file) {
    JsonWriter w(true);
    w.beginObject().field("file", path).field("size", static_cast<std::int64_t>(size)).field("kind", "driver card");
    w.field("hasGen2Records", file.hasGen2Records);
    w.key("records").beginArray();
    for (const auto& r : file.records) {
        w.beginObject().field("fid", hex(r.fid, 4)).field("appendix", std::int64_t{r.appendix});
        w.field("offset", static_cast<std::int64_t>(r.offset)).field("length", static_cast<std::int64_t>(r.length));
        w.endObject();
    }
    w.endArray();
    if (file.gen1) writeApplication(w, "gen1", *file.gen1);
    if (file.gen2) writeApplication(w, "gen2", *file.gen2);
    if (file.authenticity) writeAuthenticity(w, *file.authenticity);
    w.endObject();
    return w.take();
}

std::string dumpVuJson(const std::string& path, std::size_t size, const VuDownload& vu) {
    JsonWriter w(true);
    w.beginObject().field("file", path).field("size", static_cast<std::int64_t>(size)).field("kind", "vehicle unit");
    w.field("isGen2Format", vu.isGen2Format).field("complete", vu.complete);
    w.field("stoppedAt", static_cast<std::int64_t>(vu.stoppedAt));
    if (!vu.complete) w.field("stopReason", vu.stopReason);
    w.field("vin", vu.vin).field("registrationNumber", vu.registrationNumber);
    if (vu.hasRegistration) {
        w.field("registrationNation", std::int64_t{vu.registrationNation}).field("nationName", nationName(vu.registrationNation));
    }
    w.field("vuTime", instant(vu.vuTime));
    w.field("downloadableFrom", instant(vu.downloadableFrom)).field("downloadableTo", instant(vu.downloadableTo));
    w.key("blocks").beginObject().field("activities", std::int64_t{vu.activityBlocks});
    w.field("eventsFaults", std::int64_t{vu.eventFaultBlocks}).field("detailedSpeed", std::int64_t{vu.speedBlocks});
    w.field("technicalData", std::int64_t{vu.technicalBlocks}).endObject();
    w.key("days").beginArray();
    for (const auto& day : vu.days) {
        w.beginObject().field("date", isEmptyTime(day.date) ? "-" : formatDate(day.date));
        w.field("odometerMidnight", std::int64_t{day.odometerMidnight});
        w.field("activityChanges", std::int64_t{day.activityChangeCount});
        w.key("cards").beginArray();
        for (const auto& r : day.cardRecords) {
            w.beginObject().field("surname", r.surname).field("firstNames", r.firstNames);
            w.field("cardNumber", r.cardNumber).field("slot", r.slot == 1 ? "co-driver" : "driver");
            w.field("insertion", instant(r.insertionTime)).field("odometerAtInsertion", std::int64_t{r.odometerAtInsertion});
            w.field("withdrawal", instant(r.withdrawalTime)).field("odometerAtWithdrawal", std::int64_t{r.odometerAtWithdrawal});
            w.endObject();
        }
        w.endArray().endObject();
    }
    w.endArray().endObject();
    return w.take();
}

void printVuSummary(const std::string& path, const VuDownload& vu) {
    std::printf("Vehicle unit download %s\n", path.c_str());
    if (vu.stoppedAt > 0) {
        std::printf("  generation: %s\n", vu.isGen2Format ? "second (record arrays)" : "first (fixed structures)");
    }
    std::printf("  vehicle: %s, VIN %s\n", vu.registrationNumber.c_str(), vu.vin.c_str());
    std::printf("  downloadable: %s to %s\n", instant(vu.downloadableFrom).c_str(), instant(vu.downloadableTo).c_str());
    std::size_t stays = 0;
    for (const auto& day : vu.days) stays += day.cardRecords.size();
    std::printf("  days: %zu, card insertions: %zu\n", vu.days.size(), stays);
    if (!vu.complete) std::printf("  stopped at offset %llu: %s\n", static_cast<unsigned long long>(vu.stoppedAt), vu.stopReason.c_str());
}

void printSummary(const std::string& path, const DriverCardFile& file) {
    std::printf("Driver card download %s\n", path.c_str());
    std::printf("  generations: %s%s%s\n", file.gen1 ? "first" : "", file.gen1 && file.gen2 ? " and " : "",
                file.gen2 ? "second" : "");
    const CardApplicationData& app = file.gen2 ? *file.gen2 : *file.gen1;
    if (const auto& id = app.identification) {
        std::printf("  driver: %s, %s\n", id->surname.text.c_str(), id->firstNames.text.c_str());
        std::printf("  card: %s, issued by %s\n", cardNumberText(id->cardNumber).c_str(),
                    nationName(id->issuingNation).c_str());
        std::printf("  valid until: %s\n", formatDate(id->expiryDate).c_str());
    }
    if (const auto& activity = app.driverActivity; activity && !activity->days.empty()) {
        std::printf("  activity: %zu days from %s to %s\n", activity->days.size(),
                    formatDate(activity->days.front().date).c_str(), formatDate(activity->days.back().date).c_str());
    }
    if (app.vehiclesUsed) std::printf("  vehicles used: %zu\n", app.vehiclesUsed->chronological.size());
    if (app.places) std::printf("  places: %zu\n", app.places->size());
    if (app.events) std::printf("  events: %zu\n", app.events->size());
    if (app.faults) std::printf("  faults: %zu\n", app.faults->size());
    for (const auto* part : {&file.gen1, &file.gen2}) {
        if (!*part) continue;
        for (const auto& issue : (*part)->issues) std::printf("  issue: %s\n", issue.c_str());
    }
    if (const auto& check = file.authenticity) {
        std::printf("  signatures: %s\n", authenticityText(check->status));
        for (const auto& problem : check->problems) std::printf("    failed: %s\n", problem.c_str());
        for (const auto& note : check->notes) std::printf("    %s\n", note.c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    const std::string mode = !args.empty() && args[0].starts_with("--") ? args[0] : "";
    if (!mode.empty()) args.erase(args.begin());
    if (args.size() != 1 || (mode != "" && mode != "--summary" && mode != "--analysis")) {
        std::fprintf(stderr, "usage: ddd-dump [--summary | --analysis] FILE.ddd\n");
        return 2;
    }
    const bool summary = mode == "--summary";
    const std::string& path = args[0];
    if (mode == "--analysis") {
        const AnalysisResult result = analyzeDriverOfFile(path);
        std::cout << toAnalysisJson(result) << '\n';
        return result.ok ? 0 : 1;
    }
    const auto read = readWholeFile(path);
    if (!read) {
        std::fprintf(stderr, "ddd-dump: cannot open %s: %s\n", visibleText(path).c_str(), read.reason().c_str());
        return 1;
    }
    const std::vector<std::uint8_t>& bytes = *read;
    auto decoded = decodeCardFile(bytes);
    // Vehicle-unit downloads begin with the block marker 0x76, which no card download does.
    if (!decoded && !bytes.empty() && bytes[0] == 0x76) {
        const VuDownload vu = decodeVuDownload(bytes);
        if (summary) {
            printVuSummary(path, vu);
        } else {
            std::cout << dumpVuJson(path, bytes.size(), vu) << '\n';
        }
        return 0;
    }
    if (!decoded) {
        std::fprintf(stderr, "ddd-dump: %s: %s (offset %llu)\n", path.c_str(), decoded.error().message.c_str(),
                     static_cast<unsigned long long>(decoded.error().offset));
        return 1;
    }
    decoded.value().authenticity = verifyCardDownload(bytes, installedTrustAnchors());
    if (summary) {
        printSummary(path, decoded.value());
    } else {
        std::cout << dumpJson(path, bytes.size(), decoded.value()) << '\n';
    }
    return 0;
}
