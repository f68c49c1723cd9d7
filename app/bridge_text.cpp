#include "app/bridge_text.h"

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <optional>

#include "core/json_writer.h"

namespace ddd::app {
namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::optional<std::uint32_t> hexQuad(std::string_view text, std::size_t pos) {
    if (pos + 4 > text.size()) return std::nullopt;
    std::uint32_t value = 0;
    for (std::size_t i = pos; i < pos + 4; ++i) {
        const int digit = hexDigit(text[i]);
        if (digit < 0) return std::nullopt;
        value = (value << 4) | static_cast<std::uint32_t>(digit);
    }
    return value;
}

// Unpaired surrogates are written as they are (three bytes): the page may send them and the
// file system takes any bytes.
void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Parses from the opening quote at pos; `end` receives the position after the closing quote.
std::string parseStringAt(std::string_view text, std::size_t pos, std::size_t& end) {
    std::string out;
    end = text.size();
    if (pos >= text.size() || text[pos] != '"') return out;
    std::size_t i = pos + 1;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '"') {
            end = i + 1;
            return out;
        }
        if (c != '\\') {
            out += c;
            ++i;
            continue;
        }
        if (i + 1 >= text.size()) {
            out += c;
            break;
        }
        const char e = text[i + 1];
        i += 2;
        switch (e) {
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
            const auto unit = hexQuad(text, i);
            if (!unit) {
                out += 'u';
                break;
            }
            i += 4;
            std::uint32_t cp = *unit;
            if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i] == '\\' && text[i + 1] == 'u') {
                const auto low = hexQuad(text, i + 2);
                if (low && *low >= 0xDC00 && *low <= 0xDFFF) {
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (*low - 0xDC00);
                    i += 6;
                }
            }
            appendUtf8(out, cp);
            break;
        }
        default: out += e; break;
        }
    }
    return out;
}

}  // namespace

std::string parseJsonString(std::string_view text, std::size_t pos) {
    std::size_t end = 0;
    return parseStringAt(text, pos, end);
}

std::string firstStringArg(std::string_view request) {
    const std::size_t quote = request.find('"');
    if (quote == std::string_view::npos) return {};
    return parseJsonString(request, quote);
}

std::string secondStringArg(std::string_view request) {
    const std::size_t first = request.find('"');
    if (first == std::string_view::npos) return {};
    std::size_t end = 0;
    parseStringAt(request, first, end);
    const std::size_t second = request.find('"', end);
    if (second == std::string_view::npos) return {};
    return parseJsonString(request, second);
}

std::string jsonQuote(std::string_view text) {
    std::string out;
    appendJsonString(out, text);
    return out;
}

std::string normalizeSlashes(std::string_view path) {
    std::string out(path);
    for (char& c : out) {
        if (c == '\\') c = '/';
    }
    return out;
}

std::string pathForPage(std::string_view path) { return jsonQuote(visibleText(path)); }

std::string pathFromPage(std::string_view text) {
    std::string given(text);
    struct stat info {};
    if (text.find("\\x") == std::string_view::npos || ::lstat(given.c_str(), &info) == 0) return given;
    std::string raw;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int high = i + 3 < text.size() && text[i] == '\\' && text[i + 1] == 'x' ? hexDigit(text[i + 2]) : -1;
        const int low = high >= 0 ? hexDigit(text[i + 3]) : -1;
        if (low >= 0) {
            raw += static_cast<char>(high * 16 + low);
            i += 3;
        } else {
            raw += text[i];
        }
    }
    return raw;
}

std::string monthKeyFromArg(std::string_view arg) {
    if (arg.empty() || arg == "__all__") return {};
    const std::size_t dot = arg.find('.');
    if (dot == std::string_view::npos) return {};
    const std::string_view month = arg.substr(0, dot);
    const std::string_view year = arg.substr(dot + 1);
    if (month.size() != 2 || year.size() != 4) return {};
    return std::string(year) + "/" + std::string(month);
}

std::string cardBasePath(std::string_view path) {
    const std::string normal = normalizeSlashes(path);
    const std::size_t slash = normal.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : normal.substr(0, slash);
    std::string name = slash == std::string::npos ? normal : normal.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
    return folder + "/" + name;
}

}  // namespace ddd::app
