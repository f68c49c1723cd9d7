// Card insertion/withdrawal record of a vehicle unit, one card's stay in a slot.
// Second generation (record type 0x0D, 131 bytes or more):
//   offset 0 surname 36 (code page + 35) | 36 first names 36 | 72 card type 1 | 73 nation 1
//   74 card number 16 (first 14: driver identification) | 90 card generation 1
//   91 card expiry date 4 | 95 insertion time 4 | 99 odometer at insertion 3 | 102 slot 1
//   103 withdrawal time 4 | 107 odometer at withdrawal 3 | then previous vehicle, manual input.
// First generation (129 bytes): the same without the card generation byte, so from the expiry
// date on every field sits one byte earlier:
//   90 card expiry date 4 | 94 insertion time 4 | 98 odometer at insertion 3 | 101 slot 1
//   102 withdrawal time 4 | 106 odometer at withdrawal 3 | 109 previous vehicle 19
//   128 manual input flag 1.
#include "core/vu_blocks.h"

namespace ddd {
namespace {

// The bytes of the field at [offset, offset + length), or nothing when the record ends before.
Bytes field(Bytes record, std::size_t offset, std::size_t length) {
    ByteReader reader(record);
    reader.skip(offset);
    Bytes bytes = reader.bytes(length);
    return reader.failed() ? Bytes{} : bytes;
}

std::string name(Bytes record, std::size_t offset) {
    Bytes bytes = field(record, offset, 36);
    if (bytes.empty()) return {};
    ByteReader reader(bytes);
    const std::uint8_t codePage = reader.u8();
    return decodeCodePagedText(codePage, reader.bytes(35));
}

std::uint32_t number(Bytes record, std::size_t offset, std::size_t length) {
    return vu::numberOf(field(record, offset, length));
}

// The generations differ only in where the fields from the insertion time on begin.
VuCardIwRecord decode(Bytes record, std::size_t insertionOffset) {
    VuCardIwRecord out;
    out.surname = name(record, 0);
    out.firstNames = name(record, 36);
    out.cardNumber = textWithoutTrailingBlanks(field(record, 74, 14));
    out.insertionTime = number(record, insertionOffset, 4);
    out.odometerAtInsertion = number(record, insertionOffset + 4, 3);
    out.slot = static_cast<std::uint8_t>(number(record, insertionOffset + 7, 1));
    out.withdrawalTime = number(record, insertionOffset + 8, 4);
    out.odometerAtWithdrawal = number(record, insertionOffset + 12, 3);
    return out;
}

}  // namespace

VuCardIwRecord decodeVuCardIwRecordGen2(Bytes record) { return decode(record, 95); }

VuCardIwRecord decodeVuCardIwRecordGen1(Bytes record) { return decode(record, 94); }

}  // namespace ddd
