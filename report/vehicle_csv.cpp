#include "report/vehicle_csv.h"


#include "analysis/vehicle_folder.h"
#include "core/code_names.h"
#include "core/primitives.h"
#include "report/vehicle_text.h"

namespace ddd::report {
namespace {

constexpr const char* kVehicleTableNames[] = {"fahren_ohne_karte", "ereignisse", "kalibrierungen", "sperren",
                                              "kontrollen", "zeitanpassungen", "fahrer", "quellen"};

std::string number(std::int64_t value) { return std::to_string(value); }
std::string safe(const std::string& text) { return spreadsheetText(text); }

void noCardTable(std::vector<CsvTable>& tables, const VehicleModel& m) {
    CsvTableBuilder t("fahren_ohne_karte", {"Datum", "Steckplatz", "Beginn", "Ende", "Dauer", "km"});
    for (const NoCardStretch& s : m.noCard) {
        t.row({formatDate(s.begin), slotName(s.slot), formatDateTime(s.begin), formatDateTime(s.end),
               formatDurationSeconds(s.end - s.begin), kmText(s.km)});
    }
    t.addTo(tables);
}

void eventsTable(std::vector<CsvTable>& tables, const VehicleModel& m) {
    CsvTableBuilder t("ereignisse", {"Code", "Art", "Bezeichnung", "Beginn", "Ende", "Anlass", "Karten",
                                     "Gleichartige", "Hoechstgeschwindigkeit", "Durchschnittsgeschwindigkeit"});
    for (const VehicleEventGroup& g : m.events) {
        for (const VehicleEventRecord& r : g.records) {
            t.row({number(g.type), eventKindName(g.kind), eventFaultTypeName(g.type), instantText(r.record.begin),
                   instantText(r.record.end), eventFaultPurposeName(r.record.purpose), safe(cardsText(cardsOf(r.record))),
                   number(r.record.similarEvents.value_or(0)), r.maxSpeed ? number(*r.maxSpeed) : "",
                   r.averageSpeed ? number(*r.averageSpeed) : ""});
        }
    }
    t.addTo(tables);
}

void calibrationsTable(std::vector<CsvTable>& tables, const VehicleModel& m) {
    CsvTableBuilder t("kalibrierungen", {"Zweck", "Zeitpunkt", "Werkstatt", "Werkstattkarte", "FIN", "Kennzeichen", "w",
                                         "k", "l", "Reifengroesse", "Hoechstgeschwindigkeit", "km alt", "km neu",
                                         "Naechste Kalibrierung"});
    for (const VuCalibration& c : m.calibrations) {
        t.row({calibrationPurposeName(c.purpose), instantText(c.newTime), safe(c.workshopName), safe(cardText(c.workshopCard)),
               safe(c.vin), safe(c.registration.number), number(c.w), number(c.k), number(c.l), safe(c.tyreSize),
               number(c.authorisedSpeed), c.oldOdometer ? number(*c.oldOdometer) : "",
               c.newOdometer ? number(*c.newOdometer) : "", dateValueText(c.nextCalibration)});
    }
    t.addTo(tables);
}

void overviewTables(std::vector<CsvTable>& tables, const VehicleModel& m) {
    CsvTableBuilder locks("sperren", {"Unternehmen", "Anschrift", "Karte", "Gesperrt seit", "Entsperrt", "Aktiv"});
    for (const VuCompanyLock& l : m.locks) {
        locks.row({safe(l.companyName), safe(l.companyAddress), safe(cardText(l.card)), instantText(l.lockIn),
                   l.lockOut ? formatDateTime(*l.lockOut) : "", l.lockOut ? "nein" : "ja"});
    }
    locks.addTo(tables);
    CsvTableBuilder controls("kontrollen", {"Zeitpunkt", "Art", "Kontrollkarte", "Zeitraum von", "Zeitraum bis"});
    for (const VuControl& c : m.controls) {
        controls.row({instantText(c.time), controlTypeName(c.type), safe(cardText(c.card)), instantText(c.periodBegin),
                      instantText(c.periodEnd)});
    }
    controls.addTo(tables);
    CsvTableBuilder adjustments("zeitanpassungen", {"Alte Zeit", "Neue Zeit", "Werkstatt", "Anschrift", "Werkstattkarte"});
    for (const VuTimeAdjustment& a : m.timeAdjustments) {
        adjustments.row({instantText(a.oldTime), instantText(a.newTime), safe(a.workshopName), safe(a.workshopAddress),
                         safe(cardText(a.workshopCard))});
    }
    adjustments.addTo(tables);
    CsvTableBuilder drivers("fahrer", {"Name", "Karte", "Nation", "Erstes Stecken", "Letztes Stecken", "Steckvorgaenge",
                                       "Steckplaetze", "Kartendatei"});
    for (const VehicleDriver& d : m.drivers) {
        drivers.row({safe(d.name), safe(d.card.number), number(d.card.nation), formatDateTime(d.firstInsertion),
                     formatDateTime(d.lastInsertion), number(d.insertions), slotsText(d), safe(d.cardFile)});
    }
    drivers.addTo(tables);
    CsvTableBuilder sources("quellen", {"Datei", "Heruntergeladen", "Generation", "Signatur", "Vollstaendig", "Tage",
                                        "Probleme"});
    for (std::size_t i = 0; i < m.sources.size(); ++i) {
        const VehicleSource& s = m.sources[i];
        std::string problems;
        for (const auto& p : s.download.problems) problems += (problems.empty() ? "" : " | ") + p;
        sources.row({safe(s.fileName()),
                     isEmptyTime(s.download.vuTime) ? kNotKnown : formatDateTime(s.download.vuTime),
                     s.download.generation ? vuGenerationName(*s.download.generation) : "", signatureText(s.authenticity),
                     s.download.complete ? "ja" : "nein", number(m.sourceDays[i]), safe(problems)});
    }
    sources.addTo(tables);
}

}  // namespace

std::vector<CsvTable> buildVehicleCsvTables(const VehicleModel& model) {
    std::vector<CsvTable> tables;
    noCardTable(tables, model);
    eventsTable(tables, model);
    calibrationsTable(tables, model);
    overviewTables(tables, model);
    return tables;
}

CsvExportResult exportVehicleCsv(const std::string& openedPath, const std::string& basePath, std::int64_t nowUtc) {
    const OpenedVehicle opened = openVehicle(openedPath, nowUtc);
    if (!opened.error.empty()) {
        CsvExportResult result;
        result.basePath = basePath;
        result.error = opened.error;
        return result;
    }
    return writeCsvTables(buildVehicleCsvTables(opened.model), basePath, kVehicleTableNames);
}

}  // namespace ddd::report
