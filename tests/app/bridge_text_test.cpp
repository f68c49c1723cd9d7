#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <random>
#include <string>

#include "app/bridge_text.h"

namespace ddd::app {
namespace {

TEST(BridgeText, ParseJsonString) {
    struct Case { const char* name; std::string text; std::size_t pos; std::string expected; };
    const Case cases[] = {
        {"plain", R"("abc")", 0, "abc"},
        {"not at a quote", R"(x"abc")", 0, ""},
        {"position inside", R"(["a","b"])", 5, "b"},
        {"control escapes", R"("\b\f\n\r\t")", 0, "\b\f\n\r\t"},
        {"quote and backslash", R"("a\"b\\c")", 0, "a\"b\\c"},
        {"slash and other letters", R"("\/\q")", 0, "/q"},
        {"two-byte code point, upper-case hex", R"("\u00C4")", 0, "\xC3\x84"},
        {"three-byte code point", R"("\u20ac")", 0, "\xE2\x82\xAC"},
        {"surrogate pair", R"("\ud83d\ude9a")", 0, "\xF0\x9F\x9A\x9A"},
        {"unpaired high surrogate", R"("\ud83dx")", 0, "\xED\xA0\xBDx"},
        {"high surrogate before a non-surrogate", R"("\ud83d\u0041")", 0, "\xED\xA0\xBD" "A"},
        {"lone low surrogate", R"("\ude9a")", 0, "\xED\xBA\x9A"},
        {"short hex", R"("\u12")", 0, "u12"},
        {"bad hex digit", R"("\u12g4")", 0, "u12g4"},
        {"backslash at the very end", "\"ab\\", 0, "ab\\"},
        {"missing closing quote", R"("abc)", 0, "abc"},
        {"empty text", "", 0, ""},
        {"position past the end", R"("a")", 9, ""},
        {"raw UTF-8 copied", "\"\xC3\xA4\"", 0, "\xC3\xA4"},
    };
    for (const auto& c : cases) EXPECT_EQ(parseJsonString(c.text, c.pos), c.expected) << c.name;
}

TEST(BridgeText, StringArguments) {
    struct Case { const char* name; std::string request; std::string first; std::string second; };
    const Case cases[] = {
        {"no arguments", "[]", "", ""},
        {"one month", R"(["03.2024"])", "03.2024", ""},
        {"two strings", R"(["Bericht","03.2024"])", "Bericht", "03.2024"},
        {"escaped quote inside the first", R"(["a\"b","c"])", "a\"b", "c"},
        {"number before a string", R"([1,"x"])", "x", ""},
        {"object argument", R"([{"plate":"B-X 1"}])", "plate", "B-X 1"},
        {"empty first string", R"(["","y"])", "", "y"},
        {"windows path", R"(["C:\\Daten\\a.ddd"])", "C:\\Daten\\a.ddd", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(firstStringArg(c.request), c.first) << c.name;
        EXPECT_EQ(secondStringArg(c.request), c.second) << c.name;
    }
}

std::string utf8(char32_t cp) {
    if (cp < 0x80) return std::string(1, static_cast<char>(cp));
    const int extra = cp < 0x800 ? 1 : cp < 0x10000 ? 2 : 3;
    std::string out(1, static_cast<char>(((0xFF00 >> (extra + 1)) & 0xFF) | (cp >> (6 * extra))));
    for (int i = extra - 1; i >= 0; --i) out += static_cast<char>(0x80 | ((cp >> (6 * i)) & 0x3F));
    return out;
}

// Random texts of valid UTF-8, rich in the characters that need escaping, must come out as
// JSON that an independent parser accepts and reads back unchanged, and our own reader too.
TEST(BridgeText, JsonQuoteFuzzedIntoAParser) {
    std::mt19937 random(20240315);
    std::u32string interesting = U"\"\\/\t\n\r\b\f\x01\x1f\x7f \x00e4\x20ac\x2028\x1F69A\xFFFD";
    interesting += U'\0';
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        for (int i = static_cast<int>(random() % 24); i > 0; --i) {
            const char32_t choices[] = {interesting[random() % interesting.size()], static_cast<char32_t>(random() % 0x80),
                                        static_cast<char32_t>(0x80 + random() % (0xD800 - 0x80)), static_cast<char32_t>(0xE000 + random() % (0x110000 - 0xE000))};
            text += utf8(choices[random() % 4]);
        }
        const std::string quoted = jsonQuote(text);
        nlohmann::json parsed;
        ASSERT_NO_THROW(parsed = nlohmann::json::parse(quoted)) << quoted;
        ASSERT_TRUE(parsed.is_string()) << quoted;
        EXPECT_EQ(parsed.get<std::string>(), text) << quoted;
        EXPECT_EQ(parseJsonString(quoted, 0), text) << quoted;
        EXPECT_EQ(firstStringArg("[" + quoted + "]"), text) << quoted;
    }
}

TEST(BridgeText, Paths) {
    struct Case { const char* name; std::string input; std::string normalized; std::string base; };
    const Case cases[] = {
        {"windows path", "C:\\Daten\\karte.ddd", "C:/Daten/karte.ddd", "C:/Daten/karte"},
        {"bare name", "karte.ddd", "karte.ddd", "./karte"},
        {"no extension", "/a/b/noext", "/a/b/noext", "/a/b/noext"},
        {"last dot only", "/a/x.tar.ddd", "/a/x.tar.ddd", "/a/x.tar"},
        {"dotted folder, plain name", "/a.b/name", "/a.b/name", "/a.b/name"},
        {"mixed separators", "/srv\\karten/x.DDD", "/srv/karten/x.DDD", "/srv/karten/x"},
        {"hidden file", "/a/.ddd", "/a/.ddd", "/a/"},
        {"empty", "", "", "./"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(normalizeSlashes(c.input), c.normalized) << c.name;
        EXPECT_EQ(cardBasePath(c.input), c.base) << c.name;
    }
}

TEST(BridgeText, MonthKey) {
    struct Case { const char* arg; const char* key; };
    const Case cases[] = {
        {"02.2024", "2024/02"}, {"03.2024", "2024/03"}, {"2.2024", ""},   {"__all__", ""},
        {"", ""},               {"02.24", ""},          {"02-2024", ""},  {"12.2024.x", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(monthKeyFromArg(c.arg), c.key) << c.arg;
}

}  // namespace
}  // namespace ddd::app
