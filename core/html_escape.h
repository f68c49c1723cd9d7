// Escaping of text for HTML element content and attribute values, shared by every HTML
// document the program writes.
#pragma once

#include <string>
#include <string_view>

namespace ddd {

// Quote, ampersand, less-than and greater-than become entities; malformed UTF-8 from a damaged
// card becomes U+FFFD so that the document stays well formed.
std::string escapeHtml(std::string_view text);

}  // namespace ddd
