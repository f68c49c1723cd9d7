// The dashboard window's page: one self-contained HTML document held in the executable, with its
// fonts inlined.
#pragma once

#include <string_view>

namespace ddd::app {

std::string_view dashboardPageHtml();

}  // namespace ddd::app
