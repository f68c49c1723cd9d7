// Card insertion/withdrawal record of a vehicle unit, one card's stay in a slot.
// Second generation (record type 0x0D, 131 bytes):
//   surname 36 (code page + 35) | first names 36 | card: type 1, nation 1, number 16, generation 1
//   card expiry date 4 | insertion time 4 | odometer at insertion 3 | slot 1 | withdrawal time 4
//   odometer at withdrawal 3 | previous vehicle: registration 15, withdrawal time 4, unit
//   generation 1 | manual input flag 1
// First generation (129 bytes): the card without its generation byte and the previous vehicle
// without the unit's generation.
#include "core/vu_blocks.h"

namespace ddd {
namespace {

VuCardIwRecord decode(Bytes record, VuGeneration generation) {
    ByteReader r(record);
    VuCardIwRecord out;
    out.surname = vu::name(r);
    out.firstNames = vu::name(r);
    // The finder knows a driver by the identification alone, without replacement and renewal index.
    ByteReader identification = r;
    identification.skip(2);
    out.cardNumber = textWithoutTrailingBlanks(identification.bytes(14));
    out.card = vu::card(r, generation);
    out.cardExpiry = vu::instant(r);
    out.insertionTime = r.u32();
    out.odometerAtInsertion = r.u24();
    out.slot = r.u8();
    out.withdrawalTime = r.u32();
    out.odometerAtWithdrawal = r.u24();
    out.previousVehicle = readRegistration(r);
    out.previousWithdrawal = vu::instant(r);
    if (generation != VuGeneration::First) r.skip(1);
    out.manualInput = r.u8() == 1;
    return out;
}

}  // namespace

namespace vu {

void decodeCardIw(ByteReader& r, VuGeneration g, Sink& s) {
    s.day->cardRecords.push_back(decode(r.bytes(r.remaining()), g));
}

}  // namespace vu

VuCardIwRecord decodeVuCardIwRecordGen2(Bytes record) { return decode(record, VuGeneration::Second); }

VuCardIwRecord decodeVuCardIwRecordGen1(Bytes record) { return decode(record, VuGeneration::First); }

}  // namespace ddd
