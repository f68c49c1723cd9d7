// Vehicle-unit downloads: the block scan, its record arrays, every record inside them and the
// signature check over the blocks found.
#include "core/vu_signature.h"
#include "fuzz/fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ddd::VuDownload vu = ddd::decodeVuDownload(ddd::Bytes(data, size));
    if (vu.stoppedAt > size) __builtin_trap();
    const ddd::AuthenticityCheck check = ddd::verifyVuDownload(ddd::Bytes(data, size), vu, ddd::TrustAnchors{});
    if (check.status == ddd::Authenticity::Valid) __builtin_trap();
    return 0;
}
