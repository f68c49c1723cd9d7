// Fleets: drivers taking vehicles day by day, and every card and vehicle-unit download that
// such a company would collect, with overlapping periods as real downloads have.
#include <algorithm>
#include <random>
#include <stdexcept>

#include "tools/generator/card_generator.h"
#include "tools/vu_generator/vu_generator.h"

namespace ddd::gen {
namespace {

constexpr std::int64_t kDay = 86400;
constexpr std::int64_t kHour = 3600;
constexpr std::int64_t kDailyRest = 11 * kHour;

const char* const kSurnames[] = {"Berger", "Öztürk", "Kowalski", "Schmidt", "Jäger", "Novak", "Fischer", "Weiß",
                                 "Horváth", "Jansen", "Müller", "Popescu", "Wagner", "Nowak", "Becker", "Lange"};
const char* const kFirstNames[] = {"Jürgen", "Anna", "Piotr", "Eva", "Luca", "Marta", "Ömer", "Sven",
                                   "Zofia", "Karl", "Ilse", "Tomasz", "Greta", "Milan", "Heike", "Radu"};

std::string digits(std::uint64_t value, int width) {
    std::string text(static_cast<std::size_t>(width), '0');
    for (auto it = text.rbegin(); it != text.rend() && value > 0; ++it, value /= 10) *it = static_cast<char>('0' + value % 10);
    return text;
}

std::vector<FleetStay> planStays(std::mt19937_64& random, const FleetPlan& plan, std::vector<int>& odometers) {
    std::vector<FleetStay> stays;
    std::vector<std::int64_t> driverFree(static_cast<std::size_t>(plan.drivers), 0);
    std::vector<std::int64_t> vehicleFree(static_cast<std::size_t>(plan.vehicles), 0);
    std::uniform_real_distribution<double> chance(0.0, 1.0);
    std::vector<int> order(static_cast<std::size_t>(plan.drivers));
    for (int d = 0; d < plan.drivers; ++d) order[static_cast<std::size_t>(d)] = d;

    for (int day = 0; day < plan.days; ++day) {
        std::shuffle(order.begin(), order.end(), random);
        std::size_t next = 0;
        for (int v = 0; v < plan.vehicles && next < order.size(); ++v) {
            const bool lateShift = chance(random) < 0.25;
            const std::int64_t start = plan.firstDay + day * kDay + (lateShift ? 17 : 5) * kHour +
                                       static_cast<std::int64_t>(random() % 180) * 60;
            const std::int64_t end = start + 6 * kHour + static_cast<std::int64_t>(random() % 300) * 60;
            if (vehicleFree[static_cast<std::size_t>(v)] > start) continue;
            std::vector<int> crew;
            while (next < order.size() && crew.size() < 2) {
                const int driver = order[next++];
                if (driverFree[static_cast<std::size_t>(driver)] > start) continue;
                crew.push_back(driver);
                if (chance(random) >= plan.coDriverShare) break;
            }
            if (crew.empty()) continue;
            int& odometer = odometers[static_cast<std::size_t>(v)];
            const int km = static_cast<int>((end - start) / 60 * 70 / 60);
            for (std::size_t slot = 0; slot < crew.size(); ++slot) {
                stays.push_back({crew[slot], v, static_cast<int>(slot), start, end, odometer, odometer + km});
                driverFree[static_cast<std::size_t>(crew[slot])] = end + kDailyRest;
            }
            odometer += km;
            vehicleFree[static_cast<std::size_t>(v)] = end + kHour;
        }
    }
    std::stable_sort(stays.begin(), stays.end(), [](const FleetStay& a, const FleetStay& b) { return a.start < b.start; });
    return stays;
}

CardDescription cardDownload(const Fleet& fleet, int driver, std::int64_t until, Generation generation) {
    CardDescription card;
    card.generation = generation;
    const FleetDriver& d = fleet.drivers[static_cast<std::size_t>(driver)];
    card.identity.surname = d.surname;
    card.identity.firstNames = d.firstNames;
    card.identity.cardNumber = d.cardNumber;
    card.lastCardDownload = until;
    for (const FleetStay& s : fleet.stays) {
        if (s.driver != driver || s.end > until) continue;
        const FleetVehicle& v = fleet.vehicles[static_cast<std::size_t>(s.vehicle)];
        VehicleUse use;
        use.odometerBegin = s.odometerStart;
        use.odometerEnd = s.odometerEnd;
        use.firstUse = s.start;
        use.lastUse = s.end;
        use.registration = {v.nation, Text(v.plate)};
        use.vin = v.vin;
        card.vehicles.push_back(use);
    }
    return card;
}

// `stays` are the vehicle's own stays, ordered by start.
VuDescription vuDownload(const Fleet& fleet, const std::vector<const FleetStay*>& stays, const FleetPlan& plan,
                         int vehicle, int firstDay, int endDay) {
    const FleetVehicle& v = fleet.vehicles[static_cast<std::size_t>(vehicle)];
    VuDescription vu;
    vu.layout = v.layout;
    vu.vin = v.vin;
    vu.registration = {v.nation, Text(v.plate)};
    vu.speedMinutes = plan.speedMinutes;
    vu.fillerSeed = static_cast<std::uint64_t>(vehicle) * 1000 + static_cast<std::uint64_t>(firstDay);
    vu.downloadableFrom = plan.firstDay + firstDay * kDay;
    vu.downloadableTo = plan.firstDay + endDay * kDay - 1;
    vu.vuTime = plan.firstDay + endDay * kDay + 8 * kHour;
    int odometer = 0;
    for (int day = firstDay; day < endDay; ++day) {
        VuDay block;
        block.date = plan.firstDay + day * kDay;
        for (const FleetStay* planned : stays) {
            const FleetStay& s = *planned;
            if (s.start < block.date) odometer = std::max(odometer, s.odometerEnd);
            if (s.start >= block.date + kDay || s.end <= block.date) continue;
            const FleetDriver& d = fleet.drivers[static_cast<std::size_t>(s.driver)];
            VuCardStay stay;
            stay.surname = d.surname;
            stay.firstNames = d.firstNames;
            stay.cardNumber = d.cardNumber;
            stay.insertion = s.start;
            stay.withdrawal = s.end;
            stay.odometerAtInsertion = s.odometerStart;
            stay.odometerAtWithdrawal = s.odometerEnd;
            stay.slot = s.slot;
            block.stays.push_back(stay);
            block.activityChanges += 6;
        }
        block.odometerMidnight = odometer;
        vu.days.push_back(block);
    }
    return vu;
}

}  // namespace

Fleet makeFleet(std::uint64_t seed, const FleetPlan& plan) {
    if (plan.drivers < 1 || plan.vehicles < 1 || plan.days < 1 || plan.cardDownloadsPerDriver < 1 ||
        plan.vuDownloadsPerVehicle < 1) {
        throw std::invalid_argument("a fleet needs drivers, vehicles, days and downloads");
    }
    std::mt19937_64 random(seed);
    Fleet fleet;
    for (int d = 0; d < plan.drivers; ++d) {
        const std::size_t pick = static_cast<std::size_t>(d) % 16;
        fleet.drivers.push_back({kSurnames[pick] + (d < 16 ? std::string() : " " + std::to_string(d / 16)),
                                 kFirstNames[(pick * 7 + static_cast<std::size_t>(d) / 16) % 16],
                                 "DF" + digits(seed % 1000 * 1000000 + static_cast<std::uint64_t>(d), 12) + "01"});
    }
    for (int v = 0; v < plan.vehicles; ++v) {
        fleet.vehicles.push_back({"WMA06XZZ" + digits(seed % 1000 * 1000000 + static_cast<std::uint64_t>(v), 9),
                                  "M-VD " + std::to_string(100 + v), static_cast<std::uint8_t>(v % 5 == 4 ? 1 : 13),
                                  v < plan.firstGenerationVehicles ? VuLayout::Gen1Fixed : VuLayout::Gen2});
    }
    std::vector<int> odometers(static_cast<std::size_t>(plan.vehicles));
    for (int& km : odometers) km = static_cast<int>(random() % 400000) + 1000;
    fleet.stays = planStays(random, plan, odometers);

    const std::int64_t periodEnd = plan.firstDay + plan.days * kDay + kDay;
    for (int d = 0; d < plan.drivers; ++d) {
        const Generation generation = d % 2 == 0 ? Generation::Gen1 : Generation::Both;
        for (int k = 1; k <= plan.cardDownloadsPerDriver; ++k) {
            const std::int64_t until = k == plan.cardDownloadsPerDriver
                                           ? periodEnd
                                           : plan.firstDay + plan.days * k / plan.cardDownloadsPerDriver * kDay;
            fleet.cards.push_back(cardDownload(fleet, d, until, generation));
        }
    }
    const int k = plan.vuDownloadsPerVehicle;
    std::vector<std::vector<const FleetStay*>> staysOf(static_cast<std::size_t>(plan.vehicles));
    for (const FleetStay& s : fleet.stays) staysOf[static_cast<std::size_t>(s.vehicle)].push_back(&s);
    for (int v = 0; v < plan.vehicles; ++v) {
        for (int i = 0; i < k; ++i) {
            // Each download repeats the last day of the one before, as downloads overlap in practice.
            const int first = std::max(0, plan.days * i / k - 1);
            const int end = i == k - 1 ? plan.days + 1 : plan.days * (i + 1) / k;
            fleet.vehicleUnits.push_back(vuDownload(fleet, staysOf[static_cast<std::size_t>(v)], plan, v, first, end));
        }
    }
    return fleet;
}

std::vector<FleetFile> fleetFiles(const Fleet& fleet) {
    std::vector<FleetFile> files;
    for (std::size_t i = 0; i < fleet.cards.size(); ++i) {
        const CardDescription& card = fleet.cards[i];
        files.push_back({"cards/" + card.identity.cardNumber.substr(0, 14) + "/download_" + std::to_string(i) + ".ddd",
                         writeCardDownload(card)});
    }
    for (std::size_t i = 0; i < fleet.vehicleUnits.size(); ++i) {
        const VuDescription& vu = fleet.vehicleUnits[i];
        files.push_back({"vehicles/" + vu.vin + "/vu_" + std::to_string(i) + ".DDD", writeVuDownload(vu)});
    }
    return files;
}

}  // namespace ddd::gen
