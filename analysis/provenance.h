// Which download file every chosen day of a driver's history was taken from: the content of the
// provenance manifest.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "analysis/merge.h"

namespace ddd::report {

struct ProvenanceFile {
    std::string name;                          // last path component
    std::optional<std::int64_t> downloadTime;  // the card's own record of its last download
    std::optional<std::int64_t> latestChange;  // the newest activity change the file holds
    std::optional<std::int64_t> latestDate;
    std::optional<std::int64_t> earliestDate;
    std::uint32_t distinctDates = 0;
    std::set<std::string> recordKeys;  // recordKey of every record in the file
};

struct ProvenanceDay {
    std::int64_t day = 0;
    std::vector<std::size_t> sources;  // indexes into files whose record equals the chosen one
    bool conflict = false;
};

struct ProvenanceModel {
    std::string card;
    std::string driver;
    std::uint32_t nation = 0;
    std::vector<ProvenanceFile> files;
    std::vector<ProvenanceDay> days;
};

// `paths` and `cards` are parallel; only the first min(paths, cards) entries are used. A null card
// keeps its file entry (empty) so that indexes still match the paths, and adds no days.
ProvenanceModel buildProvenance(const std::vector<std::string>& paths, CardList cards, const std::string& card,
                                const std::string& driver, std::uint32_t nation);

}  // namespace ddd::report
