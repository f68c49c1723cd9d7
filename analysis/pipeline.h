// The entries from card downloads to the analysis of one driver: a list of decoded downloads,
// a list of files, or an opened file together with the other downloads of its driver found in
// the same folder tree.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/analysis_result.h"
#include "analysis/merge.h"
#include "core/card_file.h"
#include "core/folder_walk.h"

namespace ddd {

// Analyses the downloads of one driver. Refuses, with the reason, when any of them holds data
// that could not be decoded: a partial report is never produced.
AnalysisResult analyze(CardList cards);

// Reads and decodes each file and analyses the card downloads among them.
AnalysisResult analyzeFiles(const std::vector<std::string>& paths);

// Analyses the driver of an opened card download: the file and every download of the same
// driver in the folder tree the file lies in (renewed and replaced cards included).
AnalysisResult analyzeDriverOfFile(const std::string& path);
// The same over the candidate files of driverGroupOfCandidates.
AnalysisResult analyzeDriverOfFile(const std::string& path, const DownloadWalk& candidates);

// Issuing state, a zero byte and the first 14 characters of the card number: the same for every
// card of one driver, whatever its replacement and renewal indexes.
using DriverKey = std::array<std::uint8_t, 16>;
DriverKey driverKeyOf(const CardIdentification& identification);

// The card downloads of one driver found in a folder tree, in the order found.
struct CardGroup {
    DriverKey key{};
    std::vector<std::string> paths;
    std::vector<std::unique_ptr<DriverCardFile>> cards;
    std::vector<SkippedFile> skipped;  // what the search for them left out, and why
};

// What a walk met besides the downloads it kept.
struct FolderScanCounters {
    std::uint64_t dddFiles = 0;
    std::uint64_t malformedStops = 0;
    std::uint64_t skippedRecords = 0;
    std::uint64_t unorderedDays = 0;
    std::uint64_t activityDecodeFailures = 0;
};

struct CardFolder {
    std::vector<CardGroup> groups;  // in key order
    FolderScanCounters counters;
    std::vector<SkippedFile> skipped;  // ".ddd" entries and folders that could not be read
};

// Walks a folder tree and decodes every ".ddd" card download in it, grouped by driver. With
// `onlyDriver`, only that driver's downloads are decoded in full (the others are identified and
// left out), which keeps opening a file in a large archive fast.
CardFolder loadCardFolder(const std::string& folder, const std::optional<DriverKey>& onlyDriver = std::nullopt);

// The downloads of the driver of an opened card download found in the folder tree the file lies
// in, the file itself among them (matched by canonical path, so links and dot segments do not
// matter). Absent when the file is no identifiable ".ddd" card download or was not found there.
// Another download of the driver holding damaged data is set aside, named in `skipped`, so that
// a damaged copy lying somewhere in the archive does not block the intact ones; the opened
// file's own damage is left for the analysis to refuse.
std::optional<CardGroup> driverGroupOfFile(const std::string& path);

// As driverGroupOfFile, for a caller that knows which files of the folder tree can hold the
// driver's downloads: `candidates` lists them in walk order, the opened file among them, and
// what a walk of the folder leaves out; only they are read.
std::optional<CardGroup> driverGroupOfCandidates(const std::string& path, const DownloadWalk& candidates);

// Takes the downloads holding damaged data out of the group and names each in `skipped` with the
// first of its problems. The opened download, if any, stays for the analysis to refuse; without
// one, a group of nothing but damaged copies is left whole.
void setAsideDamagedCopies(CardGroup& group, std::optional<std::size_t> openedIndex);

// First names and surname as the reports show them.
std::string driverNameOf(const CardIdentification& identification);

}  // namespace ddd
