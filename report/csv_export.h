// The CSV set of one driver: one file per table (shifts, findings, periods that cannot be
// assessed, vehicles, places, events, controls, specific conditions, activities) for
// spreadsheet programs with German settings.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "analysis/analysis_result.h"

namespace ddd::report {

struct CsvExportResult {
    bool ok = false;
    std::int32_t written = 0;
    std::string basePath;
    std::string error;
    int systemError = 0;  // why a file could not be written, when that was the failure
};

// (name, content): the table's file-name part and its bytes, byte order mark included.
using CsvTable = std::pair<std::string, std::string>;

// One table: its header at once, then its records; added to a set by addTo only when it holds
// at least one record.
class CsvTableBuilder {
public:
    CsvTableBuilder(const char* name, const std::vector<std::string>& header);
    void row(const std::vector<std::string>& fields);
    void addTo(std::vector<CsvTable>& tables);

private:
    std::string name_;
    std::string content_;
    std::size_t rows_ = 0;
};

// Writes every table as basePath + "_" + name + ".csv", all or nothing: a failure leaves every
// earlier file of the set as it was. Files of the names in `allNames` that the new set does not
// hold are removed, so the folder never mixes two exports.
CsvExportResult writeCsvTables(const std::vector<CsvTable>& tables, const std::string& basePath,
                               std::span<const char* const> allNames);

// Tables in their fixed order; a table without records is left out.
std::vector<CsvTable> buildCsvTables(const AnalysisResult& result);

// Appends one line: fields joined by ";", quoted only when they hold ";", a quote, CR or LF,
// ended by CR LF.
void appendCsvRow(std::string& text, const std::vector<std::string>& fields);

// A text taken from card data, made harmless for spreadsheets: one that starts like a formula
// gets a leading apostrophe so that it is shown as text and never evaluated.
std::string spreadsheetText(const std::string& cardText);

// Analyses `paths`, restricts the result to `monthKey` (empty for all months) and writes every
// table as basePath + "_" + name + ".csv". The set is written all or nothing: a failure leaves
// every earlier file of the set as it was. Files of tables that the new set no longer holds are
// removed, so the folder never mixes two exports.
CsvExportResult exportCsv(const std::vector<std::string>& paths, const std::string& monthKey,
                          const std::string& basePath);

}  // namespace ddd::report
