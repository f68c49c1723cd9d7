// The outputs people and other programs read stay byte for byte what they were: ddd-dump's JSON,
// summary and analysis document and the CSV set, for the demo driver, a generated year of two
// downloads and a vehicle unit, compared with the checksum table beside this file. A deliberate
// change of an output replaces the table with the one a failing run prints.
#include <gtest/gtest.h>
#include <openssl/sha.h>

#include <cstdio>
#include <map>

#include "report/csv_export.h"
#include "tests/analysis/generated_histories.h"
#include "tests/support/temp_folder.h"
#include "tools/vu_generator/vu_generator.h"

namespace ddd {
namespace {

std::string sha256(const std::string& bytes) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
    char hex[2 * SHA256_DIGEST_LENGTH + 1];
    for (int i = 0; i < SHA256_DIGEST_LENGTH; ++i) std::snprintf(hex + 2 * i, 3, "%02x", digest[i]);
    return hex;
}

TEST(OutputChecksums, DumpAnalysisAndCsvStayByteIdentical) {
    test::TempFolder folder;
    folder.writeCard("demo.ddd", gen::demoCard());
    // Two downloads of one driver, the older one taken while the card was in use, merged by the analysis.
    const gen::CardDescription year = gen::randomCard(2025, 365, gen::Generation::Both);
    folder.writeCard("year/year.ddd", year);
    folder.writeCard("year/spring.ddd", test::partialCard(year, 0, 120, 600));
    gen::FleetPlan plan{.drivers = 2, .vehicles = 1, .vuDownloadsPerVehicle = 1};
    folder.write("vu.ddd", gen::writeVuDownload(gen::makeFleet(25, plan).vehicleUnits.front()));
    std::map<std::string, std::string> outputs;
    // Run in the folder on relative paths, so that no temporary path enters the output.
    auto dump = [&](const std::string& mode, const std::string& file) {
        FILE* pipe = ::popen(("cd '" + folder.path().string() + "' && " DDD_DUMP_PATH " " + mode + " " + file).c_str(), "r");
        char buffer[65536];
        std::string& text = outputs[file + " " + (mode.empty() ? "json" : mode.substr(2))];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
        ::pclose(pipe);
    };
    for (const std::string file : {"demo.ddd", "year/year.ddd", "vu.ddd"}) dump("", file), dump("--summary", file);
    for (const auto& [opened, files] : std::map<std::string, std::vector<std::string>>{
             {"demo.ddd", {folder.file("demo.ddd")}}, {"year/year.ddd", {folder.file("year/spring.ddd"), folder.file("year/year.ddd")}}}) {
        dump("--analysis", opened);
        for (const std::string month : {"", "2024/03"}) {
            const std::string csvFolder = folder.file("csv" + std::to_string(outputs.size()));
            std::filesystem::create_directories(csvFolder);
            ASSERT_TRUE(report::exportCsv(files, month, csvFolder + "/out").ok) << opened << month;
            for (const auto& entry : std::filesystem::directory_iterator(csvFolder)) {
                const std::string table = entry.path().filename().string().substr(4);
                outputs[opened + " csv " + (month.empty() ? "all" : month) + " " + table] = test::readFile(entry.path().string());
            }
        }
    }
    std::string actual, expected = test::readFile(DDD_OUTPUT_CHECKSUMS);
    for (const auto& [name, bytes] : outputs) actual += name + ' ' + std::to_string(bytes.size()) + ' ' + sha256(bytes) + '\n';
    EXPECT_EQ(actual, expected.substr(expected.find('\n') + 1)) << "the outputs now give this table:\n" << actual;
}

}  // namespace
}  // namespace ddd
