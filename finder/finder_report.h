// The finder report: search criteria, hit count, the table of matching trips and the source files
// with their SHA-256 and signature status, as one self-contained HTML document (the window renders
// it to PDF). It is evidence for a fine notice: every row names the downloads it rests on.
#pragma once

#include <string>
#include <string_view>

#include "finder/driver_index.h"

namespace ddd::finder {

// `queryText` is the same JSON object the page sends for a search.
std::string finderReportHtml(const DriverIndex& index, std::string_view queryText);

}  // namespace ddd::finder
