#include "analysis/pipeline.h"

#include <algorithm>
#include <filesystem>
#include <map>

#include "analysis/forecasts.h"
#include "analysis/parallel.h"
#include "analysis/remaining_times.h"
#include "analysis/reference_rules.h"
#include "analysis/rule_engine.h"
#include "analysis/timeline.h"
#include "core/atomic_file.h"

namespace ddd {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kListedDecodeMessages = 6;

// The texts of every decoding problem of every download, in download order.
std::vector<std::string> decodeMessages(CardList cards) {
    std::vector<std::string> messages;
    for (const DriverCardFile* card : cards) {
        if (!card) continue;
        for (const auto* part : {&card->gen1, &card->gen2}) {
            if (!*part) continue;
            const auto& issues = (*part)->issues;
            messages.insert(messages.end(), issues.begin(), issues.end());
            if ((*part)->activityDecodeFailed && issues.empty()) {
                messages.push_back("Driver_Activity_Data: failed to parse");
            }
        }
    }
    return messages;
}

std::string refusal(const std::vector<std::string>& messages) {
    std::string text = "card download has unparsed or corrupt data; the report would be incomplete \xE2\x80\x94 ";
    const std::size_t listed = std::min(messages.size(), kListedDecodeMessages);
    for (std::size_t i = 0; i < listed; ++i) {
        if (i > 0) text += "; ";
        text += messages[i];
    }
    if (messages.size() > listed) text += "; (+" + std::to_string(messages.size() - listed) + " more)";
    return text;
}

// One file of a folder walk, decoded in full when it belongs to a wanted driver.
struct LoadedFile {
    std::optional<DriverKey> key;
    std::unique_ptr<DriverCardFile> card;
    std::string unreadable;    // why the file was not read, when that is worth telling
    bool openedFile = false;   // the opened download's file, by device and inode
};

// The opened download, read before the walk: when the walk meets the file again, by whatever
// path, it takes these bytes instead of reading them once more.
struct OpenedDownload {
    std::string path;
    FileRead read;
    DriverKey driver{};

    bool isFile(const FileRead& status) const { return status && status.device == read.device && status.inode == read.inode; }
};

// The opened file when it is an identifiable ".ddd" card download.
std::optional<OpenedDownload> openedDownload(const std::string& path) {
    if (!hasDddExtension(path)) return std::nullopt;
    OpenedDownload opened{path, readWholeFile(path)};
    if (!opened.read) return std::nullopt;
    const auto identification = chosenCardIdentification(*opened.read);
    if (!identification) return std::nullopt;
    opened.driver = driverKeyOf(*identification);
    return opened;
}

// False when the file's record headers and identification show it is no download of the driver:
// then the rest is passed over unread. A file too large for a card download, or that cannot be
// read, goes the whole way, so that it is named as the whole read names it; so does one of no
// size, which tells nothing (the files of /proc hold bytes without telling their size).
bool mayBeOfDriver(FileReader& file, const DriverKey& driver) {
    if (!file.status() || file.status().size == 0 || file.status().size > kMaxCardDownloadBytes) return true;
    const FileIdentification found = chosenCardIdentificationOfFile(
        file.status().size, [&](std::uint64_t offset, std::span<std::uint8_t> into) { return file.readAt(offset, into); });
    return !found.decided || (found.identification && driverKeyOf(*found.identification) == driver);
}

void decodeDownload(LoadedFile& loaded, const std::vector<std::uint8_t>& bytes, const std::optional<DriverKey>& onlyDriver) {
    auto identification = chosenCardIdentification(bytes);
    if (!identification) return;
    const DriverKey key = driverKeyOf(*identification);
    if (onlyDriver && key != *onlyDriver) return;
    auto decoded = decodeCardFile(bytes);
    if (!decoded) return;
    loaded.key = key;
    loaded.card = std::make_unique<DriverCardFile>(std::move(decoded).value());
    loaded.card->authenticity = verifyCardDownload(bytes, installedTrustAnchors());
}

LoadedFile loadFile(FileReader& file, const std::optional<DriverKey>& onlyDriver, const OpenedDownload* opened) {
    LoadedFile loaded;
    if (opened && opened->isFile(file.status())) {
        loaded.openedFile = true;
        decodeDownload(loaded, *opened->read, onlyDriver);
        return loaded;
    }
    if (onlyDriver && !mayBeOfDriver(file, *onlyDriver)) return loaded;
    // A file larger than any card download is left out unread: a vehicle unit's download, most
    // likely, which the walk leaves out anyway; only one larger than any download is named.
    auto bytes = file.readWhole(kMaxCardDownloadBytes);
    if (!bytes) {
        const bool vehicleUnitSized = bytes.problem == ReadProblem::TooLarge && bytes.size <= kMaxDownloadBytes;
        if (!vehicleUnitSized) {
            if (bytes.problem == ReadProblem::TooLarge) bytes.limit = kMaxDownloadBytes;
            loaded.unreadable = bytes.reason();
        }
        return loaded;
    }
    decodeDownload(loaded, *bytes, onlyDriver);
    return loaded;
}

// The opened download's driver among loaded files, file i named by pathOf(i), with what the
// search left out; absent when the opened file is not among them. The device and inode tell
// which file is the opened one; only where they match, the canonical paths decide (a file of
// several names is the opened one under the name it was opened by).
template <typename PathOf>
std::optional<CardGroup> groupOfOpened(const OpenedDownload& opened, std::vector<LoadedFile>& loaded, PathOf pathOf,
                                       std::vector<SkippedFile> skipped) {
    CardGroup group;
    group.key = opened.driver;
    group.skipped = std::move(skipped);
    std::optional<fs::path> openedCanonical;
    std::optional<std::size_t> openedIndex;
    for (std::size_t i = 0; i < loaded.size(); ++i) {
        if (!loaded[i].unreadable.empty()) group.skipped.push_back({pathOf(i), std::move(loaded[i].unreadable)});
        if (!loaded[i].card) continue;
        std::string path = pathOf(i);
        if (!openedIndex && loaded[i].openedFile) {
            std::error_code error;
            if (!openedCanonical) openedCanonical = fs::weakly_canonical(opened.path, error);
            if (fs::weakly_canonical(path, error) == *openedCanonical) openedIndex = group.paths.size();
        }
        group.paths.push_back(std::move(path));
        group.cards.push_back(std::move(loaded[i].card));
    }
    if (!openedIndex) return std::nullopt;
    setAsideDamagedCopies(group, *openedIndex);
    return group;
}

void addCounters(FolderScanCounters& counters, const DriverCardFile& card) {
    for (const auto* part : {&card.gen1, &card.gen2}) {
        if (!*part) continue;
        if ((*part)->activityDecodeFailed) ++counters.activityDecodeFailures;
        if (const auto& activity = (*part)->driverActivity) {
            counters.malformedStops += activity->malformedStops;
            counters.skippedRecords += activity->skippedRecords;
            counters.unorderedDays += activity->unorderedDays;
        }
    }
}

// Names the downloads of the authenticity list, which analyze() gives in the order of `names`.
AnalysisResult withFileNames(AnalysisResult result, const std::vector<std::string>& names) {
    for (std::size_t i = 0; i < result.authenticity.size() && i < names.size(); ++i) {
        result.authenticity[i].file = names[i];
    }
    return result;
}

CardFolder loadFolder(const std::string& folder, const std::optional<DriverKey>& onlyDriver) {
    DownloadListing listing = listDownloads(folder);
    std::vector<LoadedFile> loaded(listing.size());
    forEachListedFileInParallel(listing, [&](std::size_t i, FileReader& file) { loaded[i] = loadFile(file, onlyDriver, nullptr); });

    CardFolder result;
    result.counters.dddFiles = listing.size();
    result.skipped = std::move(listing.skipped);
    std::map<DriverKey, CardGroup> groups;
    for (std::size_t i = 0; i < listing.size(); ++i) {
        if (!loaded[i].unreadable.empty()) result.skipped.push_back({listing.path(i), std::move(loaded[i].unreadable)});
        if (!loaded[i].card) continue;
        addCounters(result.counters, *loaded[i].card);
        CardGroup& group = groups[*loaded[i].key];
        group.key = *loaded[i].key;
        group.paths.push_back(listing.path(i));
        group.cards.push_back(std::move(loaded[i].card));
    }
    for (auto& [key, group] : groups) result.groups.push_back(std::move(group));
    return result;
}

// The analysis of a driver's group, or of the opened file alone when its group was not found.
AnalysisResult analyzeGroupOrFile(const std::optional<CardGroup>& group, const std::string& path) {
    if (!group) return analyzeFiles({path});
    std::vector<const DriverCardFile*> cards;
    std::vector<std::string> names;
    for (const auto& card : group->cards) cards.push_back(card.get());
    for (const auto& p : group->paths) names.push_back(fs::path(p).filename().string());
    AnalysisResult result = withFileNames(analyze(cards), names);
    result.skippedFiles = group->skipped;
    return result;
}

}  // namespace

DriverKey driverKeyOf(const CardIdentification& identification) {
    DriverKey key{};
    key[0] = identification.issuingNation;
    std::copy_n(identification.cardNumber.begin(), 14, key.begin() + 2);
    return key;
}

void setAsideDamagedCopies(CardGroup& group, std::optional<std::size_t> openedIndex) {
    std::vector<std::string> problems(group.cards.size());
    bool anyIntact = false;
    for (std::size_t i = 0; i < group.cards.size(); ++i) {
        const DriverCardFile* const card[] = {group.cards[i].get()};
        const std::vector<std::string> messages = decodeMessages(card);
        if (!messages.empty()) problems[i] = messages.front();
        else anyIntact = true;
    }
    // Without an opened file, a driver whose every copy is damaged keeps them, so that the
    // analysis refuses with the reason instead of the driver vanishing from the export.
    if (!openedIndex && !anyIntact) return;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < group.cards.size(); ++i) {
        if (i != openedIndex && !problems[i].empty()) {
            group.skipped.push_back({group.paths[i], "beschädigte Kopie, nicht verwendet: " + problems[i]});
            continue;
        }
        if (kept != i) {
            group.paths[kept] = std::move(group.paths[i]);
            group.cards[kept] = std::move(group.cards[i]);
        }
        ++kept;
    }
    group.paths.resize(kept);
    group.cards.resize(kept);
}

CardFolder loadCardFolder(const std::string& folder, const std::optional<DriverKey>& onlyDriver) {
    return loadFolder(folder, onlyDriver);
}

AnalysisResult analyze(CardList cards) {
    AnalysisResult result;
    if (cards.empty()) {
        result.error = "no card files";
        return result;
    }
    if (auto messages = decodeMessages(cards); !messages.empty()) {
        result.error = refusal(messages);
        return result;
    }

    MergedCardView view = mergeDownloads(cards);
    const Timeline timeline = buildTimeline(view);
    if (view.identification) {
        result.driver = driverNameOf(*view.identification);
        result.card = cardNumberText(view.identification->cardNumber);
        result.nation = view.identification->issuingNation;
    }
    result.filesMerged = view.downloadsMerged;

    const auto coreShifts = buildShifts(timeline, specificConditionCodes(view), placeCodes(view));
    result.shifts = joinShifts(coreShifts, buildShiftDetails(coreShifts, timeline, view.vehiclesUsed));
    const auto crew = crewStretches(view.chosenDaysTimeline);
    result.violations = evaluateReferenceRules(coreShifts, timeline, crew);
    const RuleOptions strictCalendar{0, 0, 420};
    result.legalViolations = evaluateMergedView(view, strictCalendar).violations;
    result.remaining = remainingTimes(toActivitySegments(view.chosenDaysTimeline), strictCalendar, crew);
    if (!coreShifts.empty()) result.forecasts = computeForecasts(timeline, coreShifts, coreShifts.back().end);
    result.activities = timeline;
    if (!view.days.empty()) result.dataEnd = view.days.back().dataEnd;
    result.coverageGaps = findCoverageGaps(result.activities);

    if (view.hasSecondVersion) result.countryDays = buildCountryDays(timeline, view.borderCrossings, view.places);
    result.borderCrossings = std::move(view.borderCrossings);
    result.loadOperations = std::move(view.loadOperations);
    result.recordDiagnostics = std::move(view.recordDiagnostics);
    result.vehicles = std::move(view.vehiclesUsed);
    result.countries = std::move(view.places);
    result.events = std::move(view.events);
    result.controls = std::move(view.controls);
    result.specials = std::move(view.specificConditions);
    for (const DriverCardFile* card : cards) result.authenticity.push_back({"", card ? card->authenticity : std::nullopt});
    result.ok = true;
    return result;
}

AnalysisResult analyzeFiles(const std::vector<std::string>& paths) {
    std::vector<std::unique_ptr<DriverCardFile>> owned;
    std::vector<std::string> names;
    std::string lastProblem;
    for (const auto& path : paths) {
        auto bytes = readWholeFile(path);
        if (!bytes) {
            lastProblem = "cannot read file: " + path + ": " + bytes.reason();
            continue;
        }
        auto decoded = decodeCardFile(*bytes);
        if (!decoded) {
            lastProblem = path + ": " + decoded.error().message;
            continue;
        }
        owned.push_back(std::make_unique<DriverCardFile>(std::move(decoded).value()));
        owned.back()->authenticity = verifyCardDownload(*bytes, installedTrustAnchors());
        names.push_back(fs::path(path).filename().string());
    }
    if (owned.empty()) {
        AnalysisResult result;
        result.error = "no readable card files";
        if (!lastProblem.empty()) result.error += " (" + lastProblem + ")";
        return result;
    }
    std::vector<const DriverCardFile*> cards;
    for (const auto& card : owned) cards.push_back(card.get());
    return withFileNames(analyze(cards), names);
}

std::string driverNameOf(const CardIdentification& identification) {
    const std::string& first = identification.firstNames.text;
    const std::string& last = identification.surname.text;
    if (first.empty()) return last;
    if (last.empty()) return first;
    return first + " " + last;
}

std::optional<CardGroup> driverGroupOfFile(const std::string& path) {
    const std::optional<OpenedDownload> opened = openedDownload(path);
    if (!opened) return std::nullopt;
    fs::path parent = fs::path(path).parent_path();
    if (parent.empty()) parent = ".";
    DownloadListing listing = listDownloads(parent.string());
    std::vector<LoadedFile> loaded(listing.size());
    forEachListedFileInParallel(listing, [&](std::size_t i, FileReader& file) { loaded[i] = loadFile(file, opened->driver, &*opened); });
    return groupOfOpened(*opened, loaded, [&](std::size_t i) { return listing.path(i); }, std::move(listing.skipped));
}

AnalysisResult analyzeDriverOfFile(const std::string& path) { return analyzeGroupOrFile(driverGroupOfFile(path), path); }

std::optional<CardGroup> driverGroupOfCandidates(const std::string& path, const DownloadWalk& candidates) {
    const std::optional<OpenedDownload> opened = openedDownload(path);
    if (!opened) return std::nullopt;
    const std::vector<std::string>& files = candidates.files;
    std::vector<LoadedFile> loaded(files.size());
    forEachIndexInParallel(files.size(), [&](std::size_t i) {
        FileReader file(files[i]);
        loaded[i] = loadFile(file, opened->driver, &*opened);
    });
    return groupOfOpened(*opened, loaded, [&](std::size_t i) { return files[i]; }, candidates.skipped);
}

AnalysisResult analyzeDriverOfFile(const std::string& path, const DownloadWalk& candidates) {
    return analyzeGroupOrFile(driverGroupOfCandidates(path, candidates), path);
}

}  // namespace ddd
