// ddd-dump: prints everything decoded from a download, with the check of its signatures, as
// readable JSON; with --summary a short human-readable account of it, or with --analysis the
// analysis document of the file's driver.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "analysis/pipeline.h"
#include "core/atomic_file.h"
#include "core/card_file.h"
#include "core/json_writer.h"
#include "report/analysis_json.h"
#include "core/code_names.h"
#include "core/vu_download.h"
#include "core/vu_signature.h"

namespace {

using namespace ddd;

// The fields of a dump are formatted on the stack: a card has thousands of them.
ShortText hex(unsigned value, int digits) { return shortText("0x%0*X", digits, value); }

// Instants carry their offset, so that no reader mistakes German time for UTC or the reverse.
ShortText instant(std::int64_t t) { return isEmptyTime(t) ? shortText("%s", "-") : isoLocalText(t); }
std::string date(std::int64_t t) { return isEmptyTime(t) ? "-" : formatUtcDate(t); }

void odometer(JsonWriter& w, std::string_view name, std::uint32_t km) {
    if (isEmptyOdometer(km)) {
        w.field(name, "-");
    } else {
        w.field(name, std::int64_t{km});
    }
}

std::string bcdDateText(const BcdDate& d) {
    if (!d.present) return "-";
    if (!d.plausible) return "invalid";
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02u.%02u.%04u", d.day, d.month, d.year);
    return buffer;
}

// "%02u:%02u %s %s %s %s", put together by hand: a card holds thousands of these.
ShortText changeText(std::uint16_t word) {
    static const char* kActivities[] = {"rest", "availability", "work", "driving"};
    const std::uint32_t minute = changeMinute(word);  // 11 bits: the hour has two digits
    ShortText text;
    auto put = [&](std::string_view part) {
        std::copy(part.begin(), part.end(), text.bytes + text.size);
        text.size += part.size();
    };
    const char clock[] = {static_cast<char>('0' + minute / 600), static_cast<char>('0' + minute / 60 % 10), ':',
                          static_cast<char>('0' + minute % 60 / 10), static_cast<char>('0' + minute % 10), ' '};
    put(std::string_view(clock, sizeof clock));
    put(kActivities[changeActivity(word)]);
    put(changeCoDriverSlot(word) ? " co-driver " : " driver ");
    put(changeCardAbsent(word) ? (changeCrewOrKnown(word) ? "known " : "unknown ") : (changeCrewOrKnown(word) ? "crew " : "single "));
    put(changeCardAbsent(word) ? "not-inserted" : "inserted");
    return text;
}

void writeRegistration(JsonWriter& w, std::string_view name, const Registration& r) {
    w.key(name).beginObject().field("nation", std::int64_t{r.nation}).field("number", r.number).endObject();
}

void writeIdentification(JsonWriter& w, const CardIdentification& id) {
    w.key("identification").beginObject();
    w.field("issuingNation", std::int64_t{id.issuingNation}).field("nationName", nationName(id.issuingNation));
    w.field("cardNumber", cardNumberText(id.cardNumber));
    w.field("issuingAuthority", id.issuingAuthority.text);
    w.field("issueDate", date(id.issueDate)).field("validityBegin", date(id.validityBegin));
    w.field("expiryDate", date(id.expiryDate));
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
    w.field("changeMinutes", "UTC");
    w.key("days").beginArray();
    for (const auto& day : activity.days) {
        w.beginObject().field("date", date(day.date));
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
        odometer(w, "odometerBegin", v.odometerBegin);
        odometer(w, "odometerEnd", v.odometerEnd);
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
        odometer(w, "odometer", p.odometer);
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

void writePosition(JsonWriter& w, const GnssPosition& p) {
    w.key("position").beginObject().field("time", instant(p.time)).field("accuracy", std::int64_t{p.accuracy});
    w.field("latitude", std::int64_t{p.latitude}).field("longitude", std::int64_t{p.longitude});
    if (p.known) {
        w.field("degreesMinutes", degreesMinutesText(p.latitude, true) + " " + degreesMinutesText(p.longitude, false));
        char decimal[48];
        std::snprintf(decimal, sizeof decimal, "%.5f, %.5f", decimalDegrees(p.latitude), decimalDegrees(p.longitude));
        w.field("decimal", decimal);
    }
    w.field("authenticationStatus", std::int64_t{p.authenticationStatus}).endObject();
}

void writeAuthenticationStatuses(JsonWriter& w, std::string_view name, const std::vector<AuthenticationStatusRecord>& list) {
    w.key(name).beginArray();
    for (const auto& a : list) w.beginObject().field("time", instant(a.time)).field("status", std::int64_t{a.status}).endObject();
    w.endArray();
}

void writeSecondVersion(JsonWriter& w, const CardApplicationData& app) {
    if (const auto& a = app.applicationIdentificationV2) {
        w.key("applicationIdentificationV2").beginObject();
        w.field("borderCrossingRecords", std::int64_t{a->borderCrossingRecords});
        w.field("loadUnloadRecords", std::int64_t{a->loadUnloadRecords});
        w.field("loadTypeEntryRecords", std::int64_t{a->loadTypeEntryRecords});
        w.field("vuConfigurationLength", std::int64_t{a->vuConfigurationLength}).endObject();
    }
    if (app.placeAuthentications) writeAuthenticationStatuses(w, "placeAuthentications", *app.placeAuthentications);
    if (app.gnssPlaceAuthentications) writeAuthenticationStatuses(w, "gnssPlaceAuthentications", *app.gnssPlaceAuthentications);
    if (const auto& crossings = app.borderCrossings) {
        w.key("borderCrossings").beginArray();
        for (const auto& b : *crossings) {
            w.beginObject().field("countryLeft", std::int64_t{b.countryLeft}).field("countryEntered", std::int64_t{b.countryEntered});
            writePosition(w, b.position);
            odometer(w, "odometer", b.odometer);
            w.endObject();
        }
        w.endArray();
    }
    if (const auto& operations = app.loadUnloadOperations) {
        w.key("loadUnloadOperations").beginArray();
        for (const auto& l : *operations) {
            w.beginObject().field("time", instant(l.time)).field("operation", loadOperationName(l.operation));
            writePosition(w, l.position);
            odometer(w, "odometer", l.odometer);
            w.endObject();
        }
        w.endArray();
    }
    if (const auto& entries = app.loadTypeEntries) {
        w.key("loadTypeEntries").beginArray();
        for (const auto& e : *entries) w.beginObject().field("time", instant(e.time)).field("loadType", std::int64_t{e.loadType}).endObject();
        w.endArray();
    }
    if (const auto& configuration = app.vuConfiguration) {
        const auto used = std::count_if(configuration->begin(), configuration->end(), [](std::uint8_t b) { return b != 0xFF; });
        w.key("vuConfiguration").beginObject().field("length", static_cast<std::int64_t>(configuration->size()));
        w.field("bytesInUse", static_cast<std::int64_t>(used)).endObject();
    }
    if (!app.recordDiagnostics.empty()) {
        w.key("recordDiagnostics").beginArray();
        for (const auto& text : app.recordDiagnostics) w.string(text);
        w.endArray();
    }
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
    writeSecondVersion(w, app);
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

void dumpJson(JsonWriter& w, const std::string& path, std::size_t size, const DriverCardFile& file) {
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
}

// Vehicle units: a value the unit has not written yet is left out of the JSON.
VuInstant written(std::int64_t t) { return isEmptyTime(t) ? VuInstant{} : VuInstant{t}; }
void optionalInstant(JsonWriter& w, std::string_view name, const VuInstant& t) {
    if (t) w.field(name, isoLocalText(*t));
}
void optionalDate(JsonWriter& w, std::string_view name, const VuInstant& t) {
    if (t) w.field(name, formatUtcDate(*t));
}
void optionalKm(JsonWriter& w, std::string_view name, const VuKm& km) {
    if (km) w.field(name, std::int64_t{*km});
}
void vuCard(JsonWriter& w, std::string_view name, const VuCardRef& card) {
    if (!card) return;
    w.key(name).beginObject().field("type", cardSlotName(card->type)).field("nation", std::int64_t{card->nation});
    w.field("number", card->number);
    if (card->generation) w.field("generation", std::int64_t{*card->generation});
    w.endObject();
}
void gnssPlace(JsonWriter& w, std::string_view name, const VuGnssPlace& p) {
    w.key(name).beginObject();
    optionalInstant(w, "time", p.time);
    w.field("accuracy", std::int64_t{p.accuracy}).field("latitude", std::int64_t{p.latitude}).field("longitude", std::int64_t{p.longitude});
    if (p.authenticated) w.field("authenticated", *p.authenticated);
    w.endObject();
}
void eventFaults(JsonWriter& w, std::string_view name, const std::vector<VuEventFault>& list) {
    w.key(name).beginArray();
    for (const auto& e : list) {
        w.beginObject().field("type", hex(e.type, 2)).field("name", eventFaultTypeName(e.type));
        w.field("purpose", eventFaultPurposeName(e.purpose));
        optionalInstant(w, "begin", e.begin);
        optionalInstant(w, "end", e.end);
        vuCard(w, "driverBegin", e.driverBegin);
        vuCard(w, "coDriverBegin", e.coDriverBegin);
        vuCard(w, "driverEnd", e.driverEnd);
        vuCard(w, "coDriverEnd", e.coDriverEnd);
        if (e.similarEvents) w.field("similarEvents", std::int64_t{*e.similarEvents});
        w.endObject();
    }
    w.endArray();
}
void serialNumber(JsonWriter& w, const VuSerial& s) {
    char text[40];
    std::snprintf(text, sizeof text, "%u %02u/%04u", s.serial, unsigned{s.month}, unsigned{s.year});
    w.key("serial").beginObject().field("number", text).field("equipmentType", std::int64_t{s.equipmentType});
    w.field("manufacturer", hex(s.manufacturerCode, 2)).endObject();
}
void pairedDevices(JsonWriter& w, std::string_view name, const std::vector<VuPairedDevice>& list) {
    w.key(name).beginArray();
    for (const auto& d : list) {
        w.beginObject();
        serialNumber(w, d.serial);
        w.field("approvalNumber", d.approvalNumber);
        optionalInstant(w, "pairing", d.pairing);
        w.endObject();
    }
    w.endArray();
}

void vuDay(JsonWriter& w, const VuDayBlock& day) {
    w.beginObject();
    optionalDate(w, "date", written(day.date));
    optionalKm(w, "odometerMidnight", isEmptyOdometer(day.odometerMidnight) ? VuKm{} : VuKm{day.odometerMidnight});
    w.key("cards").beginArray();
    for (const auto& r : day.cardRecords) {
        w.beginObject().field("surname", r.surname).field("firstNames", r.firstNames);
        w.field("cardNumber", r.cardNumber).field("slot", r.slot == 1 ? "co-driver" : "driver");
        vuCard(w, "card", r.card);
        optionalDate(w, "cardExpiry", r.cardExpiry);
        optionalInstant(w, "insertion", written(r.insertionTime));
        if (!isEmptyOdometer(r.odometerAtInsertion)) w.field("odometerAtInsertion", std::int64_t{r.odometerAtInsertion});
        optionalInstant(w, "withdrawal", written(r.withdrawalTime));
        if (!isEmptyOdometer(r.odometerAtWithdrawal)) w.field("odometerAtWithdrawal", std::int64_t{r.odometerAtWithdrawal});
        if (!r.previousVehicle.number.empty()) writeRegistration(w, "previousVehicle", r.previousVehicle);
        optionalInstant(w, "previousWithdrawal", r.previousWithdrawal);
        w.field("manualInput", r.manualInput).endObject();
    }
    w.endArray().key("activityChanges").beginArray();
    for (std::uint16_t word : day.activityChanges) w.string(changeText(word));
    w.endArray().key("places").beginArray();
    for (const auto& p : day.places) {
        w.beginObject();
        vuCard(w, "card", p.card);
        optionalInstant(w, "entryTime", p.entryTime);
        w.field("entryType", placeEntryTypeName(p.entryType)).field("country", nationName(p.country)).field("region", std::int64_t{p.region});
        optionalKm(w, "odometer", p.odometer);
        if (p.gnss) gnssPlace(w, "gnss", *p.gnss);
        w.endObject();
    }
    w.endArray().key("gnssPositions").beginArray();
    for (const auto& g : day.gnssPositions) {
        w.beginObject();
        optionalInstant(w, "time", g.time);
        vuCard(w, "driverCard", g.driverCard);
        vuCard(w, "coDriverCard", g.coDriverCard);
        gnssPlace(w, "place", g.place);
        optionalKm(w, "odometer", g.odometer);
        w.endObject();
    }
    w.endArray().key("specificConditions").beginArray();
    for (const auto& c : day.specificConditions) {
        w.beginObject();
        optionalInstant(w, "time", c.time);
        w.field("type", specificConditionName(c.type)).endObject();
    }
    w.endArray().key("borderCrossings").beginArray();
    for (const auto& b : day.borderCrossings) {
        w.beginObject();
        vuCard(w, "driverCard", b.driverCard);
        vuCard(w, "coDriverCard", b.coDriverCard);
        w.field("countryLeft", nationName(b.countryLeft)).field("countryEntered", nationName(b.countryEntered));
        gnssPlace(w, "place", b.place);
        optionalKm(w, "odometer", b.odometer);
        w.endObject();
    }
    w.endArray().key("loadUnloads").beginArray();
    for (const auto& l : day.loadUnloads) {
        w.beginObject();
        optionalInstant(w, "time", l.time);
        w.field("operation", loadOperationName(l.operation));
        vuCard(w, "driverCard", l.driverCard);
        vuCard(w, "coDriverCard", l.coDriverCard);
        gnssPlace(w, "place", l.place);
        optionalKm(w, "odometer", l.odometer);
        w.endObject();
    }
    w.endArray().endObject();
}

void vuTechnicalData(JsonWriter& w, const VuDownload& vu) {
    if (const auto& id = vu.identification) {
        w.key("unit").beginObject().field("manufacturer", id->manufacturerName).field("address", id->manufacturerAddress);
        w.field("partNumber", id->partNumber);
        serialNumber(w, id->serial);
        w.field("softwareVersion", id->softwareVersion);
        optionalInstant(w, "softwareInstallation", id->softwareInstallation);
        optionalDate(w, "manufacturingDate", id->manufacturingDate);
        w.field("approvalNumber", id->approvalNumber);
        if (id->generation) w.field("generation", std::int64_t{*id->generation});
        if (!id->digitalMapVersion.empty()) w.field("digitalMapVersion", id->digitalMapVersion);
        w.endObject();
    }
    pairedDevices(w, "sensors", vu.sensors);
    pairedDevices(w, "gnssFacilities", vu.gnssFacilities);
    w.key("calibrations").beginArray();
    for (const auto& c : vu.calibrations) {
        w.beginObject().field("purpose", calibrationPurposeName(c.purpose)).field("workshop", c.workshopName);
        w.field("workshopAddress", c.workshopAddress);
        vuCard(w, "workshopCard", c.workshopCard);
        optionalDate(w, "workshopCardExpiry", c.workshopCardExpiry);
        w.field("vin", c.vin);
        writeRegistration(w, "registration", c.registration);
        w.field("w", std::int64_t{c.w}).field("k", std::int64_t{c.k}).field("l", std::int64_t{c.l}).field("tyreSize", c.tyreSize);
        w.field("authorisedSpeed", std::int64_t{c.authorisedSpeed});
        optionalKm(w, "oldOdometer", c.oldOdometer);
        optionalKm(w, "newOdometer", c.newOdometer);
        optionalInstant(w, "oldTime", c.oldTime);
        optionalInstant(w, "newTime", c.newTime);
        optionalDate(w, "nextCalibration", c.nextCalibration);
        for (const auto& [name, device] : {std::pair{"sensorSerial", &c.sensorSerial}, std::pair{"gnssSerial", &c.gnssSerial},
                                           std::pair{"remoteCommunicationSerial", &c.remoteCommunicationSerial}}) {
            if (!*device) continue;
            w.key(name).beginObject();
            serialNumber(w, **device);
            w.endObject();
        }
        if (c.country != 0) {
            w.field("defaultLoadType", std::int64_t{c.defaultLoadType}).field("country", nationName(c.country));
            optionalInstant(w, "countryTime", c.countryTime);
        }
        w.key("seals").beginArray();
        for (const auto& seal : c.seals) {
            w.beginObject().field("equipmentType", std::int64_t{seal.equipmentType}).field("manufacturer", hex(seal.manufacturerCode, 4));
            w.field("identifier", seal.identifier).endObject();
        }
        w.endArray().endObject();
    }
    w.endArray().key("cardsUsed").beginArray();
    for (const auto& card : vu.cardsUsed) {
        w.beginObject().field("type", cardSlotName(card.type)).field("nation", std::int64_t{card.nation}).field("number", card.number).endObject();
    }
    w.endArray().key("itsConsents").beginArray();
    for (const auto& consent : vu.itsConsents) {
        w.beginObject();
        vuCard(w, "card", consent.card);
        w.field("consent", consent.consent).endObject();
    }
    w.endArray();
}

void dumpVuJson(JsonWriter& w, const std::string& path, std::size_t size, const VuDownload& vu, const AuthenticityCheck& check) {
    w.beginObject().field("file", path).field("size", static_cast<std::int64_t>(size)).field("kind", "vehicle unit");
    w.field("isGen2Format", vu.isGen2Format).field("complete", vu.complete);
    w.field("stoppedAt", static_cast<std::int64_t>(vu.stoppedAt));
    if (!vu.complete) w.field("stopReason", vu.stopReason);
    w.key("problems").beginArray();
    for (const auto& problem : vu.problems) w.string(problem);
    w.endArray().key("blocks").beginArray();
    for (const auto& b : vu.blocks) {
        w.beginObject().field("trep", hex(b.trep, 2)).field("name", vuBlockName(b)).field("offset", static_cast<std::int64_t>(b.offset));
        w.field("end", static_cast<std::int64_t>(b.end)).field("whole", b.whole).field("signed", !b.signature.empty()).endObject();
    }
    w.endArray();
    w.field("vin", vu.vin).field("registrationNumber", vu.registrationNumber);
    if (vu.hasRegistration) {
        w.field("registrationNation", std::int64_t{vu.registrationNation}).field("nationName", nationName(vu.registrationNation));
    }
    optionalInstant(w, "vuTime", written(vu.vuTime));
    optionalInstant(w, "downloadableFrom", written(vu.downloadableFrom));
    optionalInstant(w, "downloadableTo", written(vu.downloadableTo));
    if (vu.cardSlots) {
        w.key("cardSlots").beginObject().field("driver", cardSlotName(*vu.cardSlots & 0x0F));
        w.field("coDriver", cardSlotName(*vu.cardSlots >> 4)).endObject();
    }
    if (const auto& last = vu.lastDownload) {
        w.key("lastDownload").beginObject();
        optionalInstant(w, "time", last->time);
        vuCard(w, "card", last->card);
        w.field("company", last->companyOrWorkshop).endObject();
    }
    w.key("companyLocks").beginArray();
    for (const auto& lock : vu.companyLocks) {
        w.beginObject();
        optionalInstant(w, "lockIn", lock.lockIn);
        optionalInstant(w, "lockOut", lock.lockOut);
        w.field("company", lock.companyName).field("address", lock.companyAddress);
        vuCard(w, "card", lock.card);
        w.endObject();
    }
    w.endArray().key("controls").beginArray();
    for (const auto& control : vu.controls) {
        w.beginObject().field("type", controlTypeName(control.type));
        optionalInstant(w, "time", control.time);
        vuCard(w, "card", control.card);
        optionalInstant(w, "periodBegin", control.periodBegin);
        optionalInstant(w, "periodEnd", control.periodEnd);
        w.endObject();
    }
    w.endArray().key("days").beginArray();
    for (const auto& day : vu.days) vuDay(w, day);
    w.endArray();
    eventFaults(w, "faults", vu.faults);
    eventFaults(w, "events", vu.events);
    if (const auto& o = vu.overspeedControl) {
        w.key("overspeedControl").beginObject();
        optionalInstant(w, "lastControl", o->lastControl);
        optionalInstant(w, "firstOverspeedSince", o->firstOverspeedSince);
        w.field("overspeedsSince", std::int64_t{o->overspeedsSince}).endObject();
    }
    w.key("overspeedEvents").beginArray();
    for (const auto& e : vu.overspeedEvents) {
        w.beginObject().field("purpose", eventFaultPurposeName(e.purpose));
        optionalInstant(w, "begin", e.begin);
        optionalInstant(w, "end", e.end);
        w.field("maxSpeed", std::int64_t{e.maxSpeed}).field("averageSpeed", std::int64_t{e.averageSpeed});
        vuCard(w, "driverBegin", e.driverBegin);
        w.field("similarEvents", std::int64_t{e.similarEvents}).endObject();
    }
    w.endArray().key("timeAdjustments").beginArray();
    for (const auto& t : vu.timeAdjustments) {
        w.beginObject();
        optionalInstant(w, "oldTime", t.oldTime);
        optionalInstant(w, "newTime", t.newTime);
        w.field("workshop", t.workshopName).field("workshopAddress", t.workshopAddress);
        vuCard(w, "workshopCard", t.workshopCard);
        w.endObject();
    }
    w.endArray();
    eventFaults(w, "powerInterruptions", vu.powerInterruptions);
    // One line of speeds per minute keeps a day's 1440 minutes readable.
    w.key("detailedSpeed").beginArray();
    std::string speeds;
    for (const auto& minute : vu.speed) {
        speeds.clear();
        for (std::uint8_t s : minute.speeds) speeds.append(shortText(speeds.empty() ? "%u" : " %u", unsigned{s}));
        w.beginObject().field("begin", instant(minute.begin)).field("speeds", speeds).endObject();
    }
    w.endArray();
    vuTechnicalData(w, vu);
    writeAuthenticity(w, check);
    w.endObject();
}

// "-" for what the unit has not written yet.
std::string orDash(const VuInstant& t) { return t ? formatDateTime(*t) : "-"; }
std::string orDash(const VuKm& km) { return km ? std::to_string(*km) + " km" : "-"; }

void printVuSummary(const std::string& path, const VuDownload& vu, const AuthenticityCheck& check) {
    std::printf("Vehicle unit download %s\n", path.c_str());
    if (vu.stoppedAt > 0) {
        std::printf("  generation: %s\n", vu.generation == VuGeneration::First    ? "first (fixed structures)"
                                          : vu.generation == VuGeneration::Second ? "second (record arrays)"
                                                                                  : "second, version 2 (record arrays)");
    }
    std::printf("  vehicle: %s, VIN %s\n", vu.registrationNumber.c_str(), vu.vin.c_str());
    std::printf("  downloadable: %s to %s\n", instant(vu.downloadableFrom).c_str(), instant(vu.downloadableTo).c_str());
    if (const auto& id = vu.identification) {
        std::printf("  unit: %s, part %s, serial %u, software %s, approval %s\n", id->manufacturerName.c_str(), id->partNumber.c_str(),
                    id->serial.serial, id->softwareVersion.c_str(), id->approvalNumber.c_str());
    }
    if (const auto& last = vu.lastDownload) {
        std::printf("  last download: %s by %s\n", orDash(last->time).c_str(), last->companyOrWorkshop.c_str());
    }
    for (const auto& lock : vu.companyLocks) {
        std::printf("  company lock: %s, %s to %s\n", lock.companyName.c_str(), orDash(lock.lockIn).c_str(), orDash(lock.lockOut).c_str());
    }
    std::size_t stays = 0;
    for (const auto& day : vu.days) stays += day.cardRecords.size();
    std::printf("  days: %zu, card insertions: %zu\n", vu.days.size(), stays);
    std::printf("  events: %zu, faults: %zu, overspeeding: %zu, time adjustments: %zu, power interruptions: %zu\n", vu.events.size(),
                vu.faults.size(), vu.overspeedEvents.size(), vu.timeAdjustments.size(), vu.powerInterruptions.size());
    for (const auto* list : {&vu.events, &vu.faults}) {
        for (const auto& e : *list) {
            std::printf("    %s: %s to %s\n", eventFaultTypeName(e.type).c_str(), orDash(e.begin).c_str(), orDash(e.end).c_str());
        }
    }
    std::printf("  detailed speed: %zu minutes\n", vu.speed.size());
    for (const auto& c : vu.calibrations) {
        std::printf("  calibration: %s by %s, odometer %s -> %s, next %s\n", calibrationPurposeName(c.purpose).c_str(),
                    c.workshopName.c_str(), orDash(c.oldOdometer).c_str(), orDash(c.newOdometer).c_str(),
                    c.nextCalibration ? formatUtcDate(*c.nextCalibration).c_str() : "-");
    }
    for (const auto& problem : vu.problems) std::printf("  problem: %s\n", problem.c_str());
    std::printf("  signatures: %s\n", authenticityText(check.status));
    for (const auto& problem : check.problems) std::printf("    failed: %s\n", problem.c_str());
    for (const auto& note : check.notes) std::printf("    %s\n", note.c_str());
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
        std::printf("  valid until: %s\n", date(id->expiryDate).c_str());
    }
    if (const auto& activity = app.driverActivity; activity && !activity->days.empty()) {
        std::printf("  activity: %zu days from %s to %s\n", activity->days.size(),
                    date(activity->days.front().date).c_str(), date(activity->days.back().date).c_str());
    }
    if (app.vehiclesUsed) std::printf("  vehicles used: %zu\n", app.vehiclesUsed->chronological.size());
    if (app.places) std::printf("  places: %zu\n", app.places->size());
    if (app.events) std::printf("  events: %zu\n", app.events->size());
    if (app.faults) std::printf("  faults: %zu\n", app.faults->size());
    if (app.borderCrossings) std::printf("  border crossings: %zu\n", app.borderCrossings->size());
    if (app.loadUnloadOperations) std::printf("  load/unload operations: %zu\n", app.loadUnloadOperations->size());
    for (const auto& note : app.recordDiagnostics) std::printf("  record left out or corrected: %s\n", note.c_str());
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

// Writes to standard output; a text that could not be written whole is a failure, not a success
// with a cut output.
bool writeOut(std::string_view left) {
    while (!left.empty()) {
        const ssize_t n = ::write(STDOUT_FILENO, left.data(), left.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            std::fprintf(stderr, "ddd-dump: cannot write the output: %s\n", std::strerror(errno));
            return false;
        }
        left.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// A dump goes out in one write: its buffer lies in the huge page the whole heap of the run comes
// from (huge_page_heap.cpp), so its size costs nothing, and the largest card dump fits in it.
constexpr std::size_t kOutputPieceBytes = 512 * 1024;

template <typename Dump>
int writeDump(bool pretty, Dump dump) {
    bool written = true;
    JsonWriter w(pretty, [&](std::string_view piece) { written = written && writeOut(piece); }, kOutputPieceBytes);
    dump(w);
    w.finish();
    return written && writeOut("\n") ? 0 : 1;
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
        if (writeDump(false, [&](JsonWriter& w) { writeAnalysisJson(w, result); }) != 0) return 1;
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
        const AuthenticityCheck check = verifyVuDownload(bytes, vu, installedTrustAnchors());
        if (summary) {
            printVuSummary(path, vu, check);
        } else {
            return writeDump(true, [&](JsonWriter& w) { dumpVuJson(w, path, bytes.size(), vu, check); });
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
        return writeDump(true, [&](JsonWriter& w) { dumpJson(w, path, bytes.size(), decoded.value()); });
    }
    return 0;
}
