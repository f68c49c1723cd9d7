// The finder benchmarks' large index: a million sessions of 3,000 drivers in 2,000 vehicles over
// two years, the same for every benchmark that searches it.
#pragma once

#include <random>
#include <string>

#include "finder/driver_index.h"

namespace ddd::bench {

inline finder::DriverIndex millionSessions() {
    std::mt19937_64 random(7);
    finder::DriverIndex index;
    const std::int64_t first = 1672531200;  // 2023-01-01
    index.sessions.reserve(1'000'000);
    for (int i = 0; i < 1'000'000; ++i) {
        finder::FinderSession s;
        const int driver = static_cast<int>(random() % 3000);
        const int vehicle = static_cast<int>(random() % 2000);
        s.surname = "Fahrer" + std::to_string(driver);
        s.firstNames = "Vorname";
        s.card = "DF0000000" + std::to_string(100000 + driver);
        s.plate = "M-VD " + std::to_string(1000 + vehicle);
        s.vin = "WMA06XZZ00000" + std::to_string(1000 + vehicle);
        s.plateNation = 13;
        s.slot = static_cast<std::uint32_t>(random() % 2);
        s.start = first + static_cast<std::int64_t>(random() % (730ll * 86400));
        s.end = random() % 1000 == 0 ? 0 : s.start + 3600 + static_cast<std::int64_t>(random() % 36000);
        s.odometerStart = static_cast<std::int64_t>(random() % 900000);
        s.odometerEnd = s.odometerStart + 400;
        s.source = random() % 2 ? 'C' : 'V';
        s.file = "/daten/fahrzeuge/" + s.vin + "/download_" + std::to_string(i % 40) + ".ddd";
        index.sessions.push_back(std::move(s));
    }
    index.buildLookup();
    return index;
}

}  // namespace ddd::bench
