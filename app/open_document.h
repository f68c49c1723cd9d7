// Files opened with the running dashboard from the desktop: the script that hands such a file to
// the page, waiting for the page to define openPath.
#pragma once

#include <string>

namespace ddd::app {

// Tries at once and then up to 40 times every 200 ms (about 8 seconds), then gives up silently.
std::string openPathScript(const std::string& path);

}  // namespace ddd::app
