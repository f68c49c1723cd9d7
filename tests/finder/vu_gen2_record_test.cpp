// What the decoder makes of second-generation downloads, compared with a recorded list: a change
// to the decoder must leave every one of them exactly as it was. Regenerating the list is a
// separate, deliberate step: on a difference the test writes the new list next to the test
// program, to be reviewed and copied over the recorded one.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "tools/generator/card_generator.h"
#include "tools/vu_generator/vu_generator.h"
#include "vu_text.h"

namespace {

using namespace ddd::gen;

const char* const kRecordFile = DDD_FINDER_GOLDEN_DIR "/vu_second_generation.txt";
const char* const kNewRecordFile = "vu_second_generation.new.txt";

VuDescription threeDays(VuLayout layout) {
    VuDescription vu;
    vu.layout = layout;
    vu.vuTime = utcTime(2024, 3, 4, "08:00");
    vu.downloadableFrom = utcDay(2024, 3, 1);
    vu.downloadableTo = utcTime(2024, 3, 3, "23:59");
    vu.speedMinutes = 2;
    auto stay = [](const char* surname, const char* card, int slot, std::int64_t in, std::int64_t out, int km) {
        VuCardStay s;
        s.surname = surname;
        s.cardNumber = card;
        s.slot = slot;
        s.insertion = in;
        s.withdrawal = out;
        s.odometerAtInsertion = km;
        s.odometerAtWithdrawal = out == 0 ? 0 : km + 300;
        return s;
    };
    VuDay first{utcDay(2024, 3, 1), true, 9000, 12, {}};
    first.stays = {stay("Weiß", "DF000000000011", 0, utcTime(2024, 3, 1, "06:00"), utcTime(2024, 3, 1, "14:00"), 9010),
                   stay("Öztürk", "DF00000000002203", 1, utcTime(2024, 3, 1, "06:10"), utcTime(2024, 3, 1, "14:00"), 9010)};
    VuDay second{utcDay(2024, 3, 2), true, 9310, 4, {}};
    second.stays = {stay("Weiß", "DF000000000011", 0, utcTime(2024, 3, 2, "21:00"), utcTime(2024, 3, 3, "05:00"), 9310)};
    VuDay third{utcDay(2024, 3, 3), true, 9500, 2, second.stays};
    third.stays.push_back(stay("Nowak", "DF000000000033", 0, utcTime(2024, 3, 3, "18:00"), 0, 9610));
    vu.days = {first, second, third};
    return vu;
}

// One line of the list: a download, or a family of them (every cut of one) under one hash.
struct Recorded { std::string name; std::vector<std::vector<std::uint8_t>> downloads; };

std::vector<Recorded> secondGenerationDownloads() {
    std::vector<Recorded> all;
    for (VuLayout layout : {VuLayout::Gen2, VuLayout::Gen2v2}) {
        const std::string prefix = layout == VuLayout::Gen2 ? "gen2 " : "gen2v2 ";
        auto add = [&](const std::string& name, const VuDescription& vu) { all.push_back({prefix + name, {writeVuDownload(vu)}}); };
        add("three days", threeDays(layout));
        for (auto records : {VuRegistrationRecords::NumberOnly, VuRegistrationRecords::Both, VuRegistrationRecords::None}) {
            VuDescription vu = threeDays(layout);
            vu.registrationRecords = records;
            add("registration records " + std::to_string(static_cast<int>(records)), vu);
        }
        VuDescription undated = threeDays(layout);
        undated.days[1].writeDate = false;
        add("day without date", undated);
        const std::pair<const char*, VuFault> faults[] = {
            {"count past end day 0", VuFault::countPastEnd(0)}, {"count past end day 2", VuFault::countPastEnd(2)},
            {"marker at end", VuFault::markerAtEnd()},          {"trailing garbage", VuFault::trailingGarbage(5)},
            {"unknown 0x07", VuFault::unknownBlock(0, 0x07)},   {"unknown 0x47", VuFault::unknownBlock(2, 0x47)},
            {"unknown 0xA0", VuFault::unknownBlock(4, 0xA0)},   {"extra 0x22", VuFault::unknownBlock(1, 0x22)},
            {"extra 0x31", VuFault::unknownBlock(3, 0x31)},     {"extra 0x35", VuFault::unknownBlock(5, 0x35)},
        };
        for (const auto& [name, fault] : faults) {
            VuDescription vu = threeDays(layout);
            vu.inject = {fault};
            add(name, vu);
        }
        const auto whole = writeVuDownload(threeDays(layout));
        Recorded cuts{prefix + "every cut of three days", {}};
        for (std::size_t size = 0; size < whole.size(); ++size) {
            cuts.downloads.emplace_back(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size));
        }
        all.push_back(std::move(cuts));
    }
    for (std::uint64_t seed : {1u, 2u}) {
        for (const FleetFile& file : fleetFiles(makeFleet(seed, FleetPlan{.speedMinutes = 5}))) {
            if (file.relativePath.rfind("vehicles/", 0) == 0) all.push_back({"fleet " + file.relativePath, {file.bytes}});
        }
    }
    return all;
}

TEST(VuSecondGeneration, DecodingIsExactlyAsRecorded) {
    std::ostringstream now;
    for (const Recorded& r : secondGenerationDownloads()) {
        std::string text;
        for (const auto& bytes : r.downloads) text += ddd::test::vuText(ddd::decodeVuDownload(bytes), ddd::test::VuFraming::Included);
        char hash[32];
        std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(ddd::test::textHash(text)));
        now << r.name << ": " << hash << '\n';
    }
    std::ifstream in(kRecordFile);
    std::ostringstream recorded;
    recorded << in.rdbuf();
    if (recorded.str() != now.str()) {
        std::ofstream(kNewRecordFile) << now.str();
        FAIL() << "decoding differs from " << kRecordFile << "; the new list is in " << kNewRecordFile;
    }
}

}  // namespace
