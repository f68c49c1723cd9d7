// Finding the downloads of one vehicle: the opened vehicle-unit download and every other one of
// the same VIN in its folder tree, plus the card downloads there to link its drivers to.
#pragma once

#include <string>
#include <vector>

#include "analysis/vehicle.h"

namespace ddd {

struct VehicleFolder {
    std::string folder;  // the folder tree walked
    std::vector<VehicleSource> sources;  // the opened file first, then in walk order
    std::vector<DriverCardLink> cards;
    std::vector<SkippedFile> skipped;
    std::string error;  // German; set when the opened file itself cannot be read as a download
};

// Reads the opened file in full and identifies every other ".ddd" file of the tree by its head
// alone (the overview with the VIN leads a unit's download); only those of the same VIN are
// decoded and checked in full, card downloads only identified.
VehicleFolder loadVehicleOfFile(const std::string& path, const TrustAnchors& anchors = installedTrustAnchors());

// The vehicle of an opened download, dated against `nowUtc`, for the view and its exports.
struct OpenedVehicle {
    std::string error;  // German; the model is empty then
    std::string folder;
    VehicleModel model;
};
OpenedVehicle openVehicle(const std::string& path, std::int64_t nowUtc, const TrustAnchors& anchors = installedTrustAnchors());

}  // namespace ddd
