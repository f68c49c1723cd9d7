#include <gtest/gtest.h>

#include <ostream>

#include "core/html_escape.h"

namespace ddd {
namespace {

struct EscapeCase {
    const char* name;
    friend void PrintTo(const EscapeCase& c, std::ostream* os) { *os << c.name; }
    std::string input;
    std::string expected;
};

class HtmlEscape : public testing::TestWithParam<EscapeCase> {};

TEST_P(HtmlEscape, Escapes) { EXPECT_EQ(escapeHtml(GetParam().input), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Cases, HtmlEscape,
    testing::Values(EscapeCase{"MarkupCharacters", "a\"b&c<d>e", "a&quot;b&amp;c&lt;d&gt;e"},
                    EscapeCase{"ApostropheKept", "O'Neil", "O'Neil"},
                    EscapeCase{"ScriptTagIsText", "<img src=x onerror=alert(1)>", "&lt;img src=x onerror=alert(1)&gt;"},
                    EscapeCase{"StyleCloseIsText", "</style>", "&lt;/style&gt;"},
                    EscapeCase{"Umlauts", "Gr\xC3\xBC\xC3\x9F", "Gr\xC3\xBC\xC3\x9F"},
                    EscapeCase{"TruncatedSequence", "Gr\xC3\xBC\xC3", "Gr\xC3\xBC\xEF\xBF\xBD"},
                    EscapeCase{"StrayByte", "\xFF x", "\xEF\xBF\xBD x"},
                    EscapeCase{"Latin1Byte", "Caf\xE9", "Caf\xEF\xBF\xBD"},
                    EscapeCase{"Empty", "", ""}),
    [](const testing::TestParamInfo<EscapeCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ddd
