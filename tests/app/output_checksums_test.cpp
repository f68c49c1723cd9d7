// The outputs people and other programs read stay byte for byte what they were: ddd-dump's JSON,
// summary and analysis document and the CSV set, for the demo driver, a generated year of two
// downloads and a vehicle unit, compared with the checksum table beside this file. A deliberate
// change of an output replaces the table with the one a failing run prints.
#include <gtest/gtest.h>
#include <openssl/sha.h>

#include <cstdio>
#include <map>
#include <sstream>

#include "report/csv_export.h"
#include "tests/analysis/generated_histories.h"
#include "tests/support/temp_folder.h"
#include "tools/vu_generator/vu_generator.h"

namespace ddd {
namespace {

std::string sha256(const std::string& bytes) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
    std::string hex;
    for (unsigned char byte : digest) hex += "0123456789abcdef"[byte >> 4], hex += "0123456789abcdef"[byte & 15];
    return hex;
}

// Standard output of ddd-dump run in the folder on a path relative to it, so that no temporary
// path enters the output.
std::string dump(const test::TempFolder& folder, const std::string& mode, const std::string& file) {
    std::string text;
    FILE* pipe = ::popen(("cd '" + folder.path().string() + "' && " DDD_DUMP_PATH " " + mode + " " + file).c_str(), "r");
    char buffer[65536];
    for (std::size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
    if (pipe) ::pclose(pipe);
    return text;
}

TEST(OutputChecksums, DumpAnalysisAndCsvStayByteIdentical) {
    test::TempFolder folder;
    folder.writeCard("demo.ddd", gen::demoCard());
    // Two downloads of one driver, the older one taken while the card was in use, merged by the analysis.
    const gen::CardDescription year = gen::randomCard(2025, 365, gen::Generation::Both);
    folder.writeCard("year/year.ddd", year);
    folder.writeCard("year/spring.ddd", test::partialCard(year, 0, 120, 600));
    gen::FleetPlan plan;
    plan.drivers = 2;
    plan.vehicles = 1;
    plan.vuDownloadsPerVehicle = 1;
    folder.write("vu.ddd", gen::writeVuDownload(gen::makeFleet(25, plan).vehicleUnits.front()));

    std::map<std::string, std::string> outputs;
    for (const std::string file : {"demo.ddd", "year/year.ddd", "vu.ddd"}) {
        outputs[file + " json"] = dump(folder, "", file);
        outputs[file + " summary"] = dump(folder, "--summary", file);
    }
    const std::map<std::string, std::vector<std::string>> drivers{{"demo.ddd", {"demo.ddd"}},
                                                                  {"year/year.ddd", {"year/spring.ddd", "year/year.ddd"}}};
    for (const auto& [opened, files] : drivers) {
        outputs[opened + " analysis"] = dump(folder, "--analysis", opened);
        std::vector<std::string> paths;
        for (const auto& file : files) paths.push_back(folder.file(file));
        for (const std::string month : {"", "2024/03"}) {
            const std::string csvFolder = folder.file("csv" + std::to_string(outputs.size()));
            std::filesystem::create_directories(csvFolder);
            ASSERT_TRUE(report::exportCsv(paths, month, csvFolder + "/out").ok) << opened << month;
            for (const auto& entry : std::filesystem::directory_iterator(csvFolder)) {
                const std::string table = entry.path().filename().string().substr(4);
                outputs[opened + " csv " + (month.empty() ? "all" : month) + " " + table] = test::readFile(entry.path().string());
            }
        }
    }

    std::ostringstream actual;
    for (const auto& [name, bytes] : outputs) actual << name << ' ' << bytes.size() << ' ' << sha256(bytes) << '\n';
    std::string expected;
    std::istringstream table(test::readFile(DDD_OUTPUT_CHECKSUMS));
    for (std::string line; std::getline(table, line);) {
        if (!line.starts_with("#")) expected += line + '\n';
    }
    EXPECT_EQ(actual.str(), expected) << "the outputs now give this table:\n" << actual.str();
}

}  // namespace
}  // namespace ddd
