// The finder report: search criteria, hit count and the table of matching sessions as one
// self-contained HTML document (the window renders it to PDF).
#pragma once

#include <string>
#include <string_view>

#include "finder/driver_index.h"

namespace ddd::finder {

// `queryText` is the same JSON object the page sends for a search.
std::string finderReportHtml(const DriverIndex& index, std::string_view queryText);

}  // namespace ddd::finder
