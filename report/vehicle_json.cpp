#include "report/vehicle_json.h"

#include <algorithm>
#include <map>

#include "analysis/local_time.h"
#include "core/code_names.h"
#include "core/json_writer.h"
#include "core/primitives.h"
#include "report/vehicle_text.h"

namespace ddd::report {
namespace {

std::int64_t count(std::size_t n) { return static_cast<std::int64_t>(n); }

void writeStrings(JsonWriter& w, std::string_view name, const std::vector<std::string>& texts) {
    w.key(name).beginArray();
    for (const auto& text : texts) w.string(text);
    w.endArray();
}

void writeUnit(JsonWriter& w, const VehicleModel& m) {
    w.key("unit");
    if (!m.unit) {
        w.raw("null");
        return;
    }
    const VuIdentification& u = *m.unit;
    w.beginObject().field("maker", u.manufacturerName).field("address", u.manufacturerAddress);
    w.field("model", unitModelText(u)).field("partNumber", u.partNumber).field("software", u.softwareVersion);
    w.field("serial", serialText(u.serial)).field("approval", u.approvalNumber);
    w.field("manufactured", dateValueText(u.manufacturingDate));
    w.field("generation", m.generation ? vuGenerationName(*m.generation) : std::string()).endObject();
}

void writeSources(JsonWriter& w, const VehicleModel& m) {
    w.key("sources").beginArray();
    for (std::size_t i = 0; i < m.sources.size(); ++i) {
        const VehicleSource& s = m.sources[i];
        const VuDownload& vu = s.download;
        w.beginObject().field("file", visibleText(s.fileName())).field("path", s.path);
        w.field("downloaded", isEmptyTime(vu.vuTime) ? std::string(kNotKnown) : formatDateTime(vu.vuTime));
        w.field("generation", vu.generation ? vuGenerationName(*vu.generation) : std::string());
        w.field("signature", authenticityText(s.authenticity.status)).field("signatureText", signatureText(s.authenticity));
        w.field("complete", vu.complete).field("days", std::int64_t{m.sourceDays[i]});
        writeStrings(w, "problems", vu.problems);
        w.endObject();
    }
    w.endArray().key("provenance").beginArray();
    for (std::size_t d = 0; d < m.days.size(); ++d) {
        w.beginObject().field("date", formatUtcDate(m.days[d].date));
        w.field("file", visibleText(m.sources[m.daySource[d]].fileName())).endObject();
    }
    w.endArray();
}

void writeNoCard(JsonWriter& w, const VehicleModel& m) {
    std::int64_t total = 0;
    std::vector<const NoCardStretch*> all;
    std::map<std::int64_t, std::vector<const NoCardStretch*>> byDay;
    w.key("noCard").beginObject().key("stretches").beginArray();
    for (const NoCardStretch& s : m.noCard) {
        total += s.end - s.begin;
        all.push_back(&s);
        byDay[localDayNumber(s.begin)].push_back(&s);
        w.beginObject().field("date", formatDate(s.begin)).field("slot", std::int64_t{s.slot + 1});
        w.field("slotName", slotName(s.slot)).field("beg", formatTime(s.begin)).field("end", formatTime(s.end));
        w.field("dur", formatDurationSeconds(s.end - s.begin)).field("km", kmText(s.km));
        w.field("begin", formatDateTime(s.begin)).field("endAt", formatDateTime(s.end)).endObject();
    }
    w.endArray().key("days").beginArray();
    for (const auto& [day, stretches] : byDay) {
        std::int64_t seconds = 0;
        for (const auto* s : stretches) seconds += s->end - s->begin;
        w.beginObject().field("date", formatDate(stretches.front()->begin)).field("count", count(stretches.size()));
        w.field("dur", formatDurationSeconds(seconds)).field("km", kmTotalText(stretches)).endObject();
    }
    w.endArray();
    w.field("count", count(m.noCard.size())).field("dur", formatDurationSeconds(total)).field("km", kmTotalText(all));
    w.endObject();
}

void writeChart(JsonWriter& w, const VehicleModel& m) {
    w.key("chart").beginArray();
    for (const ChartDay& day : noCardChartDays(m)) {
        w.beginObject().field("date", formatDate(day.midnight)).key("slots").beginArray();
        for (const auto& slot : day.slots) {
            w.beginArray();
            for (const ChartSegment& seg : slot) {
                w.beginObject().field("b", seg.begin).field("e", seg.end).field("a", std::int64_t{seg.activity});
                w.field("card", seg.cardInserted).endObject();
            }
            w.endArray();
        }
        w.endArray().endObject();
    }
    w.endArray();
}

void writeEvents(JsonWriter& w, const VehicleModel& m) {
    w.key("events").beginArray();
    for (const VehicleEventGroup& g : m.events) {
        std::vector<VuCardRef> cards;
        for (const auto& r : g.records) {
            for (const auto& c : cardsOf(r.record)) cards.push_back(c);
        }
        const bool highlight = g.kind == VehicleEventKind::Overspeed || g.kind == VehicleEventKind::Power;
        w.beginObject().field("code", std::int64_t{g.type}).field("name", eventFaultTypeName(g.type));
        w.field("kind", eventKindKey(g.kind)).field("kindName", eventKindName(g.kind)).field("highlight", highlight);
        w.field("count", count(g.records.size())).field("first", instantText(g.records.front().record.begin));
        w.field("last", instantText(g.records.back().record.begin)).field("cards", cardsText(cards));
        w.key("records").beginArray();
        for (const auto& r : g.records) {
            w.beginObject().field("beg", instantText(r.record.begin)).field("end", instantText(r.record.end));
            w.field("purpose", eventFaultPurposeName(r.record.purpose)).field("cards", cardsText(cardsOf(r.record)));
            w.field("similar", std::int64_t{r.record.similarEvents.value_or(0)});
            if (r.maxSpeed) w.field("maxSpeed", std::int64_t{*r.maxSpeed}).field("avgSpeed", std::int64_t{r.averageSpeed.value_or(0)});
            w.endObject();
        }
        w.endArray().endObject();
    }
    w.endArray().key("overspeedControl");
    if (m.overspeedControl) {
        const VuOverspeedControl& o = *m.overspeedControl;
        w.beginObject().field("last", instantText(o.lastControl)).field("firstSince", instantText(o.firstOverspeedSince));
        w.field("count", std::int64_t{o.overspeedsSince}).endObject();
    } else {
        w.raw("null");
    }
    w.key("timeAdjustments").beginArray();
    for (const auto& a : m.timeAdjustments) {
        w.beginObject().field("old", instantText(a.oldTime)).field("new", instantText(a.newTime));
        w.field("workshop", a.workshopName).field("address", a.workshopAddress).field("card", cardText(a.workshopCard)).endObject();
    }
    w.endArray();
}

void writeCalibrations(JsonWriter& w, const VehicleModel& m) {
    w.key("calibrations").beginArray();
    for (const VuCalibration& c : m.calibrations) {
        w.beginObject().field("purpose", calibrationPurposeName(c.purpose)).field("when", instantText(c.newTime));
        w.field("workshop", c.workshopName).field("card", cardText(c.workshopCard)).field("vin", c.vin);
        w.field("plate", c.registration.number).field("w", std::int64_t{c.w}).field("k", std::int64_t{c.k});
        w.field("l", std::int64_t{c.l}).field("tyre", c.tyreSize).field("speed", std::int64_t{c.authorisedSpeed});
        w.field("odoOld", odometerText(c.oldOdometer)).field("odoNew", odometerText(c.newOdometer));
        w.field("next", dateValueText(c.nextCalibration)).endObject();
    }
    w.endArray().key("calibration").beginObject();
    writeDueFields(w, m.calibrationDue, "Kalibrierung");
    w.endObject();
}

void writeOverview(JsonWriter& w, const VehicleModel& m) {
    w.key("locks").beginArray();
    for (const VuCompanyLock& l : m.locks) {
        w.beginObject().field("company", l.companyName).field("address", l.companyAddress).field("card", cardText(l.card));
        w.field("in", instantText(l.lockIn)).field("out", l.lockOut ? formatDateTime(*l.lockOut) : std::string());
        w.field("active", !l.lockOut).endObject();
    }
    w.endArray().key("download").beginObject();
    w.field("last", instantText(m.lastDownload.last)).field("card", cardText(m.lastDownload.card));
    w.field("company", m.lastDownload.company);
    writeDueFields(w, m.downloadDue, "Download");
    w.endObject().key("controls").beginArray();
    for (const VuControl& c : m.controls) {
        w.beginObject().field("when", instantText(c.time)).field("type", controlTypeName(c.type)).field("card", cardText(c.card));
        w.field("begin", instantText(c.periodBegin)).field("end", instantText(c.periodEnd)).endObject();
    }
    w.endArray().key("drivers").beginArray();
    for (const VehicleDriver& d : m.drivers) {
        w.beginObject().field("name", d.name).field("card", d.card.number).field("nation", std::int64_t{d.card.nation});
        w.field("first", formatDateTime(d.firstInsertion)).field("last", formatDateTime(d.lastInsertion));
        w.field("insertions", std::int64_t{d.insertions}).field("slots", slotsText(d)).field("file", d.cardFile).endObject();
    }
    w.endArray();
}

}  // namespace

void writeDueFields(JsonWriter& w, const DueDate& due, const std::string& what) {
    w.field("due", due.due ? formatUtcDate(*due.due) : std::string()).field("state", dueStateKey(due.state));
    w.field("days", due.daysLeft).field("text", dueText(what, due));
}

std::string toVehicleJson(const OpenedVehicle& opened) {
    JsonWriter w;
    w.beginObject();
    if (!opened.error.empty()) {
        w.field("ok", false).field("vehicle", true).field("error", opened.error).endObject();
        return w.take();
    }
    const VehicleModel& m = opened.model;
    std::size_t records = 0;
    for (const auto& g : m.events) records += g.records.size();
    w.field("ok", true).field("vehicle", true).field("vin", m.vin).field("plate", m.plate);
    w.field("nation", std::int64_t{m.nation}).field("nationName", nationName(m.nation));
    writeUnit(w, m);
    w.field("period", periodOf(m)).field("folder", opened.folder);
    writeSources(w, m);
    writeStrings(w, "problems", m.problems);
    w.key("skipped").raw(skippedFilesJson(m.skipped));
    w.key("counts").beginObject().field("noCard", count(m.noCard.size())).field("events", count(records));
    w.field("calibrations", count(m.calibrations.size())).field("locks", count(m.locks.size()));
    w.field("drivers", count(m.drivers.size())).field("days", count(m.days.size())).endObject();
    writeNoCard(w, m);
    writeChart(w, m);
    writeEvents(w, m);
    writeCalibrations(w, m);
    writeOverview(w, m);
    w.endObject();
    return w.take();
}

std::string vehicleDocumentOfFile(const std::string& path, std::int64_t nowUtc) {
    return toVehicleJson(openVehicle(path, nowUtc));
}

}  // namespace ddd::report
