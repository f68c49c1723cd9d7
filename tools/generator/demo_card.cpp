// The bundled demo driver, Max Mustermann: eight weeks of a German long-distance driver from
// 2024-02-05 to 2024-03-29 with day and night shifts, breaks that are too short, a driving
// stretch that is too long, a daily rest that is too short, a reduced weekly rest, a holiday
// without card, three vehicles, foreign destinations, two events and a roadside control.

#include "tools/generator/history_builder.h"

#include <string>

namespace ddd::gen {
namespace {

struct DemoShift {
    int month;
    int day;
    const char* start;
    int vehicle;
    std::uint8_t destination;
    const char* blocks;
    bool cardLeftIn; // the card stays in during the following rest
};

constexpr DemoShift kShifts[] = {
    // Week 1: day shifts in Germany; a split break on Thursday.
    {2, 5, "06:00", 0, 13, "work 0:20 drive 4:15 break 0:45 drive 3:30 work 0:25", true},
    {2, 6, "06:00", 0, 13, "work 0:15 drive 3:50 break 0:45 drive 4:00 avail 0:30 work 0:20", true},
    {2, 7, "05:45", 0, 13, "work 0:20 drive 4:30 break 0:45 drive 4:10 work 0:15", true},
    {2, 8, "06:00", 0, 13, "work 0:15 drive 2:30 break 0:15 drive 2:00 break 0:30 drive 3:00 work 0:20", true},
    {2, 9, "06:00", 0, 13, "work 0:20 drive 4:00 break 0:50 drive 2:30 work 0:45", false},
    // Week 2: night shifts to the Netherlands; Thursday's break is too short.
    {2, 12, "20:00", 1, 38, "work 0:20 drive 4:20 break 0:45 drive 4:00 work 0:30", false},
    {2, 13, "20:00", 1, 38, "work 0:25 drive 4:10 break 0:45 drive 3:45 avail 0:40 work 0:20", false},
    {2, 14, "20:15", 1, 38, "work 0:20 drive 4:25 break 0:45 drive 4:05 work 0:25", false},
    {2, 15, "20:00", 1, 38, "work 0:20 drive 4:25 break 0:25 drive 3:40 work 0:30", false},
    // Week 3: day shifts; the weekly rest after Friday is reduced (about 37 hours).
    {2, 19, "06:00", 0, 13, "work 0:20 drive 4:00 break 0:45 drive 3:50 work 0:20", true},
    {2, 20, "06:00", 0, 12, "work 0:15 drive 4:20 break 0:45 drive 4:15 work 0:15", true},
    {2, 21, "06:30", 0, 13, "work 0:20 drive 3:30 break 0:45 drive 4:00 work 0:30", true},
    {2, 22, "06:00", 0, 13, "work 0:15 drive 4:10 break 0:50 drive 3:20 work 0:20", true},
    {2, 23, "05:30", 0, 13, "work 0:20 drive 4:00 break 0:45 drive 3:30 work 0:40", false},
    // Week 4: Sunday to Thursday to France and Belgium in the other truck; Tuesday drives 4:45
    // without a break.
    {2, 25, "06:00", 2, 17, "work 0:30 drive 4:15 break 0:45 drive 4:00 work 0:20", false},
    {2, 26, "06:00", 2, 17, "work 0:20 drive 4:00 break 0:45 drive 3:45 work 0:30", false},
    {2, 27, "06:00", 2, 6, "work 0:15 drive 4:45 break 0:45 drive 3:30 work 0:20", false},
    {2, 28, "06:15", 2, 6, "work 0:20 drive 3:40 break 0:45 drive 4:20 work 0:25", false},
    {2, 29, "06:00", 2, 13, "work 0:20 drive 4:10 break 0:45 drive 3:15 work 0:30", false},
    // 1 to 10 March: holiday, no card in any vehicle.
    // Week 6: day shifts; the rest before Thursday is only 8 hours.
    {3, 11, "06:00", 0, 13, "work 0:20 drive 4:10 break 0:45 drive 3:50 work 0:20", true},
    {3, 12, "06:00", 0, 26, "work 0:15 drive 4:20 break 0:45 drive 4:15 work 0:20", true},
    {3, 13, "09:30", 0, 26, "work 0:20 drive 4:15 break 0:45 drive 4:00 work 2:10", true},
    {3, 14, "05:00", 0, 13, "work 0:20 drive 4:00 break 0:45 drive 4:10 work 0:20", true},
    {3, 15, "06:00", 0, 13, "work 0:20 drive 3:30 break 0:45 drive 2:30 work 0:40", false},
    // Week 7: night shifts to Belgium; Thursday's break is split wrongly (30 then 15 minutes).
    {3, 18, "21:00", 1, 6, "work 0:20 drive 4:10 break 0:45 drive 4:00 work 0:25", false},
    {3, 19, "21:00", 1, 6, "work 0:20 drive 4:20 break 0:45 drive 3:50 work 0:30", false},
    {3, 20, "21:00", 1, 38, "work 0:15 drive 4:15 break 0:50 drive 4:00 work 0:20", false},
    {3, 21, "21:00", 1, 6, "work 0:20 drive 2:30 break 0:30 drive 2:00 break 0:15 drive 3:30 work 0:20", false},
    // Week 8: day shifts until Good Friday.
    {3, 25, "06:00", 0, 13, "work 0:20 drive 4:00 break 0:45 drive 3:45 work 0:20", true},
    {3, 26, "06:00", 0, 1, "work 0:15 drive 4:25 break 0:45 drive 4:10 work 0:20", true},
    {3, 27, "06:00", 0, 1, "work 0:20 drive 4:05 break 0:45 drive 4:00 work 0:25", true},
    {3, 28, "06:00", 0, 13, "work 0:20 drive 4:20 break 0:45 drive 3:10 work 0:30", true},
    {3, 29, "06:00", 0, 13, "work 0:20 drive 3:00 break 0:45 drive 1:30 work 0:30", false},
};

} // namespace

CardDescription demoCard() {
    CardDescription card;
    card.generation = Generation::Both;
    Identity& id = card.identity;
    id.issuingNation = 13;
    id.cardNumber = "DF00001234567801";
    id.issuingAuthority = "Kraftfahrt-Bundesamt";
    id.issueDate = utcDay(2022, 11, 15);
    id.validityBegin = utcDay(2022, 11, 15);
    id.expiryDate = utcDay(2027, 11, 14);
    id.surname = "Mustermann";
    id.firstNames = "Max";
    id.birthDate = {1978, 4, 12};
    id.preferredLanguage = "de";
    card.licence = {Text("Landratsamt Mainz-Bingen"), 13, "J1234567891"};

    HistoryBuilder history(card, utcDay(2024, 2, 5));
    history.addVehicle({13, Text("MZ-VM 1024")}, 412310, "WDB96340310123456");
    history.addVehicle({13, Text("MZ-VM 2048")}, 288540, "WDB96340310654321");
    history.addVehicle({13, Text("MÜ-OR 317")}, 96320, "YS2R4X20005399017");

    for (std::size_t i = 0; i < std::size(kShifts); ++i) {
        const DemoShift& s = kShifts[i];
        const std::int64_t start = utcTime(2024, s.month, s.day, s.start);
        if (i > 0 && kShifts[i - 1].cardLeftIn) {
            history.timeline().restUntil(start);
        } else {
            history.timeline().skipTo(start);
        }
        history.shift(s.vehicle, s.blocks, 13, s.destination);
    }
    history.finish(1187);

    const auto& vehicles = card.vehicles;
    card.events.push_back({0x05, utcTime(2024, 2, 27, "06:16"), utcTime(2024, 2, 27, "06:18"),
                           vehicles[16].registration, -1});
    card.events.push_back({0x06, utcTime(2024, 3, 19, "21:00"), utcTime(2024, 3, 19, "21:00"),
                           vehicles[25].registration, -1});
    card.control = ControlActivity{0x90, utcTime(2024, 3, 20, "02:15"), 3, 13, "D0000098765430 0",
                                   vehicles[25].registration, utcDay(2024, 2, 21), utcTime(2024, 3, 20, "02:15")};
    card.currentUsage = CurrentUsage{utcTime(2024, 3, 29, "06:00"), vehicles.back().registration};
    card.lastCardDownload = utcTime(2024, 2, 29, "17:05");
    // The demo driver is invented, so no card ever signed his data: the download says so honestly
    // ("unsigned") instead of carrying certificates that cannot verify.
    card.withoutSignatures = true;
    return card;
}

} // namespace ddd::gen
