// The kept archive index against a fresh scan of the same tree, through changes of the tree, a
// scan killed midway, and index files that are damaged, foreign or cannot be written.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <set>

#include "analysis/pipeline.h"
#include "finder/archive_index.h"
#include "report/analysis_json.h"
#include "tests/analysis/generated_histories.h"
#include "tests/support/process.h"
#include "tests/support/temp_folder.h"
#include "tools/vu_generator/vu_generator.h"

namespace {

namespace fs = std::filesystem;
using namespace ddd::finder;
using ddd::test::TempFolder;

using Row = std::tuple<char, std::string, std::string, std::string, std::string, std::string, std::uint32_t, std::uint32_t, std::int64_t,
                       std::int64_t, std::int64_t, std::int64_t, std::string>;

// Every session in index order, and the counts and skipped files behind the statistics.
std::pair<std::vector<Row>, std::string> contents(const DriverIndex& index) {
    std::vector<Row> rows;
    for (const FinderSession& s : index.sessions) {
        rows.emplace_back(s.source, s.surname, s.firstNames, s.card, s.vin, s.plate, s.plateNation, s.slot, s.start, s.end, s.odometerStart,
                          s.odometerEnd, s.file);
    }
    return {rows, statsJson(index) + std::to_string(index.filesUnreadable) + "/" + std::to_string(index.filesUnrecognised)};
}

// Both the index a rescan hands over and the one read back from the file.
void expectAsFreshScan(const ArchiveIndex& kept, const std::string& folder) {
    DriverIndex fresh;
    fresh.scanDirectory(folder, nullptr);
    for (const char* read : {"first", "again"}) EXPECT_EQ(contents(kept.driverIndex()), contents(fresh)) << read;
}

// The file as the version before kept it, without the groups each download's sessions belong to.
void asPreviousVersion(const std::string& file) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, "DROP TABLE download_groups; DROP TABLE finder_changes; DROP INDEX downloads_kind; PRAGMA user_version=2",
                           nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

// Reopened from its file before each change: additions, touches, renames and deletions are read
// again, no more, and the kept index answers as a fresh scan does. A content copied to two more
// paths is read but not decoded and adds no session.
TEST(ArchiveIndex, FollowsTheTreeReadingOnlyWhatChanged) {
    TempFolder tree, data;
    const ddd::gen::Fleet fleet = ddd::gen::makeFleet(3, {.drivers = 4, .vehicles = 3, .days = 6, .speedMinutes = 5});
    tree.writeFleet(fleet);
    const std::string file = data.file("archive.sqlite"), folder = tree.path().string();
    std::vector<std::string> units, relative;
    for (const auto& f : ddd::gen::fleetFiles(fleet)) {
        units.push_back(tree.file(f.relativePath));
        relative.push_back(f.relativePath);
    }
    struct Step { const char* name; std::function<void()> change; long read, decoded, vanished; };
    const Step steps[] = {
        {"first build", [] {}, 14, 14, 0},
        {"nothing changed", [] {}, 0, 0, 0},
        {"kept by the version before", [&] { asPreviousVersion(file); }, 0, 0, 0},
        {"a new download", [&] { tree.writeCard("cards/new/new.ddd", {}); }, 1, 1, 0},
        {"touched", [&] { fs::last_write_time(units[0], fs::last_write_time(units[0]) + std::chrono::seconds(9)); }, 1, 0, 0},
        {"rewritten in place", [&] { tree.writeCard(relative[2], ddd::gen::randomCard(5, 10, ddd::gen::Generation::Gen1)); }, 1, 1, 0},
        {"renamed", [&] { fs::rename(units[13], tree.file("moved.ddd")); }, 1, 0, 1},
        {"deleted", [&] { fs::remove(units[1]); }, 0, 0, 1},
        {"copied twice", [&] { for (const char* to : {"zz1.ddd", "zz2.ddd"}) fs::copy_file(units[12], tree.file(to)); }, 2, 0, 0},
    };
    std::pair<std::vector<Row>, std::string> before;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        step.change();
        ArchiveIndex index(file);
        const RescanCounts counts = index.rescan({folder}, nullptr);
        EXPECT_EQ(std::tuple(counts.complete, counts.read, counts.decoded, counts.vanished, index.notice()),
                  std::tuple(true, step.read, step.decoded, step.vanished, std::string()));
        if (std::string(step.name) != "copied twice") {
            expectAsFreshScan(index, folder);
            before = contents(index.driverIndex());
            continue;
        }
        EXPECT_EQ(contents(index.driverIndex()).first, before.first);
        EXPECT_EQ(index.downloads().size(), 14u);
    }

    // What is kept of each download, and a driver's card downloads as the dashboard would open them.
    ArchiveIndex index(file);
    const std::string driver = fleet.drivers[0].cardNumber.substr(0, 14);
    std::set<std::string> identities, expected;
    int nation = -1;
    for (const ArchiveDownload& d : index.downloads()) {
        identities.insert(d.kind == 'C' ? "C" + d.cardNumber + d.surname : std::string(1, d.kind) + d.vin + d.registration);
        if (d.kind == 'C' && d.cardNumber.starts_with(driver)) nation = d.nation;
        // The fleet's cards carry pseudo-random signatures and no activities; its units no signatures.
        EXPECT_TRUE(d.kind == 'C' ? d.signature == "invalid" : d.signature == "unsigned" && d.periodBegin >= 1709251200 && d.periodEnd > d.periodBegin)
            << d.path << " " << d.periodBegin << " " << d.periodEnd << " " << d.signature;
    }
    for (const auto& d : fleet.drivers) expected.insert("C" + d.cardNumber + d.surname);
    for (const auto& v : fleet.vehicles) expected.insert("V" + v.vin + v.plate);
    EXPECT_TRUE(std::includes(identities.begin(), identities.end(), expected.begin(), expected.end()));
    EXPECT_EQ(identities.size(), expected.size() + 2) << "and the new and the rewritten card";
    std::vector<std::string> paths;
    for (const auto& entry : fs::directory_iterator(tree.path() / "cards" / driver)) paths.push_back(entry.path().string());
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(index.driverDownloads(nation, driver), paths);
}

void patch(const std::string& file, std::size_t at, std::vector<std::uint8_t> bytes) {
    std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(at));
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// An index file that cannot serve is set aside (or, where nothing can be written, the index
// lives in memory) with a German notice; the finder answers as a fresh scan does.
TEST(ArchiveIndex, ADamagedForeignOrUnwritableFileNeverStopsTheFinder) {
    TempFolder tree;
    tree.writeFleet(ddd::gen::makeFleet(5, {.drivers = 3, .vehicles = 2, .days = 4, .speedMinutes = 5}));
    const std::string folder = tree.path().string();
    struct Case { const char* name; std::function<void(const std::string&)> spoil; std::string notice; bool setAside; };
    const Case cases[] = {
        {"no database", [](const std::string& f) { std::ofstream(f) << std::string(9000, 'x'); }, "war beschädigt", true},
        {"pages overwritten", [](const std::string& f) { patch(f, 4096, std::vector<std::uint8_t>(fs::file_size(f) - 4096, 0x55)); }, "war beschädigt", true},
        {"another program's", [](const std::string& f) { patch(f, 68, {0, 0, 0, 0}); }, "ist kein Archiv-Index dieses Programms", true},
        {"a newer version", [](const std::string& f) { patch(f, 60, {0, 0, 0, 99}); }, "neueren Programmversion", true},
        {"folder is a file", [](const std::string& f) { std::ofstream(fs::path(f).parent_path().string() + "/blocker"); }, "nicht gespeichert", false},
        {"read-only folder", [](const std::string& f) { fs::permissions(fs::path(f).parent_path(), fs::perms::owner_read | fs::perms::owner_exec); },
         "nicht gespeichert", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder data;
        std::string file = data.file("archive.sqlite");
        ArchiveIndex(file).rescan({folder}, nullptr);
        c.spoil(file);
        if (std::string(c.name) == "folder is a file") file = data.file("blocker/archive.sqlite");
        if (::access(data.path().c_str(), W_OK) == 0 && std::string(c.name) == "read-only folder") continue;  // a superuser writes anyway
        ArchiveIndex index(file);
        EXPECT_TRUE(index.rescan({folder}, nullptr).complete);
        EXPECT_TRUE(ddd::test::contains(index.notice(), c.notice)) << index.notice();
        EXPECT_EQ(index.kept(), c.setAside);
        expectAsFreshScan(index, folder);
        std::size_t files = 0;
        for (const auto& entry : fs::directory_iterator(data.path())) files += entry.path().filename().string().starts_with("archive.sqlite.beiseite-");
        EXPECT_EQ(files, c.setAside ? 1u : 0u);
    }
}

// A scan killed after it stored its first transaction keeps what it stored; the next rescan reads
// only the rest. The killed process cannot have finished: it writes a line per file into a pipe
// that is no longer read long before its last file.
TEST(ArchiveIndex, AScanKilledMidwayLeavesAUsableIndex) {
    TempFolder tree, data;
    tree.writeFleet(ddd::gen::makeFleet(8, {.drivers = 200, .vehicles = 100, .days = 2, .cardDownloadsPerDriver = 15, .vuDownloadsPerVehicle = 30,
                                            .speedMinutes = 0}));
    const std::string file = data.file("archive.sqlite"), folder = tree.path().string();
    {
        ddd::test::ChildProcess scan({DDD_ARCHIVE_INDEX_PATH, "-v", "--index", file, folder});
        ASSERT_TRUE(scan.waitForOutput("gespeichert: 256\n"));
    }
    ArchiveIndex index(file);
    const long kept = static_cast<long>(index.driverIndex().filesIndexed);
    EXPECT_TRUE(kept >= 256 && kept < 6000) << kept;
    const RescanCounts counts = index.rescan({folder}, nullptr);
    EXPECT_EQ(std::tuple(counts.files, counts.read, index.notice()), std::tuple(6000L, 6000 - kept, std::string()));
    expectAsFreshScan(index, folder);
}

// Opening a driver with the index current for the opened file's folder reads only the driver's
// downloads and answers as the walk of the whole tree does; a change the index cannot vouch for
// (a file added, removed, or the opened one rewritten) leaves the walk to answer.
TEST(ArchiveIndex, OpeningADriverFromTheIndexAnswersAsTheWalk) {
    const ddd::gen::CardDescription history = ddd::gen::randomCard(31, 40, ddd::gen::Generation::Gen1);
    const auto part = [&](std::size_t first) { return ddd::test::partialCard(history, first, 14); };
    struct Case { const char* name; std::function<void(const TempFolder&)> change; bool fromIndex; std::uint32_t merged; };
    const Case cases[] = {
        {"as scanned", [](const TempFolder&) {}, true, 3},
        {"a download of the driver rewritten in place", [&](const TempFolder& t) { t.writeCard("driver/b.ddd", part(20)); }, true, 3},
        {"a download of the driver added", [&](const TempFolder& t) { t.writeCard("driver/later.ddd", part(26)); }, false, 4},
        {"a download of the driver removed", [](const TempFolder& t) { fs::remove(t.file("later/c.ddd")); }, false, 2},
        {"the opened download rewritten", [&](const TempFolder& t) { t.writeCard("opened.ddd", part(2)); }, false, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder tree, data;
        tree.writeFleet(ddd::gen::makeFleet(4, {.drivers = 3, .vehicles = 2, .days = 4, .speedMinutes = 5}), "fleet/");
        const std::string opened = tree.writeCard("opened.ddd", part(0));
        tree.writeCard("driver/b.ddd", part(10));
        tree.writeCard("later/c.ddd", part(24));
        fs::create_directory_symlink(tree.path() / "driver", tree.path() / "fleet" / "link");
        // Folders written just now are not trusted to show the next change; a company's are older.
        for (const auto& entry : fs::recursive_directory_iterator(tree.path())) {
            if (entry.is_directory()) fs::last_write_time(entry.path(), fs::file_time_type::clock::now() - std::chrono::hours(1));
        }
        fs::last_write_time(tree.path(), fs::file_time_type::clock::now() - std::chrono::hours(1));
        const std::string file = data.file("archive.sqlite");
        ArchiveIndex(file).rescan({tree.path().string()}, nullptr);
        c.change(tree);
        const std::optional<ddd::DownloadWalk> candidates = ArchiveIndex(file).driverCandidates(opened);
        ASSERT_EQ(candidates.has_value(), c.fromIndex);
        const ddd::AnalysisResult walked = ddd::analyzeDriverOfFile(opened);
        EXPECT_EQ(std::pair(walked.filesMerged, walked.skippedFiles.size()), std::pair(c.merged, std::size_t{1}));
        if (candidates) {
            EXPECT_EQ(ddd::toAnalysisJson(ddd::analyzeDriverOfFile(opened, *candidates)), ddd::toAnalysisJson(walked));
        }
    }
}

}  // namespace
