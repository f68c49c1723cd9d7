// The fixed-size identification and status EFs of a driver card:
//   Application_Identification 0x0501  10 bytes (Gen1) / 17 bytes (Gen2)
//     cardType 1, structure version 2, eventsPerType 1, faultsPerType 1,
//     activityStructureLength 2, vehicleRecords 2, placeRecords 1 (Gen1) / 2 (Gen2),
//     Gen2 only: gnssRecords 2, specificConditionRecords 2, vehicleUnitRecords 2
//   Identification 0x0520  143 bytes
//     issuingNation 1, cardNumber 16, issuingAuthority 36, issueDate 4, validityBegin 4,
//     expiryDate 4, surname 36, firstNames 36, birthDate 4 (BCD), preferredLanguage 2
//   Control_Activity_Data 0x0508  46 bytes
//     controlType 1, controlTime 4, controlCardType 1, controlCardNation 1, controlCardNumber 16,
//     controlVehicle 15, downloadPeriodBegin 4, downloadPeriodEnd 4
//   Current_Usage 0x0507  19 bytes: sessionOpenTime 4, sessionOpenVehicle 15
//   Card_Download 0x050E  4 bytes: time of the last card download
//   Driving_Licence_Info 0x0521  53 bytes: authority 36, nation 1, number 16
#include <string>

#include "core/card_efs.h"

namespace ddd {
namespace {

DecodeError sizeError(const char* message, std::size_t length) {
    return DecodeError{0, message + std::to_string(length)};
}

std::string printableLanguageBytes(Bytes raw) {
    std::string out;
    for (std::uint8_t b : raw) {
        if (b >= 0x21 && b <= 0x7E) out.push_back(static_cast<char>(b));
    }
    return out;
}

}  // namespace

Decoded<ApplicationIdentification> decodeApplicationIdentification(Bytes value) {
    if (value.size() != 10 && value.size() != 17) {
        return sizeError("EF Application_Identification: expected 10 (Gen1) or 17 (Gen2) bytes for a driver card, got ",
                         value.size());
    }
    ByteReader r(value);
    ApplicationIdentification id;
    id.isGen2Layout = value.size() == 17;
    id.cardType = r.u8();
    id.structureVersionMajor = r.u8();
    id.structureVersionMinor = r.u8();
    id.eventsPerType = r.u8();
    id.faultsPerType = r.u8();
    id.activityStructureLength = r.u16();
    id.vehicleRecords = r.u16();
    if (id.isGen2Layout) {
        id.placeRecords = r.u16();
        id.gnssRecords = r.u16();
        id.specificConditionRecords = r.u16();
        id.vehicleUnitRecords = r.u16();
    } else {
        id.placeRecords = r.u8();
    }
    return id;
}

Decoded<CardIdentification> decodeIdentification(Bytes value) {
    if (value.size() != 143) return sizeError("EF Identification: expected 143 bytes for a driver card, got ", value.size());
    ByteReader r(value);
    CardIdentification id;
    id.issuingNation = r.u8();
    id.cardNumber = readCardNumber(r);
    id.issuingAuthority = readName(r);
    id.issueDate = r.u32();
    id.validityBegin = r.u32();
    id.expiryDate = r.u32();
    id.surname = readName(r);
    id.firstNames = readName(r);
    id.birthDate = readBcdDate(r);
    id.preferredLanguage = printableLanguageBytes(r.bytes(2));
    if (r.failed()) return DecodeError{r.position(), "EF Identification: truncated"};
    return id;
}

Decoded<ControlActivity> decodeControlActivity(Bytes value) {
    if (value.size() != 46) return sizeError("EF Control_Activity_Data: expected 46 bytes, got ", value.size());
    ByteReader r(value);
    ControlActivity control;
    control.controlType = r.u8();
    control.controlTime = r.u32();
    control.controlCardType = r.u8();
    control.controlCardNation = r.u8();
    control.controlCardNumber = readCardNumber(r);
    control.controlVehicle = readRegistration(r);
    control.downloadPeriodBegin = r.u32();
    control.downloadPeriodEnd = r.u32();
    if (r.failed()) return DecodeError{r.position(), "EF Control_Activity_Data: truncated"};
    return control;
}

Decoded<CurrentUsage> decodeCurrentUsage(Bytes value) {
    if (value.size() != 19) return sizeError("EF Current_Usage: expected 19 bytes, got ", value.size());
    ByteReader r(value);
    CurrentUsage usage;
    usage.sessionOpenTime = r.u32();
    usage.sessionOpenVehicle = readRegistration(r);
    if (r.failed()) return DecodeError{r.position(), "EF Current_Usage: truncated"};
    return usage;
}

Decoded<std::int64_t> decodeCardDownload(Bytes value) {
    if (value.size() != 4) return sizeError("EF Card_Download: expected 4 bytes, got ", value.size());
    ByteReader r(value);
    return static_cast<std::int64_t>(r.u32());
}

Decoded<DrivingLicence> decodeDrivingLicence(Bytes value) {
    if (value.size() != 53) return sizeError("EF Driving_Licence_Info: expected 53 bytes, got ", value.size());
    ByteReader r(value);
    DrivingLicence licence;
    licence.licenceAuthority = readName(r);
    licence.licenceNation = r.u8();
    for (std::uint8_t b : r.bytes(16)) {
        if (b != 0x00 && b != 0x20) licence.licenceNumber.push_back(static_cast<char>(b));
    }
    if (r.failed()) return DecodeError{r.position(), "EF Driving_Licence_Info: truncated"};
    return licence;
}

}  // namespace ddd
