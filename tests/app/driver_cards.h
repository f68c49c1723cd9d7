// Card downloads of drivers whose shifts fall on given days, for the tests of the dashboard's
// exports: each listed day holds one shift from 06:00 to 13:00 UTC.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "tools/generator/card_generator.h"

namespace ddd::test {

using ShiftDay = std::array<int, 3>;  // year, month, day

inline gen::CardDescription driverCard(const std::string& surname, const std::string& cardNumber,
                                       const std::vector<ShiftDay>& shiftDays, std::uint8_t nation = 13) {
    gen::CardDescription card;
    card.identity.surname = gen::Text(surname);
    card.identity.firstNames = gen::Text("");
    card.identity.cardNumber = cardNumber;
    card.identity.issuingNation = nation;
    int presence = 1;
    for (const ShiftDay& d : shiftDays) {
        card.days.push_back(gen::dayFromText(gen::utcDay(d[0], d[1], d[2]),
                                             "00:00 rest 06:00 drive 10:00 break 10:45 drive 12:00 work 13:00 rest", presence++, 420));
    }
    return card;
}

}  // namespace ddd::test
