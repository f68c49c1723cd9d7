// The fleet overview as the dashboard's "Flotte" view reads it (JSON), as a CSV pair for
// spreadsheets and as a printable report.
//
// Document: {"ok":true,"notice","red","amber","pending","generated",
//  "drivers":[{"name","card","nation","path","expiry":{due},"last","lastAt","download":{due},
//              "noData":N|null,"findings":[MSI,VSI,SI,MI]|null,"problem","signature":N}],
//  "vehicles":[{"plate","vin","nation","path","last","lastAt","download":{due},"calibration":{due},
//              "noCard":minutes|null}]}
// where {due} is {"due","state":"ok|soon|overdue|unknown","days","text"}, "last" the German date
// of the last download ("" for none) and "lastAt" its instant (0 for none).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/fleet.h"
#include "report/csv_export.h"

namespace ddd::report {

std::string fleetJson(const FleetOverview& overview, const std::string& notice, std::int64_t nowUtc);

// The tables "Fahrer" and "Fahrzeuge", in the conventions of the driver's CSV set.
std::vector<CsvTable> buildFleetCsvTables(const FleetOverview& overview);

// Writes the pair as basePath + "_Fahrer.csv" and basePath + "_Fahrzeuge.csv", all or nothing.
CsvExportResult writeFleetCsv(const FleetOverview& overview, const std::string& basePath);

std::string fleetReportHtml(const FleetOverview& overview, std::int64_t generatedAt);

}  // namespace ddd::report
