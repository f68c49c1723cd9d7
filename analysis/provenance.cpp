#include "analysis/provenance.h"

#include <algorithm>

#include "core/primitives.h"

namespace ddd::report {
namespace {

std::string lastPathComponent(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::optional<std::int64_t> validDownloadTime(const std::optional<CardApplicationData>& part) {
    if (!part || !part->lastCardDownload || isEmptyTime(*part->lastCardDownload)) return std::nullopt;
    return part->lastCardDownload;
}

ProvenanceFile describeFile(const std::string& path, const DriverCardFile* card) {
    ProvenanceFile file;
    file.name = lastPathComponent(path);
    if (card == nullptr) return file;
    file.downloadTime = validDownloadTime(card->gen2);
    if (!file.downloadTime) file.downloadTime = validDownloadTime(card->gen1);
    std::set<std::int64_t> dates;
    for (const auto* part : {&card->gen1, &card->gen2}) {
        if (!*part || !(*part)->driverActivity) continue;
        for (const auto& record : (*part)->driverActivity->days) {
            file.recordKeys.insert(recordKey(record));
            dates.insert(record.date);
            for (const std::uint16_t change : record.changes) {
                if (changeMinute(change) >= 1440) continue;
                const std::int64_t at = record.date + std::int64_t{changeMinute(change)} * 60;
                if (!file.latestChange || at > *file.latestChange) file.latestChange = at;
            }
        }
    }
    if (!dates.empty()) {
        file.earliestDate = *dates.begin();
        file.latestDate = *dates.rbegin();
    }
    file.distinctDates = static_cast<std::uint32_t>(dates.size());
    return file;
}

}  // namespace

ProvenanceModel buildProvenance(const std::vector<std::string>& paths, CardList cards, const std::string& card,
                                const std::string& driver, std::uint32_t nation) {
    ProvenanceModel model{card, driver, nation, {}, {}};
    const std::size_t count = std::min(paths.size(), cards.size());
    for (std::size_t i = 0; i < count; ++i) model.files.push_back(describeFile(paths[i], cards[i]));

    const MergedCardView view = mergeDownloads(cards.first(count));
    auto conflict = view.dayConflicts.begin();
    for (const ChosenDay& chosen : view.days) {
        ProvenanceDay day{chosen.day, {}, false};
        const std::string key = recordKey(chosen.record);
        for (std::size_t i = 0; i < model.files.size(); ++i) {
            if (model.files[i].recordKeys.count(key) != 0) day.sources.push_back(i);
        }
        while (conflict != view.dayConflicts.end() && conflict->day < chosen.day) ++conflict;
        if (conflict != view.dayConflicts.end() && conflict->day == chosen.day) {
            day.conflict = std::any_of(conflict->variants.begin(), conflict->variants.end(),
                                       [&](const DayVariant& v) { return sameRecord(v.record, chosen.record); });
        }
        model.days.push_back(std::move(day));
    }
    return model;
}

}  // namespace ddd::report
