#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <random>
#include <string>
#include <tuple>

#include "app/bridge_text.h"

namespace ddd::app {
namespace {

TEST(BridgeText, ParseJsonStringAndArguments) {
    const std::tuple<std::string, std::size_t, std::string> strings[] = {  // text, position, value
        {R"(x"abc")", 0, ""}, {R"(["a","b"])", 5, "b"}, {R"("\b\f\n\r\t\/\q")", 0, "\b\f\n\r\t/q"},
        {R"("\u00C4")", 0, "\xC3\x84"}, {R"("\ud83d\ude9a")", 0, "\xF0\x9F\x9A\x9A"}, {R"("\ud83d\u0041")", 0, "\xED\xA0\xBD" "A"},
        {R"("\ude9a")", 0, "\xED\xBA\x9A"}, {R"("\u12g4")", 0, "u12g4"}, {"\"ab\\", 0, "ab\\"}, {R"("abc)", 0, "abc"}, {R"("a")", 9, ""},
    };
    for (const auto& [text, pos, expected] : strings) EXPECT_EQ(parseJsonString(text, pos), expected) << text;
    const std::tuple<std::string, std::string, std::string> arguments[] = {  // request, first, second
        {"[]", "", ""}, {R"(["a\"b","c"])", "a\"b", "c"}, {R"([1,"x"])", "x", ""}, {R"([{"plate":"B-X 1"}])", "plate", "B-X 1"}, {R"(["","y"])", "", "y"},
    };
    for (const auto& [request, first, second] : arguments) EXPECT_EQ(firstStringArg(request) + "|" + secondStringArg(request), first + "|" + second) << request;
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
        EXPECT_EQ(parsed.get<std::string>(), text) << quoted;
        EXPECT_EQ(parseJsonString(quoted, 0), text) << quoted;
        EXPECT_EQ(firstStringArg("[" + quoted + "]"), text) << quoted;
    }
}

TEST(BridgeText, PathsAndMonthKeys) {
    const std::tuple<std::string, std::string, std::string> paths[] = {  // input, with forward slashes, base for exports
        {"C:\\Daten\\karte.ddd", "C:/Daten/karte.ddd", "C:/Daten/karte"}, {"karte.ddd", "karte.ddd", "./karte"}, {"/a.b/name", "/a.b/name", "/a.b/name"},
        {"/a/x.tar.ddd", "/a/x.tar.ddd", "/a/x.tar"}, {"/srv\\k/x.DDD", "/srv/k/x.DDD", "/srv/k/x"}, {"/a/.ddd", "/a/.ddd", "/a/"}, {"", "", "./"},
    };
    for (const auto& [input, normalized, base] : paths) EXPECT_EQ(normalizeSlashes(input) + "|" + cardBasePath(input), normalized + "|" + base) << input;
    const std::pair<const char*, const char*> months[] = {{"02.2024", "2024/02"}, {"2.2024", ""}, {"__all__", ""}, {"", ""}, {"02.24", ""}, {"02-2024", ""}, {"12.2024.x", ""}};
    for (const auto& [arg, key] : months) EXPECT_EQ(monthKeyFromArg(arg), key) << arg;
}

}  // namespace
}  // namespace ddd::app
