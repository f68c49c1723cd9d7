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
    ddd::decodeVehiclesUsed(value, false);
    ddd::decodeVehiclesUsed(value, true);
#elif DDD_FUZZ_EF == 0x0506
    ddd::decodePlaces(value, false);
    ddd::decodePlaces(value, true);
#elif DDD_FUZZ_EF == 0x0502
    ddd::decodeEventsFaults(value, 6);
    ddd::decodeEventsFaults(value, 11);
    ddd::decodeEventsFaults(value, 2);
#elif DDD_FUZZ_EF == 0x0508
    ddd::decodeControlActivity(value);
    ddd::decodeCurrentUsage(value);
    ddd::decodeCardDownload(value);
    ddd::decodeDrivingLicence(value);
#elif DDD_FUZZ_EF == 0x0522
    ddd::decodeSpecificConditions(value, false);
    ddd::decodeSpecificConditions(value, true);
#else
#error "DDD_FUZZ_EF names no decoder"
#endif
    return 0;
}
