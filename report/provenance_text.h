// The provenance manifest ("Quellennachweis"): a plain text beside a report that names, for
// every reported day, the download file it was taken from, so an inspector can check each day.
#pragma once

#include <cstdint>
#include <string>

#include "analysis/provenance.h"

namespace ddd::report {

// `periodKey` is empty for the whole history or a month key "YYYY/MM"; `createdAt` in UTC
// seconds. Lines end with LF, the last one included.
std::string renderProvenanceText(const ProvenanceModel& model, const std::string& periodKey, std::int64_t createdAt);

// The manifest beside the report of an opened card download, which covers the downloads of its
// driver in the file's folder tree. Empty when the file cannot be analysed.
std::string provenanceTextOfFile(const std::string& openedPath, const std::string& periodKey, std::int64_t createdAt);

}  // namespace ddd::report
