// The CSV and HTML writers on arbitrary card texts (names, card numbers, registrations, VINs),
// checked against an independent reading of what they wrote: every CSV record has as many fields
// as its header, no cell starts like a formula, and no text holding markup reaches the HTML raw.
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/analysis_result.h"
#include "fuzz/fuzz_target.h"
#include "report/csv_export.h"
#include "report/driver_report.h"

namespace {

// Splits a CSV table (CR LF records, ";" fields, double quotes with doubled quotes inside)
// and checks every record against the header's field count and every cell's first character.
void checkCsv(std::string_view table) {
    std::size_t headerFields = 0, fields = 1, records = 0;
    std::string cell;
    bool quoted = false, atCellStart = true;
    auto endCell = [&] {
        if (!cell.empty() && (cell[0] == '=' || cell[0] == '@')) std::abort();
        cell.clear();
        atCellStart = true;
    };
    for (std::size_t i = 3; i < table.size(); ++i) {  // after the byte order mark
        const char c = table[i];
        if (quoted) {
            if (c == '"' && i + 1 < table.size() && table[i + 1] == '"') cell += table[++i];
            else if (c == '"') quoted = false;
            else cell += c;
        } else if (c == '"' && atCellStart) {
            quoted = true;
            atCellStart = false;
        } else if (c == ';') {
            endCell();
            ++fields;
        } else if (c == '\r' && i + 1 < table.size() && table[i + 1] == '\n') {
            endCell();
            ++i;
            if (records++ == 0) headerFields = fields;
            else if (fields != headerFields) std::abort();
            fields = 1;
        } else {
            cell += c;
            atCellStart = false;
        }
    }
    if (quoted || !cell.empty()) std::abort();
}

ddd::AnalysisResult resultWith(const std::vector<std::string>& texts) {
    ddd::AnalysisResult result;
    result.ok = true;
    result.driver = texts[0];
    result.card = texts[1];
    ddd::ShiftRecord shift;
    shift.core.start = 1704873600, shift.core.end = shift.core.start + 8 * 3600, shift.core.drive = 4 * 3600;
    shift.detail.vehicle = texts[2];
    result.shifts.push_back(shift);
    ddd::CardVehicleRecord vehicle;
    vehicle.firstUse = shift.core.start, vehicle.lastUse = shift.core.end, vehicle.registration.number = texts[2], vehicle.vin = texts[3];
    result.vehicles.push_back(vehicle);
    ddd::EventFaultRecord event;
    event.begin = shift.core.start, event.vehicle.number = texts[4];
    result.events.push_back(event);
    ddd::ControlActivity control;
    control.controlTime = shift.core.start, control.controlVehicle.number = texts[5];
    result.controls.push_back(control);
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> texts(6);
    std::size_t next = 0;
    for (std::size_t i = 0; i < size && next < texts.size(); ++i) {
        if (data[i] == 0) ++next;
        else texts[next] += static_cast<char>(data[i]);
    }
    for (const auto& table : ddd::report::buildCsvTables(resultWith(texts))) checkCsv(table.second);
    // Each text starts with a tag the report never writes; escaped, it cannot show as a tag.
    for (std::string& text : texts) text.insert(0, "<QZ");
    const std::string html = ddd::report::buildReportHtml(resultWith(texts), {"", 0, true});
    if (html.find("<QZ") != std::string::npos) std::abort();
    return 0;
}
