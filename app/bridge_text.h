// Text helpers shared by every bridge function: reading the string arguments of a call from its
// JSON request text, quoting result texts as JSON, and the path forms the pages send.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ddd::app {

// The JSON string literal that starts at pos, unescaped to UTF-8; empty when no double quote
// stands there. Lenient on purpose: a damaged escape yields its letter instead of failing.
std::string parseJsonString(std::string_view text, std::size_t pos);

// The first and second string arguments of a request such as ["03.2024","x"]; empty when
// the request holds fewer strings.
std::string firstStringArg(std::string_view request);
std::string secondStringArg(std::string_view request);

// The text as a JSON string literal. UTF-8 stays as it is; malformed UTF-8 becomes U+FFFD, so the
// page always receives valid JSON.
std::string jsonQuote(std::string_view text);

// Every backslash becomes a slash: the pages build some paths with backslashes.
std::string normalizeSlashes(std::string_view path);

// A path as the page is given it: a JSON string of its visible form (bytes that are not UTF-8
// written as \xHH), so that a Latin-1 file name still reaches the page as valid text.
std::string pathForPage(std::string_view path);

// A path the page sends back: a visible form received from pathForPage is turned back into the
// file's own bytes when only those name an existing file.
std::string pathFromPage(std::string_view text);

// "MM.YYYY" becomes the month key "YYYY/MM"; "__all__", an empty text or any other form gives
// the empty key, which stands for all months.
std::string monthKeyFromArg(std::string_view arg);

// The path without the extension of its file name, with forward slashes and "./" for a bare name.
std::string cardBasePath(std::string_view path);

}  // namespace ddd::app
