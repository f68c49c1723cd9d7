#include "report/fleet_export.h"

#include "core/html_escape.h"
#include "core/json_writer.h"
#include "core/primitives.h"
#include "report/driver_report.h"
#include "report/vehicle_json.h"
#include "report/vehicle_text.h"

namespace ddd::report {
namespace {

constexpr const char* kFleetTableNames[] = {"Fahrer", "Fahrzeuge"};

std::string dateOr(const std::optional<std::int64_t>& instant) { return instant ? formatDate(*instant) : std::string(kNotKnown); }
std::string dueDateText(const DueDate& due) { return due.due ? formatUtcDate(*due.due) : std::string(kNotKnown); }

const char* expiryState(const DueDate& due) {
    return due.state == DueState::Overdue ? "abgelaufen" : due.state == DueState::Soon ? "läuft bald ab" : "";
}
const char* dueState(const DueDate& due) {
    return due.state == DueState::Overdue ? "überfällig" : due.state == DueState::Soon ? "bald fällig" : "";
}
bool urgent(const DueDate& due) { return due.state == DueState::Overdue; }

std::string countOr(const std::optional<int>& n) { return n ? std::to_string(*n) : std::string(kNotKnown); }
std::string findingText(const FleetDriver& d, std::size_t i) { return d.findings ? std::to_string((*d.findings)[i]) : std::string(kNotKnown); }
std::string minutesText(const std::optional<std::int64_t>& minutes) { return minutes ? std::to_string(*minutes) : std::string(kNotKnown); }

std::vector<std::string> driverCells(const FleetDriver& d) {
    return {d.input.name, d.input.cardNumber, nationName(static_cast<std::uint32_t>(d.input.nation)), dueDateText(d.expiry), expiryState(d.expiry),
            dateOr(d.input.lastDownload), dueDateText(d.downloadDue), dueState(d.downloadDue), countOr(d.daysWithoutData),
            findingText(d, 0), findingText(d, 1), findingText(d, 2), findingText(d, 3), std::to_string(d.input.signatureProblems)};
}

std::vector<std::string> vehicleCells(const FleetVehicle& v) {
    return {v.input.plate, v.input.vin, v.input.plate.empty() ? "" : nationName(static_cast<std::uint32_t>(v.input.nation)),
            dateOr(v.lastDownload),
            dueDateText(v.downloadDue), dueState(v.downloadDue), dueDateText(v.calibrationDue), dueState(v.calibrationDue),
            minutesText(v.noCardMinutes)};
}

const std::vector<std::string> kDriverHeader = {"Name", "Kartennummer", "Nation", "Karte gültig bis", "Karte", "Letzter Download",
                                                "Nächster Download", "Download", "Tage ohne Daten (28 Tage)", "MSI", "VSI", "SI", "MI",
                                                "Signatur- oder Datenprobleme"};
const std::vector<std::string> kVehicleHeader = {"Kennzeichen", "FIN", "Zulassungsland", "Letzter Download", "Nächster Download", "Download",
                                                 "Nächste Kalibrierung", "Kalibrierung", "Minuten ohne Karte (90 Tage)"};

}  // namespace

std::string fleetJson(const FleetOverview& overview, const std::string& notice, std::int64_t nowUtc) {
    JsonWriter w(false, 400 * (overview.drivers.size() + overview.vehicles.size()) + 256);
    w.beginObject().field("ok", true).field("notice", notice).field("red", std::int64_t{overview.red});
    w.field("amber", std::int64_t{overview.amber}).field("pending", std::int64_t{overview.pending}).field("generated", formatDate(nowUtc));
    w.key("drivers").beginArray();
    for (const FleetDriver& d : overview.drivers) {
        w.beginObject().field("name", d.input.name).field("card", d.input.cardNumber).field("nation", std::int64_t{d.input.nation});
        w.field("path", d.input.path);
        w.key("expiry").beginObject();
        writeDueFields(w, d.expiry, "Gültigkeit der Fahrerkarte");
        w.endObject();
        w.field("last", d.input.lastDownload ? formatDate(*d.input.lastDownload) : std::string()).field("lastAt", d.input.lastDownload.value_or(0));
        w.key("download").beginObject();
        writeDueFields(w, d.downloadDue, "Download der Fahrerkarte");
        w.endObject();
        w.key("noData");
        if (d.daysWithoutData) w.integer(*d.daysWithoutData);
        else w.raw("null");
        w.key("findings");
        if (d.findings) {
            w.beginArray();
            for (const int n : *d.findings) w.integer(n);
            w.endArray();
        } else {
            w.raw("null");
        }
        w.field("problem", d.input.facts ? d.input.facts->problem : std::string()).field("signature", std::int64_t{d.input.signatureProblems});
        w.endObject();
    }
    w.endArray().key("vehicles").beginArray();
    for (const FleetVehicle& v : overview.vehicles) {
        const std::optional<std::int64_t>& last = v.lastDownload;
        w.beginObject().field("plate", v.input.plate).field("vin", v.input.vin).field("nation", std::int64_t{v.input.nation});
        w.field("path", v.input.path).field("last", last ? formatDate(*last) : std::string()).field("lastAt", last.value_or(0));
        w.key("download").beginObject();
        writeDueFields(w, v.downloadDue, "Download");
        w.endObject().key("calibration").beginObject();
        writeDueFields(w, v.calibrationDue, "Kalibrierung");
        w.endObject().key("noCard");
        if (v.noCardMinutes) w.integer(*v.noCardMinutes);
        else w.raw("null");
        w.endObject();
    }
    w.endArray().endObject();
    return w.take();
}

std::vector<CsvTable> buildFleetCsvTables(const FleetOverview& overview) {
    std::vector<CsvTable> tables;
    CsvTableBuilder drivers(kFleetTableNames[0], kDriverHeader);
    for (const FleetDriver& d : overview.drivers) {
        std::vector<std::string> cells = driverCells(d);
        cells[0] = spreadsheetText(cells[0]);
        cells[1] = spreadsheetText(cells[1]);
        drivers.row(cells);
    }
    drivers.addTo(tables);
    CsvTableBuilder vehicles(kFleetTableNames[1], kVehicleHeader);
    for (const FleetVehicle& v : overview.vehicles) {
        std::vector<std::string> cells = vehicleCells(v);
        cells[0] = spreadsheetText(cells[0]);
        cells[1] = spreadsheetText(cells[1]);
        vehicles.row(cells);
    }
    vehicles.addTo(tables);
    return tables;
}

CsvExportResult writeFleetCsv(const FleetOverview& overview, const std::string& basePath) {
    return writeCsvTables(buildFleetCsvTables(overview), basePath, kFleetTableNames);
}

std::string fleetReportHtml(const FleetOverview& overview, std::int64_t generatedAt) {
    std::string html;
    const std::string status = overview.red + overview.amber == 0
                                   ? "<span class=\"rp-status ok\"><span class=\"d\"></span>Keine Fristen offen</span>"
                                   : "<span class=\"rp-status\"><span class=\"d\"></span>" + std::to_string(overview.red) + " überfällig · " +
                                         std::to_string(overview.amber) + " bald fällig</span>";
    appendReportHead(html, "Flotte", "Flottenübersicht · Fahrerkarten, Fahrzeuge und ihre Fristen", status, generatedAt, "Flottenübersicht");
    html += "<div class=\"rp-summ\">" + reportTile("Fahrer", std::to_string(overview.drivers.size()), false) +
            reportTile("Fahrzeuge", std::to_string(overview.vehicles.size()), false) +
            reportTile("Überfällig", std::to_string(overview.red), overview.red > 0) +
            reportTile("Bald fällig", std::to_string(overview.amber), false) + "</div>";
    appendReportSection(html, "Fahrer");
    std::vector<std::vector<std::string>> rows;
    std::vector<bool> highlighted;
    for (const FleetDriver& d : overview.drivers) {
        rows.push_back(driverCells(d));
        highlighted.push_back(urgent(d.expiry) || urgent(d.downloadDue));
    }
    std::vector<ReportColumn> columns;
    for (std::size_t i = 0; i < kDriverHeader.size(); ++i) columns.push_back({kDriverHeader[i].c_str(), i < 3});
    appendReportTable(html, columns, rows, highlighted);
    appendReportSection(html, "Fahrzeuge");
    rows.clear();
    highlighted.clear();
    for (const FleetVehicle& v : overview.vehicles) {
        rows.push_back(vehicleCells(v));
        highlighted.push_back(urgent(v.downloadDue) || urgent(v.calibrationDue));
    }
    columns.clear();
    for (std::size_t i = 0; i < kVehicleHeader.size(); ++i) columns.push_back({kVehicleHeader[i].c_str(), i < 3});
    appendReportTable(html, columns, rows, highlighted);
    appendReportFoot(html, "Flottenübersicht", "");
    return html;
}

}  // namespace ddd::report
