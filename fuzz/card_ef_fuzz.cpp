// One elementary-file decoder, chosen at build time by DDD_FUZZ_EF, fed the bytes of an EF value.
#include "core/card_efs.h"
#include "fuzz/fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ddd::Bytes value(data, size);
#if DDD_FUZZ_EF == 0x0501
    ddd::decodeApplicationIdentification(value);
#elif DDD_FUZZ_EF == 0x0520
    ddd::decodeIdentification(value);
#elif DDD_FUZZ_EF == 0x0504
    if (auto activity = ddd::decodeDriverActivity(value)) {
        for (const auto& day : activity.value().days) ddd::daySegments(day);
    }
#elif DDD_FUZZ_EF == 0x0505
    for (bool gen2 : {false, true}) ddd::decodeVehiclesUsed(value, gen2);
#elif DDD_FUZZ_EF == 0x0506
    for (bool gen2 : {false, true}) ddd::decodePlaces(value, gen2);
#elif DDD_FUZZ_EF == 0x0502
    for (int groups : {6, 11, 2}) ddd::decodeEventsFaults(value, groups);
#elif DDD_FUZZ_EF == 0x0508
    ddd::decodeControlActivity(value);
    ddd::decodeCurrentUsage(value);
    ddd::decodeCardDownload(value);
    ddd::decodeDrivingLicence(value);
#elif DDD_FUZZ_EF == 0x0522
    for (bool gen2 : {false, true}) ddd::decodeSpecificConditions(value, gen2);
#else
#error "DDD_FUZZ_EF names no decoder"
#endif
    return 0;
}
