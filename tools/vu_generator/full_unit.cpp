// A vehicle unit with every section of its download filled, for round trips and the view.
#include <algorithm>

#include "tools/generator/card_generator.h"
#include "tools/vu_generator/vu_generator.h"

namespace ddd::gen {
namespace {

VuCard driverCard(const char* number) { return VuCard{1, 13, number, 2}; }

VuGnssPlace position(std::int64_t time, std::int32_t latitude, std::int32_t longitude, bool v2) {
    VuGnssPlace p{time, 2, latitude, longitude, std::nullopt};
    if (v2) p.authenticated = true;
    return p;
}

VuCardStay stayOf(const char* surname, const char* card, int slot, std::int64_t in, std::int64_t out, int kmIn, int kmOut) {
    VuCardStay s;
    s.surname = surname;
    s.cardNumber = card;
    s.slot = slot;
    s.insertion = in;
    s.withdrawal = out;
    s.odometerAtInsertion = kmIn;
    s.odometerAtWithdrawal = kmOut;
    return s;
}

}  // namespace

VuDescription fullVuDescription(VuLayout layout) {
    const bool gen1 = layout == VuLayout::Gen1Fixed;
    const bool v2 = layout == VuLayout::Gen2v2;
    const std::optional<std::uint8_t> cardGeneration = gen1 ? std::nullopt : std::optional<std::uint8_t>(2);
    const auto cardOf = [&](const char* number) {
        VuCard c = driverCard(number);
        c.generation = cardGeneration;
        return c;
    };
    const VuCard weiss = cardOf("DF00000000001100");
    const VuCard oeztuerk = cardOf("DF00000000002200");
    VuCard company = cardOf("DC00000000000500");
    company.type = 4;
    VuCard workshop = cardOf("DW00000000000700");
    workshop.type = 2;
    VuCard control = cardOf("DK00000000000900");
    control.type = 3;

    VuDescription vu;
    vu.layout = layout;
    vu.vuTime = utcTime(2024, 3, 3, "08:00");
    vu.downloadableFrom = utcTime(2024, 3, 1, "05:50");
    vu.downloadableTo = utcTime(2024, 3, 2, "23:10");
    vu.cardSlots = 0x01;
    vu.lastDownload = VuDownloadActivity{utcTime(2024, 1, 2, "10:00"), company, "Spedition Läufer GmbH"};
    vu.companyLocks = {{utcTime(2023, 5, 1, "08:00"), utcTime(2023, 12, 31, "18:00"), "Altfirma AG", "Hafenstraße 1, Bremen", company},
                       {utcTime(2024, 1, 1, "08:00"), std::nullopt, "Spedition Läufer GmbH", "Ringweg 5, Kassel", company}};
    vu.controls = {{0xC0, utcTime(2024, 2, 20, "14:30"), control, utcTime(2024, 1, 20, "00:00"), utcTime(2024, 2, 20, "14:00")}};

    VuDay first{utcDay(2024, 3, 1), true, 120000, 0, {}};
    first.stays = {stayOf("Weiß", "DF00000000001100", 0, utcTime(2024, 3, 1, "06:00"), utcTime(2024, 3, 1, "15:30"), 120010, 120480),
                   stayOf("Öztürk", "DF00000000002200", 1, utcTime(2024, 3, 1, "06:05"), utcTime(2024, 3, 1, "15:30"), 120010, 120480)};
    // Both slots at 00:00 without card, then driving from 06:00 in a crew.
    first.changeWords = {0x2000, 0xA000, 0x4000 | 3u << 11 | 360, 0xC000 | 1u << 11 | 365, 0x4000 | (360 + 570)};
    first.places = {{weiss, utcTime(2024, 3, 1, "06:00"), 0, 13, 0, 120010, std::nullopt},
                    {weiss, utcTime(2024, 3, 1, "15:30"), 1, 13, 0, 120480, std::nullopt}};
    if (!gen1) {
        first.places[0].gnss = position(utcTime(2024, 3, 1, "06:00"), 5130, 930, v2);
        first.places[1].gnss = position(utcTime(2024, 3, 1, "15:29"), -4810, -1130, v2);
        first.gnssPositions = {{utcTime(2024, 3, 1, "09:00"), weiss, oeztuerk, position(utcTime(2024, 3, 1, "09:00"), 5200, 1000, v2), 120220}};
    }
    first.specificConditions = {{utcTime(2024, 3, 1, "12:00"), 3}, {utcTime(2024, 3, 1, "13:00"), 4}};
    if (v2) {
        first.borderCrossings = {{weiss, oeztuerk, 13, 17, position(utcTime(2024, 3, 1, "11:00"), 5000, 600, true), 120300}};
        first.loadUnloads = {{utcTime(2024, 3, 1, "07:00"), 1, weiss, std::nullopt, position(utcTime(2024, 3, 1, "07:00"), 5131, 931, true), 120050}};
    }
    // A card still inserted at the download: no withdrawal, no odometer yet.
    VuDay second{utcDay(2024, 3, 2), true, 120480, 0, {}};
    second.stays = {stayOf("Weiß", "DF00000000001100", 0, utcTime(2024, 3, 2, "22:00"), 0xFFFFFFFF, 120480, 0xFFFFFF)};
    second.changeWords = {0x2000, 0xA000, 0x0000 | 2u << 11 | 1320};
    vu.days = {first, second};

    const VuEventFault noCardDriving{0x04, 0x03, utcTime(2024, 3, 1, "05:50"), utcTime(2024, 3, 1, "05:58"), std::nullopt,
                                     std::nullopt, std::nullopt, std::nullopt, 2};
    const VuEventFault power{0x08, 0x01, utcTime(2024, 2, 27, "03:00"), utcTime(2024, 2, 27, "03:40"), weiss, std::nullopt,
                             weiss, std::nullopt, 1};
    vu.events = {noCardDriving, power};
    vu.faults = {{0x35, 0x02, utcTime(2024, 2, 28, "12:00"), std::nullopt, weiss, oeztuerk, std::nullopt, std::nullopt, std::nullopt}};
    vu.overspeedControl = VuOverspeedControl{utcTime(2024, 2, 20, "14:30"), utcTime(2024, 2, 25, "10:00"), 3};
    vu.overspeedEvents = {{0x07, 0x01, utcTime(2024, 2, 25, "10:00"), utcTime(2024, 2, 25, "10:02"), 98, 93, weiss, 3}};
    vu.timeAdjustments = {{utcTime(2024, 2, 10, "09:00"), utcTime(2024, 2, 10, "09:03"), "Werkstatt Nord", "Kai 2, Kiel", workshop}};
    if (!gen1) vu.powerInterruptions = {power};

    vu.speedMinutes = 0;
    for (int minute = 0; minute < 3; ++minute) {
        VuSpeedMinute& m = vu.speed.emplace_back();
        m.begin = static_cast<std::uint32_t>(utcTime(2024, 3, 1, "06:00") + 60 * minute);
        for (std::size_t s = 0; s < m.speeds.size(); ++s) m.speeds[s] = static_cast<std::uint8_t>(60 + s % 30 + (minute == 1 ? 0x76 - 60 : 0));
    }

    VuIdentification id;
    id.manufacturerName = "Orvendel Tachografen";
    id.manufacturerAddress = "Messweg 3, Villingen";
    id.partNumber = "1381.2052";
    id.serial = VuSerial{123456, 4, 2022, 6, 0x21};
    id.softwareVersion = "0402";
    id.softwareInstallation = utcTime(2022, 4, 20, "12:00");
    id.manufacturingDate = utcDay(2022, 4, 1);
    id.approvalNumber = gen1 ? "e1-84" : "e1-0001-2021";
    if (!gen1) id.generation = 2;
    if (v2) id.digitalMapVersion = "EU-2023.1";
    vu.identification = id;
    vu.sensors = {{VuSerial{987654, 3, 2022, 7, 0x21}, gen1 ? "e1-127" : "e1-0002-2021", utcTime(2022, 5, 2, "08:00")}};
    if (!gen1) vu.gnssFacilities = {{VuSerial{4711, 3, 2022, 9, 0x21}, "e1-0003-2021", utcTime(2022, 5, 2, "08:10")}};
    VuCalibration calibration;
    calibration.purpose = 3;
    calibration.workshopName = "Werkstatt Nord";
    calibration.workshopAddress = "Kai 2, Kiel";
    calibration.workshopCard = workshop;
    calibration.workshopCardExpiry = utcDay(2026, 9, 30);
    calibration.vin = vu.vin;
    calibration.registration = {13, "M AB 123"};
    calibration.w = 8000;
    calibration.k = 8000;
    calibration.l = 3250;
    calibration.tyreSize = "315/70R22.5";
    calibration.authorisedSpeed = 90;
    calibration.oldOdometer = 100000;
    calibration.newOdometer = 100000;
    calibration.oldTime = utcTime(2022, 5, 2, "08:00");
    calibration.newTime = utcTime(2022, 5, 2, "08:01");
    calibration.nextCalibration = utcDay(2024, 5, 2);
    if (!gen1) calibration.seals = {{1, 0x0021, "00112233445566FF"}, {4, 0x0021, "A1A2A3A4A5A6A7A8"}};
    if (v2) {
        calibration.sensorSerial = vu.sensors.front().serial;
        calibration.gnssSerial = vu.gnssFacilities.front().serial;
        calibration.defaultLoadType = 1;
        calibration.country = 13;
        calibration.countryTime = utcTime(2022, 5, 2, "07:58");
    }
    VuCalibration activation = calibration;
    activation.purpose = 1;
    activation.oldOdometer = std::nullopt;
    activation.oldTime = std::nullopt;
    vu.calibrations = {activation, calibration};
    if (!gen1) {
        vu.cardsUsed = {weiss, oeztuerk, workshop};
        vu.itsConsents = {{weiss, true}, {oeztuerk, false}};
    }
    return vu;
}

std::vector<std::uint16_t> vuChangeWords(std::string_view driverSlot, std::string_view coDriverSlot) {
    std::vector<ActivityChange> changes = dayFromText(0, driverSlot).changes;
    for (ActivityChange c : dayFromText(0, coDriverSlot).changes) {
        c.coDriver = true;
        changes.push_back(c);
    }
    std::stable_sort(changes.begin(), changes.end(), [](const auto& a, const auto& b) { return a.minute < b.minute; });
    std::vector<std::uint16_t> words;
    for (const ActivityChange& c : changes) words.push_back(changeWord(c));
    return words;
}

}  // namespace ddd::gen
