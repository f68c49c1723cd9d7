// The report typeface for the PDF renderer: the faces of "Plus Jakarta Sans" that the reports'
// style sheets ask for, embedded in the executable as @font-face rules.
#pragma once

#include <string_view>

namespace ddd::app {

std::string_view reportFontsStyle();

}  // namespace ddd::app
