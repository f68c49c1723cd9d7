// The finder window's page: one self-contained HTML document held in the executable.
#pragma once

#include <string_view>

namespace ddd::app {

std::string_view finderPageHtml();

}  // namespace ddd::app
