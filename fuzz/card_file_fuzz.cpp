// Whole card downloads: the container split and every EF decoder behind it.
#include "core/card_file.h"
#include "fuzz/fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto file = ddd::decodeCardFile(ddd::Bytes(data, size));
    if (file && file.value().gen1 && file.value().gen1->driverActivity) {
        for (const auto& day : file.value().gen1->driverActivity->days) ddd::daySegments(day);
    }
    return 0;
}
