#include "report/vehicle_report.h"

#include <cstdio>
#include <vector>

#include "core/code_names.h"
#include "core/html_escape.h"
#include "core/primitives.h"
#include "report/vehicle_text.h"

namespace ddd::report {
namespace {

constexpr double kRenderTimeoutSeconds = 30;
constexpr const char* kDocument = "Auswertung Fahrzeugeinheit";
constexpr const char* kSubtitle = "Auswertung Fahrzeugeinheit · Fahren ohne Karte, Ereignisse, Kalibrierung";

void appendNone(std::string& html, const char* text) { html += std::string("<div class=\"rp-none\">") + text + "</div>"; }

// Rest is left blank; driving without a card stands out in red.
const char* chartColour(const ChartSegment& segment) {
    if (segment.activity == kActivityDriving) return segment.cardInserted ? "var(--i)" : "var(--cr)";
    if (segment.activity == kActivityWork) return "var(--m)";
    if (segment.activity == kActivityAvailability) return "var(--fn)";
    return nullptr;
}

// A 24-hour bar per slot for each day with driving without a card.
void appendChart(std::string& html, const VehicleModel& m) {
    char position[96];
    for (const ChartDay& day : noCardChartDays(m)) {
        html += "<div class=\"rp-gline\"><span class=\"w num\">" + formatDate(day.midnight) + "</span><span class=\"r\">";
        for (int slot = 0; slot < 2; ++slot) {
            html += "<div title=\"" + slotName(slot) + "\" style=\"position:relative;height:9px;margin:2px 0;background:var(--ln)\">";
            for (const ChartSegment& seg : day.slots[slot]) {
                const char* colour = chartColour(seg);
                if (!colour) continue;
                std::snprintf(position, sizeof position, "left:%.2f%%;width:%.2f%%;background:%s", seg.begin / 14.4,
                              (seg.end - seg.begin) / 14.4, colour);
                html += std::string("<span style=\"position:absolute;top:0;bottom:0;") + position + "\"></span>";
            }
            html += "</div>";
        }
        html += "</span></div>";
    }
}

void appendNoCard(std::string& html, const VehicleModel& m) {
    appendReportSection(html, "Fahren ohne Karte");
    if (m.noCard.empty()) return appendNone(html, "Keine Fahrt ohne gesteckte Karte im Zeitraum");
    std::vector<std::vector<std::string>> rows;
    std::vector<const NoCardStretch*> all;
    std::int64_t total = 0;
    for (const NoCardStretch& s : m.noCard) {
        rows.push_back({formatDate(s.begin), slotName(s.slot), formatTime(s.begin), formatDateTime(s.end),
                        formatDurationSeconds(s.end - s.begin), kmText(s.km)});
        all.push_back(&s);
        total += s.end - s.begin;
    }
    rows.push_back({"Summe", std::to_string(m.noCard.size()) + (m.noCard.size() == 1 ? " Fahrt" : " Fahrten"), "", "", formatDurationSeconds(total),
                    kmTotalText(all)});
    appendReportTable(html, {{"Datum", true}, {"Steckplatz", true}, {"Beginn"}, {"Ende"}, {"Dauer"}, {"km"}}, rows,
                {}, true);
    appendChart(html, m);
}

void appendEvents(std::string& html, const VehicleModel& m) {
    appendReportSection(html, "Ereignisse und Störungen");
    if (m.events.empty()) return appendNone(html, "Keine Ereignisse oder Störungen gespeichert");
    std::vector<std::vector<std::string>> rows;
    std::vector<bool> highlighted;
    for (const VehicleEventGroup& g : m.events) {
        std::vector<VuCardRef> cards;
        for (const auto& r : g.records) {
            for (const auto& c : cardsOf(r.record)) cards.push_back(c);
        }
        rows.push_back({eventKindName(g.kind), eventFaultTypeName(g.type), std::to_string(g.records.size()),
                        instantText(g.records.front().record.begin), instantText(g.records.back().record.begin),
                        cardsText(cards)});
        highlighted.push_back(g.kind == VehicleEventKind::Overspeed || g.kind == VehicleEventKind::Power);
    }
    appendReportTable(html, {{"Art", true}, {"Bezeichnung", true}, {"Anzahl"}, {"Erstes"}, {"Letztes"}, {"Karten", true}}, rows,
                highlighted);
    if (m.overspeedControl) {
        html += "<div class=\"rp-gline\"><span class=\"r\">Geschwindigkeitskontrolle: letzte Kontrolle " +
                escapeHtml(instantText(m.overspeedControl->lastControl)) + ", erste Überschreitung danach " +
                escapeHtml(instantText(m.overspeedControl->firstOverspeedSince)) + ", Anzahl " +
                std::to_string(m.overspeedControl->overspeedsSince) + "</span></div>";
    }
}

void appendDueLine(std::string& html, const std::string& text, const DueDate& due) {
    const bool warn = due.state == DueState::Soon || due.state == DueState::Overdue;
    html += std::string("<div class=\"rp-vline") + (due.state == DueState::Soon ? " warn" : "") + "\"><span class=\"r\">" +
            escapeHtml(text) + (warn ? "<s>Handlungsbedarf</s>" : "") + "</span></div>";
}

void appendCalibrations(std::string& html, const VehicleModel& m) {
    appendReportSection(html, "Kalibrierungen");
    appendDueLine(html, dueText("Kalibrierung", m.calibrationDue), m.calibrationDue);
    std::vector<std::vector<std::string>> rows;
    for (const VuCalibration& c : m.calibrations) {
        rows.push_back({calibrationPurposeName(c.purpose), instantText(c.newTime), c.workshopName, cardText(c.workshopCard),
                        c.tyreSize, std::to_string(c.w) + " / " + std::to_string(c.k) + " / " + std::to_string(c.l),
                        odometerText(c.newOdometer), dateValueText(c.nextCalibration)});
    }
    if (!rows.empty()) {
        appendReportTable(html, {{"Zweck", true}, {"Zeitpunkt"}, {"Werkstatt", true}, {"Karte"}, {"Reifen"}, {"w / k / l"},
                           {"km"}, {"Nächste"}}, rows);
    }
}

void appendLocksAndDownloads(std::string& html, const VehicleModel& m) {
    appendReportSection(html, "Unternehmenssperren");
    if (m.locks.empty()) {
        appendNone(html, "Keine Unternehmenssperre gespeichert");
    } else {
        std::vector<std::vector<std::string>> rows;
        for (const VuCompanyLock& l : m.locks) {
            rows.push_back({l.companyName, l.companyAddress, cardText(l.card), instantText(l.lockIn),
                            l.lockOut ? formatDateTime(*l.lockOut) : "gesperrt"});
        }
        appendReportTable(html, {{"Unternehmen", true}, {"Anschrift", true}, {"Karte"}, {"Gesperrt seit"}, {"Entsperrt"}}, rows);
    }
    appendReportSection(html, "Downloads");
    std::string last = "Letzter Download: " + instantText(m.lastDownload.last);
    if (!m.lastDownload.company.empty()) last += ", " + m.lastDownload.company;
    if (m.lastDownload.card) last += " (Karte " + m.lastDownload.card->number + ")";
    html += "<div class=\"rp-gline\"><span class=\"r\">" + escapeHtml(last) + "</span></div>";
    appendDueLine(html, dueText("Download", m.downloadDue), m.downloadDue);
}

void appendPeople(std::string& html, const VehicleModel& m) {
    if (!m.controls.empty()) {
        appendReportSection(html, "Kontrollen");
        std::vector<std::vector<std::string>> rows;
        for (const VuControl& c : m.controls) {
            rows.push_back({instantText(c.time), controlTypeName(c.type), cardText(c.card),
                            instantText(c.periodBegin) + " – " + instantText(c.periodEnd)});
        }
        appendReportTable(html, {{"Zeitpunkt", true}, {"Art", true}, {"Kontrollkarte"}, {"Zeitraum"}}, rows);
    }
    if (!m.timeAdjustments.empty()) {
        appendReportSection(html, "Zeitanpassungen");
        std::vector<std::vector<std::string>> rows;
        for (const VuTimeAdjustment& a : m.timeAdjustments) {
            rows.push_back({instantText(a.oldTime), instantText(a.newTime), a.workshopName, cardText(a.workshopCard)});
        }
        appendReportTable(html, {{"Alte Zeit", true}, {"Neue Zeit"}, {"Werkstatt", true}, {"Karte"}}, rows);
    }
    appendReportSection(html, "Fahrer");
    if (m.drivers.empty()) return appendNone(html, "Keine Karte im Zeitraum gesteckt");
    std::vector<std::vector<std::string>> rows;
    for (const VehicleDriver& d : m.drivers) {
        rows.push_back({d.name, d.card.number, formatDateTime(d.firstInsertion), formatDateTime(d.lastInsertion),
                        std::to_string(d.insertions), slotsText(d)});
    }
    appendReportTable(html, {{"Name", true}, {"Karte"}, {"Erstes Stecken"}, {"Letztes Stecken"}, {"Anzahl"}, {"Steckplatz", true}},
                rows);
}

void appendSources(std::string& html, const VehicleModel& m) {
    appendReportSection(html, "Quellen");
    std::vector<std::vector<std::string>> rows;
    std::vector<bool> highlighted;
    for (std::size_t i = 0; i < m.sources.size(); ++i) {
        const VehicleSource& s = m.sources[i];
        rows.push_back({s.fileName(),
                        isEmptyTime(s.download.vuTime) ? kNotKnown : formatDateTime(s.download.vuTime),
                        signatureText(s.authenticity), s.download.complete ? "vollständig" : "unvollständig",
                        std::to_string(m.sourceDays[i])});
        highlighted.push_back(s.authenticity.status == Authenticity::Invalid || !s.download.complete);
    }
    appendReportTable(html, {{"Datei", true}, {"Heruntergeladen"}, {"Signatur", true}, {"Lesbarkeit"}, {"Tage"}}, rows, highlighted);
    for (const auto& problem : m.problems) html += "<div class=\"rp-err\">" + escapeHtml(problem) + "</div>";
}

std::string errorReport(const std::string& error, std::int64_t generatedAt) {
    std::string html;
    appendReportHead(html, "Fehler", kSubtitle, "<span class=\"rp-status\"><span class=\"d\"></span>Auswertung fehlgeschlagen</span>",
                     generatedAt, "");
    html += "<div class=\"rp-err\">Diese Fahrzeugdatei konnte nicht ausgewertet werden.<s>" + escapeHtml(error) + "</s></div>";
    appendReportFoot(html, kDocument, "");
    return html;
}

}  // namespace

std::string buildVehicleReportHtml(const OpenedVehicle& opened, std::int64_t generatedAt) {
    if (!opened.error.empty()) return errorReport(opened.error, generatedAt);
    const VehicleModel& m = opened.model;
    std::size_t highlightedRecords = 0, records = 0;
    for (const auto& g : m.events) {
        records += g.records.size();
        if (g.kind == VehicleEventKind::Overspeed || g.kind == VehicleEventKind::Power) highlightedRecords += g.records.size();
    }
    const std::size_t findings = m.noCard.size() + highlightedRecords;
    const std::string status = findings == 0 ? "<span class=\"rp-status ok\"><span class=\"d\"></span>Keine Auffälligkeiten</span>"
                                             : "<span class=\"rp-status\"><span class=\"d\"></span>" + std::to_string(findings) +
                                                   " Auffälligkeiten</span>";
    const std::string period = periodOf(m);
    const std::string title = m.plate.empty() ? m.vin : m.plate;
    std::string html;
    appendReportHead(html, escapeHtml(title), kSubtitle, status, generatedAt,
                     escapeHtml("Fahrzeug: " + title + " · FIN: " + m.vin + (period.empty() ? "" : " · Zeitraum: " + period)));
    std::string unit;
    if (m.unit) unit = m.unit->manufacturerName + (m.unit->partNumber.empty() ? "" : " " + unitModelText(*m.unit));
    html += "<div class=\"rp-who\">" + reportField("Kennzeichen", m.plate, false) + reportField("FIN", m.vin, true) +
            reportField("Zulassungsland", m.plate.empty() ? "" : nationName(m.nation), false) +
            reportField("Fahrzeugeinheit", unit, false) + reportField("Zeitraum", period, false) + "</div>";
    std::int64_t noCardSeconds = 0;
    for (const auto& s : m.noCard) noCardSeconds += s.end - s.begin;
    const auto dueTile = [](const DueDate& due) { return due.due ? formatUtcDate(*due.due) : std::string(kNotKnown); };
    const auto urgent = [](const DueDate& due) { return due.state == DueState::Soon || due.state == DueState::Overdue; };
    html += "<div class=\"rp-summ\">" + reportTile("Fahrten ohne Karte", std::to_string(m.noCard.size()), !m.noCard.empty()) +
            reportTile("Dauer ohne Karte", formatDurationSeconds(noCardSeconds), noCardSeconds > 0) +
            reportTile("Ereignisse / Störungen", std::to_string(records), highlightedRecords > 0) +
            reportTile("Nächste Kalibrierung", dueTile(m.calibrationDue), urgent(m.calibrationDue)) +
            reportTile("Nächster Download", dueTile(m.downloadDue), urgent(m.downloadDue)) + "</div>";
    appendNoCard(html, m);
    appendEvents(html, m);
    appendCalibrations(html, m);
    appendLocksAndDownloads(html, m);
    appendPeople(html, m);
    appendSources(html, m);
    appendReportFoot(html, kDocument, m.vin);
    return html;
}

std::string vehicleReportHtml(const std::string& openedPath, std::int64_t nowUtc) {
    return buildVehicleReportHtml(openVehicle(openedPath, nowUtc), nowUtc);
}

bool vehiclePdf(const std::string& openedPath, const std::string& outPath, std::string& error, const HtmlToPdf& render,
                std::int64_t nowUtc) {
    const OpenedVehicle opened = openVehicle(openedPath, nowUtc);
    if (!opened.error.empty()) {
        error = opened.error;
        return false;
    }
    return render(buildVehicleReportHtml(opened, nowUtc), outPath, error, kRenderTimeoutSeconds);
}

}  // namespace ddd::report
