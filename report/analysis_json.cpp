#include "report/analysis_json.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "analysis/pipeline.h"
#include "analysis/reference_rules.h"
#include "core/folder_walk.h"
#include "core/code_names.h"
#include "core/json_writer.h"
#include "report/month_restriction.h"

namespace ddd {
namespace {

std::string dateOrDash(std::int64_t t) { return isEmptyTime(t) ? "-" : formatDate(t); }

// An odometer not written yet is the empty text, so that no reader takes 16777215 for kilometres.
void odometerField(JsonWriter& w, std::string_view key, std::uint32_t km) {
    if (isEmptyOdometer(km)) {
        w.field(key, "");
    } else {
        w.field(key, std::int64_t{km});
    }
}

void writeTriple(JsonWriter& w, std::string_view name, std::int64_t total, std::int64_t day) {
    w.key(name).beginArray();
    w.string(formatDurationMinutes(total)).string(formatDurationMinutes(day)).string(formatDurationMinutes(total - day));
    w.endArray();
}

void writeShift(JsonWriter& w, const ShiftRecord& shift) {
    const CoreShift& s = shift.core;
    const ShiftDetail& d = shift.detail;
    w.beginObject();
    w.field("date", formatDate(s.start)).field("beg", formatTime(s.start)).field("end", formatTime(s.end));
    w.field("dur", formatDurationSeconds(s.end - s.start));
    w.field("drive", formatDurationSeconds(s.drive)).field("work", formatDurationSeconds(s.work));
    w.field("standby", formatDurationSeconds(s.standby)).field("rest", formatDurationMinutes(d.rest));
    w.key("pdf").beginObject();
    w.field("edate", formatDate(s.end)).field("veh", d.vehicle).field("stops", d.stops).field("acts", d.acts);
    const DayNightMinutes* parts[] = {&d.drive, &d.work, &d.standby, &d.breakTime, &d.unknown};
    std::int64_t allTotal = 0, allDay = 0;
    for (const auto* part : parts) {
        allTotal += part->total;
        allDay += part->day;
    }
    writeTriple(w, "durT", allTotal, allDay);
    writeTriple(w, "drv", d.drive.total, d.drive.day);
    writeTriple(w, "wrk", d.work.total, d.work.day);
    writeTriple(w, "sby", d.standby.total, d.standby.day);
    writeTriple(w, "pau", d.breakTime.total, d.breakTime.day);
    writeTriple(w, "unk", d.unknown.total, d.unknown.day);
    writeTriple(w, "dw", d.drive.total + d.work.total, d.drive.day + d.work.day);
    writeTriple(w, "dws", d.drive.total + d.work.total + d.standby.total, d.drive.day + d.work.day + d.standby.day);
    w.field("low", d.weekly).field("restC", formatDurationMinutes(d.restCompensated));
    w.field("restS", formatDurationMinutes(d.restSplit)).field("dist", std::to_string(d.distance));
    w.endObject().endObject();
}

void writeReferenceViolation(JsonWriter& w, const ReferenceViolation& v) {
    w.beginObject().field("code", std::int64_t{v.code}).field("rule", referenceRuleText(v.code));
    w.field("when", formatDateDotTime(v.when));
    if (v.code == kRefReducedDailyRestCount) {
        w.field("val", std::to_string(v.value)).field("lim", std::to_string(v.limit));
    } else {
        w.field("val", formatDurationMinutes(v.value)).field("lim", formatDurationMinutes(v.limit));
    }
    w.field("lvl", std::int64_t{v.level}).endObject();
}

void writeLegalViolation(JsonWriter& w, const LegalViolation& v) {
    w.beginObject().field("code", v.code).field("article", v.article.empty() ? v.regulation : v.article);
    w.field("severity", severityText(v.severity)).field("when", formatDateDotTime(v.when));
    if (v.countValued) {
        w.field("val", v.value).field("lim", v.limit);
    } else {
        w.field("val", formatDurationSeconds(v.value)).field("lim", formatDurationSeconds(v.limit));
    }
    w.endObject();
}

void writeLists(JsonWriter& w, const AnalysisResult& r) {
    w.key("coverageGaps").beginArray();
    for (const auto& gap : r.coverageGaps) {
        w.beginObject().field("beg", formatDateTime(gap.begin)).field("end", formatDateTime(gap.end));
        w.field("dur", formatDurationSeconds(gap.end - gap.begin)).field("cause", coverageCauseText(gap.cause));
        w.endObject();
    }
    w.endArray().key("forecasts").beginArray();
    for (const auto& f : r.forecasts) {
        w.beginObject().field("type", "max").field("val", formatDurationSeconds(f.value));
        w.field("max", formatDurationSeconds(f.max)).field("when", formatDate(f.when)).endObject();
    }
    w.endArray().key("vehicles").beginArray();
    for (const auto& v : r.vehicles) {
        w.beginObject().field("plate", v.registration.number).field("nation", std::int64_t{v.registration.nation});
        w.field("first", dateOrDash(v.firstUse)).field("last", dateOrDash(v.lastUse));
        odometerField(w, "odoStart", v.odometerBegin);
        odometerField(w, "odoEnd", v.odometerEnd);
        w.endObject();
    }
    w.endArray().key("countries").beginArray();
    for (const auto& p : r.countries) {
        w.beginObject().field("when", formatDateTime(p.entryTime)).field("type", std::int64_t{p.entryType});
        w.field("country", std::int64_t{p.country});
        odometerField(w, "odometer", p.odometer);
        w.field("card", "");
        w.endObject();
    }
    w.endArray().key("events").beginArray();
    for (const auto& e : r.events) {
        w.beginObject().field("type", std::int64_t{e.type}).field("purpose", "").field("start", formatDateTime(e.begin));
        w.field("end", isEmptyTime(e.end) ? std::string("-") : formatDateTime(e.end));
        w.field("plate", e.vehicle.number).field("codriver", "").endObject();
    }
    w.endArray().key("controls").beginArray();
    for (const auto& c : r.controls) {
        w.beginObject().field("when", formatDateTime(c.controlTime)).field("type", std::int64_t{c.controlType});
        w.field("card", cardNumberText(c.controlCardNumber)).field("plate", c.controlVehicle.number);
        w.field("begin", isEmptyTime(c.downloadPeriodBegin) ? std::string("- -") : formatDateTime(c.downloadPeriodBegin));
        w.field("end", isEmptyTime(c.downloadPeriodEnd) ? std::string("- -") : formatDateTime(c.downloadPeriodEnd));
        w.endObject();
    }
    w.endArray().key("specials").beginArray();
    for (const auto& s : r.specials) {
        w.beginObject().field("when", formatDateTime(s.entryTime)).field("type", std::int64_t{s.conditionType}).endObject();
    }
    w.endArray().key("activities").beginArray();
    for (const auto& a : r.activities) {
        w.beginObject().field("date", formatDate(a.start)).field("beg", formatTime(a.start)).field("end", formatTime(a.end));
        w.field("dur", formatDurationSeconds(a.end - a.start));
        w.field("type", a.type == kUnknownActivity ? std::int64_t{kActivityUnknown} : std::int64_t{a.type});
        w.field("card", a.cardAbsent == 0).endObject();
    }
    w.endArray();
}

void writeStrings(JsonWriter& w, std::string_view name, const std::vector<std::string>& texts) {
    w.key(name).beginArray();
    for (const auto& text : texts) w.string(text);
    w.endArray();
}

// Added after every other member so that readers of the earlier document see it unchanged.
void writeAuthenticity(JsonWriter& w, const std::vector<DownloadAuthenticity>& downloads) {
    w.key("authenticity").beginArray();
    for (const auto& d : downloads) {
        w.beginObject().field("file", visibleText(d.file));
        w.field("status", d.check ? authenticityText(d.check->status) : "unchecked");
        writeStrings(w, "problems", d.check ? d.check->problems : std::vector<std::string>{});
        writeStrings(w, "notes", d.check ? d.check->notes : std::vector<std::string>{});
        writeStrings(w, "sentences", d.check ? d.check->sentences : std::vector<std::string>{});
        w.endObject();
    }
    w.endArray();
}

void writeLimitUse(JsonWriter& w, std::string_view name, const LimitUse& use) {
    w.key(name).beginObject().field("used", formatDurationSeconds(use.used)).field("limit", formatDurationSeconds(use.limit));
    w.field("left", formatDurationSeconds(use.left())).endObject();
}

std::string dateTimeOrEmpty(const std::optional<std::int64_t>& t) { return t ? formatDateTime(*t) : std::string(); }

// Also after the earlier members; null when no activity is known.
void writeRemaining(JsonWriter& w, const std::optional<RemainingTimes>& remaining) {
    w.key("remaining");
    if (!remaining) {
        w.raw("null");
        return;
    }
    const RemainingTimes& r = *remaining;
    w.beginObject().field("asOf", formatDateTime(r.asOf));
    writeLimitUse(w, "dailyDriving", r.dailyDriving);
    writeLimitUse(w, "drivingSinceBreak", r.drivingSinceBreak);
    writeLimitUse(w, "weeklyDriving", r.weeklyDriving);
    writeLimitUse(w, "fortnightDriving", r.fortnightDriving);
    writeLimitUse(w, "weeklyWorkingTime", r.weeklyWorkingTime);
    w.field("dailyRestLatestStart", dateTimeOrEmpty(r.dailyRestLatestStart));
    w.field("weeklyRestLatestStart", dateTimeOrEmpty(r.weeklyRestLatestStart));
    w.field("reducedDailyRestsLeft", std::int64_t{r.reducedDailyRestsLeft});
    w.field("reducedDailyRestsAllowed", std::int64_t{kReducedDailyRestsAllowed});
    w.field("extensionsLeft", std::int64_t{r.extensionsLeft});
    w.field("extensionsAllowed", std::int64_t{kDrivingExtensionsAllowed}).endObject();
}

// The German name of every code the lists carry, by list and code.
template <class Records, class CodeOf>
void writeNames(JsonWriter& w, std::string_view list, const Records& records, CodeOf codeOf,
                std::string (*nameOf)(std::uint8_t)) {
    std::map<int, std::string> names;
    for (const auto& record : records) names.emplace(codeOf(record), nameOf(codeOf(record)));
    w.key(list).beginObject();
    for (const auto& [code, name] : names) w.field(std::to_string(code), name);
    w.endObject();
}

void writeCodeNames(JsonWriter& w, const AnalysisResult& r) {
    w.key("codeNames").beginObject();
    writeNames(w, "events", r.events, [](const EventFaultRecord& e) { return e.type; }, eventFaultTypeName);
    writeNames(w, "controls", r.controls, [](const ControlActivity& c) { return c.controlType; }, controlTypeName);
    writeNames(w, "specials", r.specials, [](const SpecificConditionRecord& s) { return s.conditionType; },
               specificConditionName);
    writeNames(w, "countries", r.countries, [](const PlaceRecord& p) { return p.entryType; }, placeEntryTypeName);
    w.endObject();
}

// A position as the card stores it (degrees and minutes) and in decimal degrees; null when the
// unit recorded none or an impossible one.
void writePosition(JsonWriter& w, const GnssPosition& p) {
    w.key("position");
    if (!p.known) {
        w.raw("null");
        return;
    }
    char decimal[24];
    w.beginObject().field("lat", degreesMinutesText(p.latitude, true)).field("lon", degreesMinutesText(p.longitude, false));
    std::snprintf(decimal, sizeof decimal, "%.5f", decimalDegrees(p.latitude));
    w.key("latDec").raw(decimal);
    std::snprintf(decimal, sizeof decimal, "%.5f", decimalDegrees(p.longitude));
    w.key("lonDec").raw(decimal);
    w.field("accuracy", std::int64_t{p.accuracy}).endObject();
}

// The second version's records, after all earlier members: empty for other cards.
void writeSecondVersion(JsonWriter& w, const AnalysisResult& r) {
    w.key("borderCrossings").beginArray();
    for (const auto& b : r.borderCrossings) {
        w.beginObject().field("when", formatDateTime(b.position.time)).field("from", std::int64_t{b.countryLeft});
        w.field("to", std::int64_t{b.countryEntered});
        writePosition(w, b.position);
        odometerField(w, "odometer", b.odometer);
        w.field("authenticated", b.position.authenticated()).endObject();
    }
    w.endArray().key("loadOperations").beginArray();
    for (const auto& l : r.loadOperations) {
        w.beginObject().field("when", formatDateTime(l.time)).field("type", std::int64_t{l.operation});
        w.field("name", loadOperationName(l.operation));
        writePosition(w, l.position);
        odometerField(w, "odometer", l.odometer);
        w.field("authenticated", l.position.authenticated()).endObject();
    }
    w.endArray().key("countryDays").beginArray();
    for (const auto& d : r.countryDays) {
        w.beginObject().field("date", formatDate(d.day)).field("fromPlaces", d.fromPlaces).key("countries").beginArray();
        for (const auto& c : d.countries) {
            w.beginObject().field("country", std::int64_t{c.country}).field("drive", formatDurationSeconds(c.driving));
            w.field("work", formatDurationSeconds(c.work)).field("standby", formatDurationSeconds(c.availability));
            w.field("total", formatDurationSeconds(c.workingTime())).endObject();
        }
        w.endArray().endObject();
    }
    w.endArray();
    writeStrings(w, "recordDiagnostics", r.recordDiagnostics);
}

// Generous for every list, so that the document is written into one buffer that never moves;
// what is reserved beyond the need is never touched.
std::size_t expectedDocumentBytes(const AnalysisResult& r) {
    const std::size_t records = r.activities.size() + 4 * r.shifts.size() + r.violations.size() + r.legalViolations.size() +
                                r.forecasts.size() + r.coverageGaps.size() + r.vehicles.size() + r.countries.size() +
                                r.events.size() + r.controls.size() + r.specials.size() + 4 * r.authenticity.size() +
                                r.borderCrossings.size() + r.loadOperations.size() + 4 * r.countryDays.size();
    return 65536 + 512 * records;
}

}  // namespace

std::string toAnalysisJson(const AnalysisResult& r) {
    JsonWriter w(false, expectedDocumentBytes(r));
    writeAnalysisJson(w, r);
    return w.take();
}

void writeAnalysisJson(JsonWriter& w, const AnalysisResult& r) {
    w.beginObject();
    if (!r.ok) {
        w.field("ok", false).field("error", r.error).endObject();
        return;
    }
    w.field("ok", true).field("driver", r.driver).field("card", r.card).field("nation", std::int64_t{r.nation});
    w.field("period", periodText(coveredDays(r.activities), false)).field("filesMerged", std::int64_t{r.filesMerged});
    w.key("counts").beginObject();
    w.field("shifts", static_cast<std::int64_t>(r.shifts.size()));
    w.field("violations", static_cast<std::int64_t>(r.violations.size()));
    w.field("forecasts", static_cast<std::int64_t>(r.forecasts.size()));
    w.field("activities", static_cast<std::int64_t>(r.activities.size()));
    w.field("coverageGaps", static_cast<std::int64_t>(r.coverageGaps.size()));
    w.field("vehicles", static_cast<std::int64_t>(r.vehicles.size()));
    w.endObject();
    w.key("shifts").beginArray();
    for (const auto& shift : r.shifts) writeShift(w, shift);
    w.endArray().key("violations").beginArray();
    for (const auto& v : r.violations) writeReferenceViolation(w, v);
    w.endArray().key("legalViolations").beginArray();
    for (const auto& v : r.legalViolations) writeLegalViolation(w, v);
    w.endArray();
    writeLists(w, r);
    writeAuthenticity(w, r.authenticity);
    w.key("skipped").raw(skippedFilesJson(r.skippedFiles));
    writeRemaining(w, r.remaining);
    writeCodeNames(w, r);
    // The card was in use when downloaded: its newest day holds data only up to this instant.
    w.field("dataEnd", r.dataEnd == 0 ? std::string() : formatDateTime(r.dataEnd));
    writeSecondVersion(w, r);
    w.endObject();
}

std::string analyzeOpenedFile(const std::string& path) { return toAnalysisJson(analyzeDriverOfFile(path)); }

}  // namespace ddd
