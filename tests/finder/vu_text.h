// Helpers of the vehicle-unit tests: a card stay to describe, and the plain text of everything a
// decoded download holds, for comparing two decodings field by field and recording one.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "core/vu_download.h"
#include "tools/vu_generator/vu_generator.h"

namespace ddd::test {

// A driver's stay in a slot; a withdrawal of 0 is a card still inserted at the download.
inline gen::VuCardStay stay(const char* surname, const char* card, int slot, std::int64_t in, std::int64_t out, int kmIn,
                            int kmOut) {
    gen::VuCardStay s;
    s.surname = surname;
    s.firstNames = "Jörg";
    s.cardNumber = card;
    s.slot = slot;
    s.insertion = in;
    s.withdrawal = out;
    s.odometerAtInsertion = kmIn;
    s.odometerAtWithdrawal = kmOut;
    return s;
}

// Whether the framing facts (generation flag, where and why the scan ended) are part of the text:
// two generations of the same description differ exactly there.
enum class VuFraming { Included, Left };

inline std::string vuText(const VuDownload& vu, VuFraming framing) {
    std::string text;
    auto line = [&](const char* format, auto... values) {
        char buffer[512];
        std::snprintf(buffer, sizeof buffer, format, values...);
        text += buffer;
    };
    if (framing == VuFraming::Included) {
        line("gen2 %d complete %d stoppedAt %llu reason %s\n", vu.isGen2Format, vu.complete,
             static_cast<unsigned long long>(vu.stoppedAt), vu.stopReason.c_str());
    } else {
        line("complete %d\n", vu.complete);
    }
    line("vin [%s] plate [%s] nation %u has %d\n", vu.vin.c_str(), vu.registrationNumber.c_str(),
         unsigned{vu.registrationNation}, vu.hasRegistration);
    line("time %lld from %lld to %lld\n", static_cast<long long>(vu.vuTime), static_cast<long long>(vu.downloadableFrom),
         static_cast<long long>(vu.downloadableTo));
    line("blocks %u %u %u %u\n", vu.activityBlocks, vu.eventFaultBlocks, vu.speedBlocks, vu.technicalBlocks);
    for (const VuDayBlock& day : vu.days) {
        line("day %lld km %u changes %u\n", static_cast<long long>(day.date), day.odometerMidnight,
             day.activityChangeCount);
        for (const VuCardIwRecord& r : day.cardRecords) {
            line("  card [%s] [%s] [%s] slot %u in %lld/%u out %lld/%u\n", r.surname.c_str(), r.firstNames.c_str(),
                 r.cardNumber.c_str(), unsigned{r.slot}, static_cast<long long>(r.insertionTime), r.odometerAtInsertion,
                 static_cast<long long>(r.withdrawalTime), r.odometerAtWithdrawal);
        }
    }
    return text;
}

// FNV-1a, 64 bits: a short stand-in for a long text in a recorded list.
inline std::uint64_t textHash(const std::string& text) {
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (unsigned char c : text) hash = (hash ^ c) * 0x100000001b3ull;
    return hash;
}

}  // namespace ddd::test
