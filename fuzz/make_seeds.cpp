// Writes the seed corpora of the fuzz targets: generated card downloads of both generations
// (some with faults) and the EF values taken out of them, one folder per target.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <span>
#include <string_view>
#include "core/card_file.h"
#include "tools/generator/card_generator.h"
#include "tools/vu_generator/vu_generator.h"

namespace {

namespace fs = std::filesystem;
using ddd::gen::Fault;
using ddd::gen::Generation;

const std::map<std::uint16_t, const char*> kTargetOfFid = {
    {0x0501, "application_identification"}, {0x0520, "identification"}, {0x0504, "driver_activity"},
    {0x0505, "vehicles_used"},              {0x0506, "places"},         {0x0502, "events_faults"},
    {0x0503, "events_faults"},              {0x0508, "status_files"},   {0x0507, "status_files"},
    {0x050E, "status_files"},               {0x0521, "status_files"},   {0x0522, "specific_conditions"},
};

void write(const fs::path& path, std::span<const std::uint8_t> bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<ddd::gen::CardDescription> seedCards() {
    std::vector<ddd::gen::CardDescription> cards;
    std::uint64_t seed = 1;
    for (Generation g : {Generation::Gen1, Generation::Gen2, Generation::Both}) {
        for (int days : {1, 7, 40}) cards.push_back(ddd::gen::randomCard(seed++, days, g));
    }
    auto& wrapped = cards.emplace_back(ddd::gen::randomCard(seed++, 30, Generation::Gen1));
    wrapped.gen1.activityBytes = 2000, wrapped.gen1.activityStartOffset = 1900;
    cards.emplace_back(ddd::gen::randomCard(seed++, 10, Generation::Both)).inject = {
        Fault::previousLength(4, 30), Fault::minuteOutOfRange(2), Fault::resizeEf(0x0505, Generation::Gen2, 100)};
    cards.emplace_back(ddd::gen::randomCard(seed++, 5, Generation::Gen1)).inject = {Fault::truncateAt(2000)};
    return cards;
}

// Vehicle-unit downloads of a small fleet in every layout, and some with faults.
void writeVuSeeds(const fs::path& folder) {
    fs::create_directories(folder);
    const ddd::gen::Fleet fleet = ddd::gen::makeFleet(5, {.drivers = 3, .vehicles = 2, .days = 3, .speedMinutes = 3});
    int index = 0;
    for (auto vu : fleet.vehicleUnits) {
        for (auto layout : {ddd::gen::VuLayout::Gen2, ddd::gen::VuLayout::Gen2v2, ddd::gen::VuLayout::Gen1Fixed}) {
            vu.layout = layout;
            const auto bytes = ddd::gen::writeVuDownload(vu);
            write(folder / ("vu" + std::to_string(index++) + ".ddd"), bytes);
        }
    }
    for (auto layout : {ddd::gen::VuLayout::Gen2, ddd::gen::VuLayout::Gen2v2, ddd::gen::VuLayout::Gen1Fixed}) {
        auto full = ddd::gen::fullVuDescription(layout);
        full.unwrittenFill = static_cast<std::uint8_t>(index % 2 == 0 ? 0x00 : 0xFF);
        const auto bytes = ddd::gen::writeVuDownload(full);
        write(folder / ("vu_full" + std::to_string(index++) + ".ddd"), bytes);
    }
    using ddd::gen::VuFault;
    for (auto layout : {ddd::gen::VuLayout::Gen2, ddd::gen::VuLayout::Gen1Fixed}) {
        for (const VuFault& fault : {VuFault::truncateAt(700), VuFault::truncateAt(1500), VuFault::countPastEnd(0),
                                     VuFault::markerAtEnd(), VuFault::unknownBlock(1, 0x47),
                                     VuFault::unknownBlock(2, 0x00), VuFault::trailingGarbage(9)}) {
            auto vu = fleet.vehicleUnits.front();
            vu.layout = layout;
            vu.inject = {fault};
            const auto bytes = ddd::gen::writeVuDownload(vu);
            write(folder / ("vu_fault" + std::to_string(index++) + ".ddd"), bytes);
        }
    }
    // First-generation blocks in other orders: a download of the days alone, and one that
    // starts with its technical-data block. The overview is written first and alone has the
    // size of a download of nothing else.
    auto gen1 = fleet.vehicleUnits.back();
    gen1.layout = ddd::gen::VuLayout::Gen1Fixed;
    auto overviewOnly = gen1;
    overviewOnly.days.clear();
    overviewOnly.eventFaultBlocks = overviewOnly.speedBlocks = overviewOnly.technicalBlocks = 0;
    const auto overview = ddd::gen::writeVuDownload(overviewOnly);
    const auto whole = ddd::gen::writeVuDownload(gen1);
    write(folder / "vu_gen1_days_first.ddd", std::span(whole).subspan(overview.size()));
    auto technical = overviewOnly;
    technical.technicalBlocks = 1;
    auto reordered = ddd::gen::writeVuDownload(technical);
    std::rotate(reordered.begin(), reordered.begin() + static_cast<std::ptrdiff_t>(overview.size()), reordered.end());
    write(folder / "vu_gen1_technical_first.ddd", reordered);
}

// Downloads signed with a fresh test PKI, their certificate records and the root key, so that
// the certificate target starts from well-formed chains.
void writeCertificateSeeds(const fs::path& folder) {
    fs::create_directories(folder);
    const ddd::gen::Gen1TestPki pki = ddd::gen::makeGen1TestPki();
    const ddd::gen::Gen2TestPki pki2 = ddd::gen::makeGen2TestPki();
    auto card = ddd::gen::randomCard(21, 3, Generation::Both);
    card.gen1Signing = pki.card;
    card.gen2Signing = pki2.card;
    write(folder / "signed_both_generations.ddd", ddd::gen::writeCardDownload(card));
    write(folder / "root_key.bin", ddd::gen::rsaRootKeyFile(pki.root));
    write(folder / "card_certificate.bin", pki.card.cardCertificate);
    write(folder / "member_state_certificate.bin", pki.card.memberStateCertificate);
    write(folder / "gen2_root_certificate.bin", pki2.rootCertificate);
    write(folder / "gen2_card_sign_certificate.bin", pki2.card.cardSignCertificate);
    write(folder / "gen2_p384_certificate.bin", ddd::gen::makeGen2TestPki("secp384r1").card.memberStateCertificate);
}

// Search texts as the finder page sends them, and some it never would.
void writeQuerySeeds(const fs::path& folder) {
    fs::create_directories(folder);
    const char* queries[] = {
        R"({"plate":"M AB 123","name":"","vin":"","y":2024,"mo":3,"d":31,"hStart":2,"hEnd":4})",
        R"({"plate":"","name":"anna","vin":"","y":0,"mo":0,"d":0,"hStart":-1,"hEnd":-1})",
        R"({"vin":"wdb","y":2024,"mo":10,"d":27})",
        R"({"name":"Ömer "x"","plate":["a"],"y":"2024"})",
        R"({"y":2024,"mo":2,"d":30,"hStart":25})",
        "{}",
        "kein JSON",
    };
    int index = 0;
    for (const std::string_view q : queries) {
        write(folder / ("query" + std::to_string(index++) + ".json"), std::span(reinterpret_cast<const std::uint8_t*>(q.data()), q.size()));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return std::fprintf(stderr, "usage: make_seeds OUTPUT_FOLDER\n"), 2;
    const fs::path root = argv[1];
    fs::create_directories(root / "card_file");
    for (const auto& [fid, target] : kTargetOfFid) fs::create_directories(root / target);

    int index = 0;
    for (const auto& card : seedCards()) {
        const auto bytes = ddd::gen::writeCardDownload(card);
        const std::string name = "seed" + std::to_string(index++);
        write(root / "card_file" / (name + ".ddd"), bytes);
        auto split = ddd::splitTlv(bytes);
        if (!split) continue;
        for (const auto& record : split.value().records) {
            auto target = kTargetOfFid.find(record.fid);
            if (target == kTargetOfFid.end() || record.appendix % 2 != 0) continue;
            char suffix[32];
            std::snprintf(suffix, sizeof suffix, "_%04X_%u", unsigned{record.fid}, unsigned{record.appendix});
            write(root / target->second / (name + suffix), record.value);
        }
    }
    writeVuSeeds(root / "vu_download");
    writeQuerySeeds(root / "finder_query");
    writeCertificateSeeds(root / "certificate");
    return 0;
}
