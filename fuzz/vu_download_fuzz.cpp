// Vehicle-unit downloads: the block scan, its record arrays, every record inside them, the
// signature check over the blocks found, and the vehicle view, its CSV set and report built from
// whatever was read.
#include "core/vu_signature.h"
#include "fuzz/fuzz_target.h"
#include "report/vehicle_csv.h"
#include "report/vehicle_json.h"
#include "report/vehicle_report.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ddd::VuDownload vu = ddd::decodeVuDownload(ddd::Bytes(data, size));
    if (vu.stoppedAt > size) __builtin_trap();
    const ddd::AuthenticityCheck check = ddd::verifyVuDownload(ddd::Bytes(data, size), vu, ddd::TrustAnchors{});
    if (check.status == ddd::Authenticity::Valid) __builtin_trap();
    ddd::OpenedVehicle opened{"", "", ddd::buildVehicleModel({{"fuzz.ddd", vu, check}}, {}, 1700000000)};
    for (const auto& stretch : opened.model.noCard) {
        if (stretch.begin >= stretch.end) __builtin_trap();
    }
    if (ddd::report::toVehicleJson(opened).empty() || ddd::report::buildVehicleReportHtml(opened, 1700000000).empty()) {
        __builtin_trap();
    }
    ddd::report::buildVehicleCsvTables(opened.model);
    return 0;
}
