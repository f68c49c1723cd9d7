// The printable vehicle report: one self-contained HTML document in the style of the driver's
// report with the vehicle, summary tiles and the sections of the vehicle view (driving without a
// card, events and faults, calibrations, company locks, downloads, controls, drivers, sources).
#pragma once

#include <cstdint>
#include <string>

#include "analysis/vehicle_folder.h"
#include "report/driver_report.h"

namespace ddd::report {

// A vehicle that could not be opened gives the error report naming why.
std::string buildVehicleReportHtml(const OpenedVehicle& vehicle, std::int64_t generatedAt);

// The report of the vehicle of an opened download, dated and created at `nowUtc`.
std::string vehicleReportHtml(const std::string& openedPath, std::int64_t nowUtc);

// Renders that report into `outPath` with a 30-second time-out through `render`, which writes the
// PDF complete or not at all. A file that cannot be opened as a vehicle renders nothing and
// returns false with its German reason in `error`.
bool vehiclePdf(const std::string& openedPath, const std::string& outPath, std::string& error, const HtmlToPdf& render,
                std::int64_t nowUtc);

}  // namespace ddd::report
