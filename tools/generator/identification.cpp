// Application_Identification (0x0501), Identification (0x0520) and Driving_Licence_Info (0x0521).
//
// Application_Identification, 10 bytes (Gen1) / 17 bytes (Gen2):
//   card type 1 (1 = driver card), structure version 2 ({01 01} for a second-version card), events per type 1, faults per type 1,
//   activity structure length 2, vehicle records 2, place records 1 (Gen1) or 2 (Gen2),
//   Gen2 only: GNSS records 2, specific-condition records 2, vehicle-unit records 2.
// Identification, 143 bytes: issuing nation 1, card number 16, issuing authority 36 (name),
//   issue date 4, validity begin 4, expiry date 4, surname 36, first names 36,
//   birth date 4 (BCD yyyy mm dd), preferred language 2.
// Driving_Licence_Info, 53 bytes: issuing authority 36 (name), nation 1, licence number 16.

#include "tools/generator/card_files.h"

namespace ddd::gen {

Bytes encodeApplicationIdentification(const Capacities& caps, bool gen2, bool version2) {
    ByteWriter w;
    w.u8(1);
    w.u8(gen2 ? 1 : 0);
    w.u8(gen2 && version2 ? 1 : 0);
    w.u8(static_cast<std::uint64_t>(caps.eventsPerType));
    w.u8(static_cast<std::uint64_t>(caps.faultsPerType));
    w.u16(static_cast<std::uint64_t>(caps.activityBytes));
    w.u16(static_cast<std::uint64_t>(caps.vehicles));
    if (!gen2) {
        w.u8(static_cast<std::uint64_t>(caps.places));
        return w.take();
    }
    w.u16(static_cast<std::uint64_t>(caps.places));
    w.u16(static_cast<std::uint64_t>(caps.gnssRecords));
    w.u16(static_cast<std::uint64_t>(caps.specificConditions));
    w.u16(static_cast<std::uint64_t>(caps.vehicleUnits));
    return w.take();
}

Bytes encodeIdentification(const Identity& id) {
    ByteWriter w;
    w.u8(id.issuingNation);
    writePadded(w, id.cardNumber, 16, 0x20);
    writeName(w, id.issuingAuthority);
    w.time(id.issueDate);
    w.time(id.validityBegin);
    w.time(id.expiryDate);
    writeName(w, id.surname);
    writeName(w, id.firstNames);
    if (id.rawBirthDate) {
        w.bytes(*id.rawBirthDate);
    } else {
        w.bcd(static_cast<std::uint64_t>(id.birthDate.year), 2);
        w.bcd(static_cast<std::uint64_t>(id.birthDate.month), 1);
        w.bcd(static_cast<std::uint64_t>(id.birthDate.day), 1);
    }
    writePadded(w, id.preferredLanguage, 2, 0x00);
    return w.take();
}

Bytes encodeDrivingLicence(const DrivingLicence& licence) {
    ByteWriter w;
    writeName(w, licence.authority);
    w.u8(licence.nation);
    writePadded(w, licence.number, 16, 0x20);
    return w.take();
}

} // namespace ddd::gen
