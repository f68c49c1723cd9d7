// Overview block of a vehicle-unit download: the vehicle's identity and the downloaded period.
// Second generation (TREP 0x21, 0x31), record arrays used:
//   0x0A VIN 17 | 0x13 downloadable period: first, last TimeReal | 0x03 VU time TimeReal
//   0x24 registration: nation 1, code page 1, number 13
//   0x0B registration number: code page 1, number 13 (only while none is known)
// First generation (TREP 0x01), fixed structure:
//   member-state certificate 194 | VU certificate 194 | VIN 17
//   registration: nation 1, code page 1, number 13 | current date and time 4
//   downloadable period: first 4, last 4 | card slots status 1
//   download activity: time 4, card number 18, company or workshop name 36
//   company locks: count 1, records of 98 | control activities: count 1, records of 31
//   signature 128
#include <algorithm>

#include "core/vu_blocks.h"

namespace ddd::vu {

void useOverviewArray(const RecordArray& array, VuDownload& out) {
    ByteReader reader(array.data);
    switch (array.type) {
    case 0x0A:
        if (array.count >= 1) out.vin = textWithoutTrailingBlanks(reader.bytes(std::min<std::size_t>(array.size, 17)));
        break;
    case 0x13:
        if (array.data.size() >= 8) {
            out.downloadableFrom = reader.u32();
            out.downloadableTo = reader.u32();
        }
        break;
    case 0x24:
        if (array.data.size() >= 15) {
            out.registrationNation = reader.u8();
            const std::uint8_t codePage = reader.u8();
            out.registrationNumber = decodeCodePagedText(codePage, reader.bytes(13));
            out.hasRegistration = true;
        }
        break;
    case 0x03:
        out.vuTime = timeIfFits(array.data);
        break;
    case 0x0B:
        if (out.registrationNumber.empty() && array.data.size() >= 14) {
            const std::uint8_t codePage = reader.u8();
            out.registrationNumber = decodeCodePagedText(codePage, reader.bytes(13));
        }
        break;
    default:
        break;
    }
}

// The fixed structure always holds the registration, so a first-generation overview read as far
// as the registration has one, even when the vehicle unit stored it blank.
void readOverviewGen1(FixedBlockReader& block, VuDownload& out) {
    block.field(194, "member-state certificate");
    block.field(194, "VU certificate");
    if (const Bytes vin = block.field(17, "VIN"); !vin.empty()) out.vin = textWithoutTrailingBlanks(vin);
    if (const Bytes registration = block.field(15, "vehicle registration"); !registration.empty()) {
        ByteReader reader(registration);
        out.registrationNation = reader.u8();
        const std::uint8_t codePage = reader.u8();
        out.registrationNumber = decodeCodePagedText(codePage, reader.bytes(13));
        out.hasRegistration = true;
    }
    if (const Bytes now = block.field(4, "current date and time"); !now.empty()) out.vuTime = numberOf(now);
    if (const Bytes period = block.field(8, "downloadable period"); !period.empty()) {
        ByteReader reader(period);
        out.downloadableFrom = reader.u32();
        out.downloadableTo = reader.u32();
    }
    block.field(1, "card slots status");
    block.field(4 + 18 + 36, "download activity");
    block.records(1, 98, "company locks");
    block.records(1, 31, "control activities");
    block.field(128, "signature");
}

}  // namespace ddd::vu
