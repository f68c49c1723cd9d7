#include "report/csv_export.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "analysis/pipeline.h"
#include "analysis/reference_rules.h"
#include "core/atomic_file.h"
#include "core/code_names.h"
#include "core/primitives.h"
#include "report/month_restriction.h"

namespace ddd::report {
namespace {

constexpr const char* kByteOrderMark = "\xEF\xBB\xBF";

// Every table name the set can hold, in output order.
constexpr const char* kTableNames[] = {"schichten",    "verstoesse",       "nicht_bewertbar", "fahrzeuge",
                                       "laender",      "ereignisse",       "kontrollen",      "sonderfaelle",
                                       "taetigkeiten", "grenzuebertritte", "ladevorgaenge",   "laendertage"};

std::string dateTimeOrDash(std::int64_t t) { return isEmptyTime(t) ? "-" : formatDateTime(t); }
std::string dateOrDash(std::int64_t t) { return isEmptyTime(t) ? "-" : formatDate(t); }
std::string number(std::int64_t value) { return std::to_string(value); }
std::string odometerText(std::uint32_t km) { return isEmptyOdometer(km) ? "" : number(km); }

void shiftsTable(std::vector<CsvTable>& tables, const AnalysisResult& r) {
    CsvTableBuilder t("schichten",
                   {"Datum", "Beginn", "Ende", "Dauer", "Lenken", "Arbeit", "Bereitschaft", "Pause", "Unbekannt",
                    "Ruhe", "Fahrzeug", "Stopps", "Taetigkeiten"});
    for (const auto& shift : r.shifts) {
        const CoreShift& s = shift.core;
        t.row({formatDate(s.start), formatTime(s.start), formatTime(s.end), formatDurationSeconds(s.end - s.start),
               formatDurationSeconds(s.drive), formatDurationSeconds(s.work), formatDurationSeconds(s.standby),
               formatDurationSeconds(s.breakTime), formatDurationSeconds(s.unknown),
               formatDurationMinutes(shift.detail.rest), spreadsheetText(shift.detail.vehicle),
               number(shift.detail.stops), number(shift.detail.acts)});
    }
    t.addTo(tables);
}

void violationsTable(std::vector<CsvTable>& tables, const AnalysisResult& r) {
    CsvTableBuilder t("verstoesse", {"Code", "Regelung", "Zeitpunkt", "Wert", "Grenzwert", "Stufe"});
    for (const auto& v : r.violations) {
        const bool count = v.code == kRefReducedDailyRestCount;
        t.row({number(v.code), std::string(referenceRuleText(v.code)), formatDateTime(v.when),
               count ? number(v.value) : formatDurationMinutes(v.value),
               count ? number(v.limit) : formatDurationMinutes(v.limit), number(v.level)});
    }
    t.addTo(tables);
}

void otherTables(std::vector<CsvTable>& tables, const AnalysisResult& r) {
    {
        CsvTableBuilder t("nicht_bewertbar", {"Beginn", "Ende", "Dauer", "Grund"});
        for (const auto& g : r.coverageGaps) {
            t.row({formatDateTime(g.begin), formatDateTime(g.end), formatDurationSeconds(g.end - g.begin),
                   coverageCauseText(g.cause)});
        }
        t.addTo(tables);
    }
    {
        CsvTableBuilder t("fahrzeuge", {"Kennzeichen", "Nation", "ErsteNutzung", "LetzteNutzung", "kmBeginn", "kmEnde"});
        for (const auto& v : r.vehicles) {
            t.row({spreadsheetText(v.registration.number), nationName(v.registration.nation), dateOrDash(v.firstUse),
                   dateOrDash(v.lastUse), odometerText(v.odometerBegin), odometerText(v.odometerEnd)});
        }
        t.addTo(tables);
    }
    {
        CsvTableBuilder t("laender", {"Zeitpunkt", "Art", "Land", "Odometer"});
        for (const auto& p : r.countries) {
            t.row({formatDateTime(p.entryTime), number(p.entryType), nationName(p.country), odometerText(p.odometer)});
        }
        t.addTo(tables);
    }
    {
        CsvTableBuilder t("ereignisse", {"Typ", "Beginn", "Ende", "Kennzeichen"});
        for (const auto& e : r.events) {
            t.row({number(e.type), formatDateTime(e.begin), dateTimeOrDash(e.end), spreadsheetText(e.vehicle.number)});
        }
        t.addTo(tables);
    }
    {
        CsvTableBuilder t("kontrollen", {"Zeitpunkt", "Art", "Karte", "Kennzeichen", "DownloadBeginn", "DownloadEnde"});
        for (const auto& c : r.controls) {
            t.row({formatDateTime(c.controlTime), number(c.controlType), spreadsheetText(cardNumberText(c.controlCardNumber)),
                   spreadsheetText(c.controlVehicle.number), dateTimeOrDash(c.downloadPeriodBegin),
                   dateTimeOrDash(c.downloadPeriodEnd)});
        }
        t.addTo(tables);
    }
    {
        CsvTableBuilder t("sonderfaelle", {"Zeitpunkt", "Art"});
        for (const auto& s : r.specials) t.row({formatDateTime(s.entryTime), number(s.conditionType)});
        t.addTo(tables);
    }
    {
        CsvTableBuilder t("taetigkeiten", {"Datum", "Beginn", "Ende", "Dauer", "Taetigkeit", "Karte"});
        for (const auto& a : r.activities) {
            const std::uint32_t type = a.type == kUnknownActivity ? std::uint32_t{kActivityUnknown} : a.type;
            t.row({formatDate(a.start), formatTime(a.start), formatTime(a.end), formatDurationSeconds(a.end - a.start),
                   activityName(type), a.cardAbsent ? "nein" : "ja"});
        }
        t.addTo(tables);
    }
}

// Degrees and minutes as stored, then decimal degrees with the German decimal comma; empty
// fields when no position was recorded.
std::vector<std::string> positionFields(const GnssPosition& p) {
    if (!p.known) return {"", "", "", ""};
    auto decimal = [](std::int32_t stored) {
        char buffer[24];
        std::snprintf(buffer, sizeof buffer, "%.5f", decimalDegrees(stored));
        std::string text = buffer;
        std::replace(text.begin(), text.end(), '.', ',');
        return text;
    };
    return {degreesMinutesText(p.latitude, true), degreesMinutesText(p.longitude, false), decimal(p.latitude),
            decimal(p.longitude)};
}

std::vector<std::string> joined(std::vector<std::string> head, const std::vector<std::string>& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

void secondVersionTables(std::vector<CsvTable>& tables, const AnalysisResult& r) {
    {
        CsvTableBuilder t("grenzuebertritte", {"Zeitpunkt", "LandVerlassen", "LandBetreten", "Breite", "Laenge",
                                            "BreiteDezimal", "LaengeDezimal", "Odometer", "Authentisiert"});
        for (const auto& b : r.borderCrossings) {
            t.row(joined(joined({formatDateTime(b.position.time), nationName(b.countryLeft), nationName(b.countryEntered)},
                                positionFields(b.position)),
                         {odometerText(b.odometer), b.position.authenticated() ? "ja" : "nein"}));
        }
        t.addTo(tables);
    }
    {
        CsvTableBuilder t("ladevorgaenge", {"Zeitpunkt", "Vorgang", "Breite", "Laenge", "BreiteDezimal", "LaengeDezimal",
                                         "Odometer", "Authentisiert"});
        for (const auto& l : r.loadOperations) {
            t.row(joined(joined({formatDateTime(l.time), loadOperationName(l.operation)}, positionFields(l.position)),
                         {odometerText(l.odometer), l.position.authenticated() ? "ja" : "nein"}));
        }
        t.addTo(tables);
    }
    {
        CsvTableBuilder t("laendertage", {"Datum", "Land", "Lenken", "Arbeit", "Bereitschaft", "Arbeitszeit", "Quelle"});
        for (const auto& d : r.countryDays) {
            for (const auto& c : d.countries) {
                t.row({formatDate(d.day), nationName(c.country), formatDurationSeconds(c.driving),
                       formatDurationSeconds(c.work), formatDurationSeconds(c.availability),
                       formatDurationSeconds(c.workingTime()), d.fromPlaces ? "Ortseintrag" : "Grenzübertritt"});
            }
        }
        t.addTo(tables);
    }
}

std::string tablePath(const std::string& basePath, const std::string& name) { return basePath + "_" + name + ".csv"; }

// Removes the files of tables the new set does not hold; false names the file that stayed.
bool removeOutdatedTables(const std::string& basePath, const std::vector<CsvTable>& tables,
                          std::span<const char* const> allNames, std::string& error) {
    for (const char* name : allNames) {
        bool current = false;
        for (const auto& table : tables) current = current || table.first == name;
        if (current) continue;
        const std::string path = tablePath(basePath, name);
        std::error_code code;
        if (!std::filesystem::is_regular_file(path, code)) continue;
        if (!std::filesystem::remove(path, code) || code) {
            error = "cannot remove outdated file: " + path;
            return false;
        }
    }
    return true;
}

}  // namespace

void appendCsvRow(std::string& text, const std::vector<std::string>& fields) {
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) text += ';';
        const std::string& field = fields[i];
        if (field.find_first_of(";\"\r\n") == std::string::npos) {
            text += field;
            continue;
        }
        text += '"';
        for (const char c : field) {
            if (c == '"') text += '"';
            text += c;
        }
        text += '"';
    }
    text += "\r\n";
}

std::string spreadsheetText(const std::string& cardText) {
    if (cardText.empty()) return cardText;
    switch (cardText.front()) {
    case '=':
    case '+':
    case '-':
    case '@':
    case '\t':
    case '\r':
        return "'" + cardText;
    default:
        return cardText;
    }
}

CsvTableBuilder::CsvTableBuilder(const char* name, const std::vector<std::string>& header) : name_(name) {
    content_ = kByteOrderMark;
    appendCsvRow(content_, header);
}

void CsvTableBuilder::row(const std::vector<std::string>& fields) {
    appendCsvRow(content_, fields);
    ++rows_;
}

void CsvTableBuilder::addTo(std::vector<CsvTable>& tables) {
    if (rows_ > 0) tables.emplace_back(name_, std::move(content_));
}

CsvExportResult writeCsvTables(const std::vector<CsvTable>& tables, const std::string& basePath,
                               std::span<const char* const> allNames) {
    CsvExportResult export_;
    export_.basePath = basePath;
    // Every table is complete on disk before the first one replaces an earlier export, so a
    // full disk or an unwritable folder never leaves a set that silently lacks a table.
    std::vector<PendingFile> pending;
    for (const auto& [name, content] : tables) {
        const std::string path = tablePath(basePath, name);
        pending.emplace_back(path);
        if (!pending.back().isOpen()) {
            export_.error = "cannot write: " + path;
            export_.systemError = pending.back().systemError();
            return export_;
        }
        if (!pending.back().write(content) || !pending.back().finish()) {
            export_.error = "write failed: " + path;
            export_.systemError = pending.back().systemError();
            return export_;
        }
    }
    for (auto& file : pending) {
        if (!file.commit()) {
            export_.error = "write failed: " + file.targetPath();
            export_.systemError = file.systemError();
            return export_;
        }
        ++export_.written;
    }
    if (!removeOutdatedTables(basePath, tables, allNames, export_.error)) return export_;
    export_.ok = true;
    return export_;
}

std::vector<CsvTable> buildCsvTables(const AnalysisResult& result) {
    std::vector<CsvTable> tables;
    shiftsTable(tables, result);
    violationsTable(tables, result);
    otherTables(tables, result);
    secondVersionTables(tables, result);
    return tables;
}

CsvExportResult exportCsv(const std::vector<std::string>& paths, const std::string& monthKey,
                          const std::string& basePath) {
    CsvExportResult export_;
    export_.basePath = basePath;
    const AnalysisResult result = restrictToMonth(analyzeFiles(paths), monthKey);
    if (!result.ok) {
        export_.error = result.error;
        return export_;
    }
    return writeCsvTables(buildCsvTables(result), basePath, kTableNames);
}

}  // namespace ddd::report
