#include "analysis/vehicle_folder.h"

#include <array>
#include <filesystem>

#include "analysis/parallel.h"
#include "core/atomic_file.h"
#include "core/card_file.h"
#include "core/vu_signature.h"

namespace ddd {
namespace {

namespace fs = std::filesystem;

constexpr std::uint8_t kBlockMarker = 0x76;
// The overview leads every download, and its VIN follows the two certificates, which stay far
// below this size in both generations.
constexpr std::size_t kHeadBytes = 4096;

VehicleSource checkedSource(const std::string& path, const std::vector<std::uint8_t>& bytes, const TrustAnchors& anchors) {
    VehicleSource source{path, decodeVuDownload(bytes), {}};
    source.authenticity = verifyVuDownload(bytes, source.download, anchors);
    return source;
}

// What one file of the tree turned out to be.
struct Found {
    std::optional<VehicleSource> source;
    std::optional<DriverCardLink> card;
    std::string unreadable;
};

// A file of the tree, named by pathOf() only where it is kept or reported.
template <typename PathOf>
Found identify(FileReader& file, PathOf pathOf, const std::string& vin, const TrustAnchors& anchors) {
    Found found;
    std::array<std::uint8_t, kHeadBytes> buffer;
    const Bytes head = Bytes(buffer).first(file.readAt(0, buffer));
    if (!file.status()) {
        found.unreadable = file.status().reason();
        return found;
    }
    if (head.empty()) return found;
    if (head.front() == kBlockMarker) {
        if (decodeVuDownload(head).vin != vin) return found;
        const FileRead whole = file.readWhole(kMaxDownloadBytes);
        if (!whole) found.unreadable = whole.reason();
        else found.source = checkedSource(pathOf(), *whole, anchors);
        return found;
    }
    if (file.status().size > kMaxCardDownloadBytes) return found;
    const FileIdentification card = chosenCardIdentificationOfFile(
        file.status().size, [&](std::uint64_t offset, std::span<std::uint8_t> into) { return file.readAt(offset, into); });
    if (card.identification) {
        const std::string number = textWithoutTrailingBlanks(Bytes(card.identification->cardNumber).first(14));
        found.card = DriverCardLink{card.identification->issuingNation, number, pathOf()};
    }
    return found;
}

}  // namespace

VehicleFolder loadVehicleOfFile(const std::string& path, const TrustAnchors& anchors) {
    VehicleFolder result;
    const FileRead opened = readWholeFile(path);
    if (!opened) {
        result.error = "Die Datei kann nicht gelesen werden: " + opened.reason() + ".";
        return result;
    }
    if (opened->empty() || opened->front() != kBlockMarker) {
        result.error = "Die Datei ist kein Download einer Fahrzeugeinheit (VU).";
        return result;
    }
    result.sources.push_back(checkedSource(path, *opened, anchors));
    const std::string vin = result.sources.front().download.vin;
    fs::path parent = fs::path(path).parent_path();
    if (parent.empty()) parent = ".";
    result.folder = parent.string();
    // Without a VIN no other download can be known to be of the same vehicle.
    if (vin.empty()) return result;

    DownloadListing listing = listDownloads(result.folder);
    result.skipped = std::move(listing.skipped);
    // The opened file is passed over. Its device and inode find it, so that only a file sharing
    // them costs the look at its canonical path.
    std::error_code error;
    const fs::path openedCanonical = fs::weakly_canonical(path, error);
    std::vector<Found> found(listing.size());
    forEachListedFileInParallel(listing, [&](std::size_t i, FileReader& file) {
        const bool sameFile = file.status() && file.status().device == opened.device && file.status().inode == opened.inode;
        std::error_code ignored;
        if (sameFile && fs::weakly_canonical(listing.path(i), ignored) == openedCanonical) return;
        found[i] = identify(file, [&] { return listing.path(i); }, vin, anchors);
    });
    for (std::size_t i = 0; i < found.size(); ++i) {
        if (!found[i].unreadable.empty()) result.skipped.push_back({listing.path(i), std::move(found[i].unreadable)});
        if (found[i].source) result.sources.push_back(std::move(*found[i].source));
        if (found[i].card) result.cards.push_back(std::move(*found[i].card));
    }
    return result;
}

OpenedVehicle openVehicle(const std::string& path, std::int64_t nowUtc, const TrustAnchors& anchors) {
    VehicleFolder folder = loadVehicleOfFile(path, anchors);
    OpenedVehicle opened;
    opened.error = std::move(folder.error);
    opened.folder = std::move(folder.folder);
    if (!opened.error.empty()) return opened;
    opened.model = buildVehicleModel(std::move(folder.sources), folder.cards, nowUtc);
    opened.model.skipped = std::move(folder.skipped);
    return opened;
}

}  // namespace ddd
