#include <gtest/gtest.h>

#include "core/html_escape.h"

namespace ddd {
namespace {

TEST(HtmlEscape, Escapes) {
    const std::pair<std::string, std::string> cases[] = {
        {"a\"b&c<d>e", "a&quot;b&amp;c&lt;d&gt;e"},
        {"O'Neil", "O'Neil"},
        {"<img src=x onerror=alert(1)>", "&lt;img src=x onerror=alert(1)&gt;"},
        {"</style>", "&lt;/style&gt;"},
        {"Gr\xC3\xBC\xC3\x9F", "Gr\xC3\xBC\xC3\x9F"},
        {"Gr\xC3\xBC\xC3", "Gr\xC3\xBC\xEF\xBF\xBD"},
        {"\xFF x", "\xEF\xBF\xBD x"},
        {"Caf\xE9", "Caf\xEF\xBF\xBD"},
        {"\xE2\x82" "A", "\xEF\xBF\xBD\xEF\xBF\xBD" "A"},
        {"", ""},
    };
    for (const auto& [input, expected] : cases) EXPECT_EQ(escapeHtml(input), expected) << input;
}

}  // namespace
}  // namespace ddd
