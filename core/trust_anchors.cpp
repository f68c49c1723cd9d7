// The trusted roots: the first-generation European root public key, embedded at build time after
// its published SHA-256 was checked, and the second-generation roots of the user's folder.
#include <cstdint>
#include <cstdlib>
#include <filesystem>

#include "core/card_signature.h"
#include "core/atomic_file.h"

namespace ddd {
namespace {

namespace fs = std::filesystem;

constexpr std::uint8_t kEuropeanRootGen1[] = {
#include "erca_gen1_root.inc"
};

// Root certificates are a few hundred bytes; anything much larger is not one.
constexpr std::uintmax_t kLargestRootFile = 4096;

TrustAnchors loadInstalledAnchors() {
    TrustAnchors anchors;
    if (auto key = parseGen1RootKey(kEuropeanRootGen1)) anchors.gen1Roots.push_back(std::move(*key));
    anchors.gen2Roots = readTrustedRoots(trustedRootsFolder());
    return anchors;
}

}  // namespace

std::string dataFolder() {
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome && *dataHome) return (fs::path(dataHome) / "Orvendel").string();
    const char* home = std::getenv("HOME");
    return (fs::path(home ? home : "") / ".local" / "share" / "Orvendel").string();
}

std::string trustedRootsFolder() { return (fs::path(dataFolder()) / "roots").string(); }

std::vector<Gen2Certificate> readTrustedRoots(const std::string& folder) {
    std::vector<Gen2Certificate> roots;
    std::error_code error;
    for (fs::directory_iterator it(folder, error); !error && it != fs::directory_iterator(); it.increment(error)) {
        const auto bytes = readWholeFile(it->path().string(), kLargestRootFile);
        if (!bytes) continue;
        auto parsed = parseGen2Certificate(*bytes);
        if (!parsed.certificate) continue;
        const Gen2Certificate& root = *parsed.certificate;
        if (root.authority == root.holder && verifyGen2Certificate(root, root)) roots.push_back(root);
    }
    return roots;
}

const TrustAnchors& installedTrustAnchors() {
    static const TrustAnchors anchors = loadInstalledAnchors();
    return anchors;
}

}  // namespace ddd
