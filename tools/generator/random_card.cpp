// Seeded random driver histories for property tests: shifts of driving blocks, breaks (now and
// then too short or too late), work and availability, daily and weekly rests, days without card,
// several vehicles and countries. The generator is a fixed xorshift so that a seed gives the
// same card on every platform and standard library.

#include "tools/generator/history_builder.h"

#include <cstdio>
#include <string>

namespace ddd::gen {
namespace {

class Rng {
public:
    explicit Rng(std::uint64_t seed) : state_(seed ^ 0x6A09E667F3BCC909ULL) { next(); }
    std::uint64_t next() {
        // splitmix64
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    int range(int lo, int hi) { return lo + static_cast<int>(next() % static_cast<std::uint64_t>(hi - lo + 1)); }
    bool chance(int percent) { return range(1, 100) <= percent; }
    template <class T, std::size_t N> const T& pick(const T (&items)[N]) { return items[next() % N]; }

private:
    std::uint64_t state_;
};

struct Person {
    std::uint8_t nation;
    std::uint8_t codePage;
    const char* surname;
    const char* firstNames;
    const char* authority;
};

// Names that need the code page of their country, to exercise the decoder's tables.
constexpr Person kPeople[] = {
    {13, 1, "Schröder", "Jürgen", "Kraftfahrt-Bundesamt"},
    {13, 15, "Weiß", "Käthe", "Kraftfahrt-Bundesamt"},
    {40, 2, "Łukasiewicz", "Małgorzata", "PWPW Warszawa"},
    {12, 2, "Dvořák", "Jiří", "Ministerstvo dopravy"},
    {23, 7, "Παπαδόπουλος", "Γιώργος", "Υπουργείο Μεταφορών"},
    {43, 80, "Иванов", "Сергей", "ФБУ Росавтотранс"},
    {49, 85, "Шевченко", "Ґанна", "Мінінфраструктури"},
    {48, 9, "Öztürk", "Şükrü", "Ulaştırma Bakanlığı"},
    {17, 15, "Lefèvre", "Zoë", "Imprimerie Nationale"},
    {16, 13, "Põder", "Õie", "Transpordiamet"},
};

constexpr std::uint8_t kCountries[] = {13, 13, 13, 1, 6, 12, 17, 26, 38, 40};

std::string duration(int minutes) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%d:%02d", minutes / 60, minutes % 60);
    return buf;
}

std::string block(const char* activity, int minutes) { return std::string(activity) + " " + duration(minutes) + " "; }

// One shift's blocks: driving stretches separated by breaks, framed by work.
std::string shiftBlocks(Rng& rng) {
    std::string s = block("work", rng.range(10, 35));
    const int target = rng.range(240, 600);
    int driven = 0;
    while (driven < target) {
        int stretch = std::min(rng.range(60, 270), target - driven);
        if (rng.chance(6)) stretch = rng.range(271, 320); // a driving stretch past 4h30
        s += block(rng.chance(4) ? "drive+crew" : "drive", stretch);
        driven += stretch;
        if (driven >= target) break;
        if (rng.chance(20)) s += block(rng.chance(50) ? "work" : "avail", rng.range(10, 60));
        if (rng.chance(10)) {
            s += block("break", rng.range(15, 40)); // too short on its own
        } else if (rng.chance(15)) {
            s += block("break", 15);
            s += block("drive", rng.range(30, 120));
            s += block("break", 30);
        } else {
            s += block("break", rng.range(45, 60));
        }
    }
    return s + block("work", rng.range(10, 30));
}

std::string cardNumber(Rng& rng) {
    char buf[20];
    std::snprintf(buf, sizeof buf, "D%013llu%d%d", static_cast<unsigned long long>(rng.next() % 10000000000000ULL),
                  rng.range(0, 2), rng.range(0, 9));
    return buf;
}

std::string vin(Rng& rng) {
    static constexpr char kChars[] = "ABCDEFGHJKLMNPRSTUVWXYZ0123456789";
    std::string v = "WDB";
    while (v.size() < 17) v += kChars[rng.next() % (sizeof kChars - 1)];
    return v;
}

} // namespace

CardDescription randomCard(std::uint64_t seed, int days, Generation generation) {
    Rng rng(seed);
    CardDescription card;
    card.generation = generation;
    const Person& person = rng.pick(kPeople);
    card.identity.issuingNation = person.nation;
    card.identity.cardNumber = cardNumber(rng);
    card.identity.issuingAuthority = Text(person.authority, person.codePage);
    card.identity.surname = Text(person.surname, person.codePage);
    card.identity.firstNames = Text(person.firstNames, person.codePage);
    card.identity.birthDate = {rng.range(1960, 2000), rng.range(1, 12), rng.range(1, 28)};
    card.identity.preferredLanguage = "en";
    card.licence.nation = person.nation;
    card.licence.number = "L" + std::to_string(rng.next() % 1000000000000ULL);

    const std::int64_t start = utcDay(2023, 1, 2) + std::int64_t{rng.range(0, 364)} * 86400;
    const std::int64_t end = start + std::int64_t{days} * 86400;
    card.identity.issueDate = start - 86400 * 400;
    card.identity.validityBegin = card.identity.issueDate;
    card.identity.expiryDate = card.identity.issueDate + 86400 * 1826;

    HistoryBuilder history(card, start);
    const int fleet = rng.range(1, 4);
    for (int i = 0; i < fleet; ++i) {
        char plate[16];
        std::snprintf(plate, sizeof plate, "B-RC %d", rng.range(100, 9999));
        history.addVehicle({13, Text(plate)}, rng.range(10000, 900000), vin(rng));
    }
    history.timeline().skipTo(start + 60 * rng.range(240, 600));
    int vehicle = 0;
    int shiftsSinceWeeklyRest = 0;
    const std::int64_t lastStart = end - 86400 / 2;
    while (history.timeline().now() < lastStart) {
        if (rng.chance(25)) vehicle = rng.range(0, fleet - 1);
        const std::int64_t shiftStart = history.timeline().now();
        const std::uint8_t country = rng.pick(kCountries);
        history.shift(vehicle, shiftBlocks(rng), 13, country);
        if (rng.chance(3)) {
            const int type = rng.pick({0x03, 0x05, 0x06, 0x08});
            card.events.push_back({type, shiftStart + 600, shiftStart + 600 + 60 * rng.range(1, 90),
                                   card.vehicles.back().registration, -1});
        }
        if (rng.chance(1)) {
            card.faults.push_back({rng.chance(50) ? 0x31 : 0x40, shiftStart + 1200, shiftStart + 4800,
                                   card.vehicles.back().registration, -1});
        }
        if (!card.control && rng.chance(5)) {
            card.control = ControlActivity{0x80, shiftStart + 7200, 3, 13, "D0000012345670 1",
                                           card.vehicles.back().registration, shiftStart - 86400 * 28, shiftStart};
        }
        card.currentUsage = CurrentUsage{shiftStart, card.vehicles.back().registration};

        const bool weekly = ++shiftsSinceWeeklyRest >= rng.range(5, 6);
        const int restMinutes = weekly ? rng.range(24 * 60, 50 * 60) : rng.range(9 * 60, 13 * 60);
        if (weekly) shiftsSinceWeeklyRest = 0;
        const std::int64_t nextShift = history.timeline().now() + std::int64_t{restMinutes} * 60;
        if (rng.chance(45)) {
            history.timeline().restUntil(nextShift); // card left in during the rest
        } else {
            history.timeline().skipTo(nextShift);
        }
        if (rng.chance(4)) history.timeline().skipTo(history.timeline().now() + 86400 * rng.range(1, 3));
        if (rng.chance(2)) {
            card.specificConditions.push_back({nextShift - 3 * 3600, 3});
            if (generation != Generation::Gen1) card.specificConditions.push_back({nextShift - 3600, 4});
        }
    }
    history.finish(rng.range(1, 2000));
    card.lastCardDownload = end - 86400 * rng.range(1, 20);
    return card;
}

} // namespace ddd::gen
