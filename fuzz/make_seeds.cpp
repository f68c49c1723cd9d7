// Writes the seed corpora of the fuzz targets: generated card downloads of both generations
// (some with faults) and the EF values taken out of them, one folder per target.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "core/card_file.h"
#include "tools/generator/card_generator.h"

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

void write(const fs::path& path, const std::uint8_t* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

std::vector<ddd::gen::CardDescription> seedCards() {
    std::vector<ddd::gen::CardDescription> cards;
    std::uint64_t seed = 1;
    for (Generation g : {Generation::Gen1, Generation::Gen2, Generation::Both}) {
        for (int days : {1, 7, 40}) cards.push_back(ddd::gen::randomCard(seed++, days, g));
    }
    auto wrapped = ddd::gen::randomCard(seed++, 30, Generation::Gen1);
    wrapped.gen1.activityBytes = 2000;
    wrapped.gen1.activityStartOffset = 1900;
    cards.push_back(wrapped);
    auto broken = ddd::gen::randomCard(seed++, 10, Generation::Both);
    broken.inject = {Fault::previousLength(4, 30), Fault::minuteOutOfRange(2),
                     Fault::resizeEf(0x0505, Generation::Gen2, 100)};
    cards.push_back(broken);
    auto truncated = ddd::gen::randomCard(seed++, 5, Generation::Gen1);
    truncated.inject = {Fault::truncateAt(2000)};
    cards.push_back(truncated);
    return cards;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds OUTPUT_FOLDER\n");
        return 2;
    }
    const fs::path root = argv[1];
    fs::create_directories(root / "card_file");
    for (const auto& [fid, target] : kTargetOfFid) fs::create_directories(root / target);

    int index = 0;
    for (const auto& card : seedCards()) {
        const auto bytes = ddd::gen::writeCardDownload(card);
        const std::string name = "seed" + std::to_string(index++);
        write(root / "card_file" / (name + ".ddd"), bytes.data(), bytes.size());
        auto split = ddd::splitTlv(bytes);
        if (!split) continue;
        for (const auto& record : split.value().records) {
            auto target = kTargetOfFid.find(record.fid);
            if (target == kTargetOfFid.end() || record.appendix % 2 != 0) continue;
            char suffix[32];
            std::snprintf(suffix, sizeof suffix, "_%04X_%u", unsigned{record.fid}, unsigned{record.appendix});
            write(root / target->second / (name + suffix), record.value.data(), record.value.size());
        }
    }
    return 0;
}
