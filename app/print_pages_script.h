// The script that cuts a laid-out report into numbered printed sheets before it is printed: a
// function expression taking the sheet height in CSS pixels and returning the sheet count.
#pragma once

#include <string_view>

namespace ddd::app {

std::string_view printPagesScript();

}  // namespace ddd::app
