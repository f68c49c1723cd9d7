// Overview block of a vehicle-unit download: the vehicle, the unit's clock, the downloadable
// period, the cards in the slots, the last download, company locks and controls.
// Second generation (TREP 0x21, 0x31), record arrays:
//   0x04 member-state certificate | 0x0F VU certificate | 0x0A VIN 17
//   0x0B registration number: code page 1, number 13 (version 1; used while no 0x24 is known)
//   0x24 registration: nation 1, code page 1, number 13 | 0x03 current time 4
//   0x13 downloadable period: first 4, last 4 | 0x02 card slots 1
//   0x14 last download: time 4, card 19, company or workshop name 36
//   0x10 company locks: lock-in 4, lock-out 4, name 36, address 36, card 19
//   0x11 controls: type 1, time 4, control card 19, period begin 4, period end 4 | 0x08 signature
// First generation (TREP 0x01), fixed structure, cards of 18 bytes (no generation byte):
//   member-state certificate 194 | VU certificate 194 | VIN 17 | registration 15 | time 4
//   downloadable period 8 | card slots 1 | last download 58 | company locks: count 1, records
//   of 98 | controls: count 1, records of 31 | signature 128 over everything from the VIN on
#include "core/vu_blocks.h"

namespace ddd::vu {

void decodeVin(ByteReader& r, VuGeneration, Sink& s) { s.out.vin = textWithoutTrailingBlanks(r.bytes(17)); }

void decodeRegistration(ByteReader& r, VuGeneration, Sink& s) {
    const Registration registration = readRegistration(r);
    s.out.registrationNation = registration.nation;
    s.out.registrationNumber = registration.number;
    s.out.hasRegistration = true;
}

void decodeRegistrationNumber(ByteReader& r, VuGeneration, Sink& s) {
    if (!s.out.registrationNumber.empty()) return;
    const std::uint8_t codePage = r.u8();
    s.out.registrationNumber = decodeCodePagedText(codePage, r.bytes(13));
}

void decodeCurrentTime(ByteReader& r, VuGeneration, Sink& s) { s.out.vuTime = r.u32(); }

void decodeDownloadablePeriod(ByteReader& r, VuGeneration, Sink& s) {
    s.out.downloadableFrom = r.u32();
    s.out.downloadableTo = r.u32();
}

void decodeCardSlots(ByteReader& r, VuGeneration, Sink& s) { s.out.cardSlots = r.u8(); }

void decodeDownloadActivity(ByteReader& r, VuGeneration g, Sink& s) {
    VuDownloadActivity download;
    download.time = instant(r);
    download.card = card(r, g);
    download.companyOrWorkshop = name(r);
    if (download.time || download.card || !download.companyOrWorkshop.empty()) s.out.lastDownload = std::move(download);
}

void decodeCompanyLock(ByteReader& r, VuGeneration g, Sink& s) {
    VuCompanyLock lock;
    lock.lockIn = instant(r);
    lock.lockOut = instant(r);
    lock.companyName = name(r);
    lock.companyAddress = name(r);
    lock.card = card(r, g);
    s.out.companyLocks.push_back(std::move(lock));
}

void decodeControl(ByteReader& r, VuGeneration g, Sink& s) {
    VuControl control;
    control.type = r.u8();
    control.time = instant(r);
    control.card = card(r, g);
    control.periodBegin = instant(r);
    control.periodEnd = instant(r);
    s.out.controls.push_back(std::move(control));
}

void readOverviewGen1(FixedBlockReader& block) {
    VuDownload& out = block.sink().out;
    const Bytes memberState = block.field(194, "member-state certificate");
    out.memberStateCertificate.assign(memberState.begin(), memberState.end());
    const Bytes unit = block.field(194, "VU certificate");
    out.vuCertificate.assign(unit.begin(), unit.end());
    block.startSigned();
    block.record(kVin, "VIN");
    block.record(kRegistration, "vehicle registration");
    block.record(kCurrentTime, "current date and time");
    block.record(kDownloadablePeriod, "downloadable period");
    block.record(kCardSlotsStatus, "card slots status");
    block.record(kDownloadActivity, "download activity");
    block.list(1, kCompanyLock, "company locks");
    block.list(1, kControl, "control activities");
}

}  // namespace ddd::vu
