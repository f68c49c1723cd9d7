// Vehicle-unit downloads: the block scan, its record arrays and the card records inside them.
#include "core/vu_download.h"
#include "fuzz/fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ddd::VuDownload vu = ddd::decodeVuDownload(ddd::Bytes(data, size));
    if (vu.stoppedAt > size) __builtin_trap();
    return 0;
}
