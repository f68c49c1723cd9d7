// Card insertion/withdrawal record of a vehicle unit (record type 0x0D, second generation):
//   offset 0 surname 36 (code page + 35) | 36 first names 36 | 72 card type 1 | 73 nation 1
//   74 card number 16 (first 14: driver identification) | 90 card generation 1
//   91 card expiry date 4 | 95 insertion time 4 | 99 odometer at insertion 3 | 102 slot 1
//   103 withdrawal time 4 | 107 odometer at withdrawal 3 | then previous vehicle, manual input.
#include "core/vu_download.h"

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
    Bytes bytes = field(record, offset, length);
    ByteReader reader(bytes);
    std::uint32_t value = 0;
    while (reader.remaining() > 0) value = (value << 8) | reader.u8();
    return value;
}

}  // namespace

VuCardIwRecord decodeVuCardIwRecord(Bytes record) {
    VuCardIwRecord out;
    out.surname = name(record, 0);
    out.firstNames = name(record, 36);
    out.cardNumber = textWithoutTrailingBlanks(field(record, 74, 14));
    out.insertionTime = number(record, 95, 4);
    out.odometerAtInsertion = number(record, 99, 3);
    out.slot = static_cast<std::uint8_t>(number(record, 102, 1));
    out.withdrawalTime = number(record, 103, 4);
    out.odometerAtWithdrawal = number(record, 107, 3);
    return out;
}

}  // namespace ddd
