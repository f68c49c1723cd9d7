// The CSV set of a vehicle, in the conventions of the driver's set (byte order mark, ";", CR LF,
// formula-safe texts): driving without a card, events and faults, calibrations, company locks,
// controls, time adjustments, drivers and the downloads it was made from.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/vehicle.h"
#include "report/csv_export.h"

namespace ddd::report {

// Tables in their fixed order; a table without records is left out.
std::vector<CsvTable> buildVehicleCsvTables(const VehicleModel& model);

// Opens the vehicle of `openedPath` (with the other downloads of its VIN in the folder tree),
// dated against `nowUtc`, and writes every table as basePath + "_" + name + ".csv", all or
// nothing; files of an earlier vehicle set that the new one no longer holds are removed. A file
// that cannot be opened as a vehicle gives ok false with its German reason and writes nothing.
CsvExportResult exportVehicleCsv(const std::string& openedPath, const std::string& basePath, std::int64_t nowUtc);

}  // namespace ddd::report
