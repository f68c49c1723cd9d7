#include "core/json_writer.h"

#include <charconv>
#include <cstdio>

namespace ddd {
namespace {

bool isContinuation(std::uint8_t b) { return b >= 0x80 && b <= 0xBF; }

// Length of the well-formed UTF-8 sequence starting at i, or 0 when it is malformed.
std::size_t wellFormedLength(std::string_view text, std::size_t i) {
    auto at = [&](std::size_t k) { return static_cast<std::uint8_t>(text[k]); };
    const std::uint8_t lead = at(i);
    std::size_t length;
    std::uint8_t secondLow = 0x80, secondHigh = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) secondLow = 0xA0;
        if (lead == 0xED) secondHigh = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) secondLow = 0x90;
        if (lead == 0xF4) secondHigh = 0x8F;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    if (at(i + 1) < secondLow || at(i + 1) > secondHigh) return 0;
    for (std::size_t k = 2; k < length; ++k) {
        if (!isContinuation(at(i + k))) return 0;
    }
    return length;
}

// A byte that stands for itself inside a JSON string.
bool isPlainAscii(std::uint8_t b) { return b >= 0x20 && b < 0x7F && b != '"' && b != '\\'; }

}  // namespace

std::string visibleText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<std::uint8_t>(text[i]);
        const std::size_t length = b < 0x80 ? (b < 0x20 || b == 0x7F ? 0 : 1) : wellFormedLength(text, i);
        if (length == 0) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", unsigned{b});
            out += escape;
            ++i;
            continue;
        }
        out.append(text.substr(i, length));
        i += length;
    }
    return out;
}

void appendJsonString(std::string& out, std::string_view text) {
    out.push_back('"');
    for (std::size_t i = 0; i < text.size();) {
        // Most texts are plain ASCII throughout: copied in runs, not byte by byte.
        std::size_t plainEnd = i;
        while (plainEnd < text.size() && isPlainAscii(static_cast<std::uint8_t>(text[plainEnd]))) ++plainEnd;
        out.append(text.data() + i, plainEnd - i);
        i = plainEnd;
        if (i == text.size()) break;
        const auto b = static_cast<std::uint8_t>(text[i]);
        if (b < 0x80) {
            switch (b) {
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\\': out += "\\\\"; break;
            case '"': out += "\\\""; break;
            default: {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", unsigned{b});
                out += escape;
            }
            }
            ++i;
            continue;
        }
        if (std::size_t length = wellFormedLength(text, i)) {
            out.append(text.substr(i, length));
            i += length;
        } else {
            out += "\\uFFFD";
            ++i;
        }
    }
    out.push_back('"');
}

JsonWriter::JsonWriter(bool pretty, std::function<void(std::string_view)> sink, std::size_t pieceBytes)
    : sink_(std::move(sink)), pieceBytes_(pieceBytes), pretty_(pretty) {
    out_.reserve(pieceBytes + pieceBytes / 4);
}

void JsonWriter::finish() {
    if (sink_ && !out_.empty()) sink_(out_);
    out_.clear();
}

void JsonWriter::beforeValue() {
    if (sink_ && out_.size() >= pieceBytes_) {
        sink_(out_);
        out_.clear();
    }
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!holdsElement_.empty()) {
        if (holdsElement_.back()) out_.push_back(',');
        holdsElement_.back() = true;
        newLine();
    }
}

void JsonWriter::newLine() {
    if (!pretty_) return;
    out_.push_back('\n');
    out_.append(2 * holdsElement_.size(), ' ');
}

void JsonWriter::closeContainer(char bracket) {
    const bool held = holdsElement_.back();
    holdsElement_.pop_back();
    if (held) newLine();
    out_.push_back(bracket);
}

JsonWriter& JsonWriter::beginObject() {
    beforeValue();
    out_.push_back('{');
    holdsElement_.push_back(false);
    return *this;
}

JsonWriter& JsonWriter::endObject() {
    closeContainer('}');
    return *this;
}

JsonWriter& JsonWriter::beginArray() {
    beforeValue();
    out_.push_back('[');
    holdsElement_.push_back(false);
    return *this;
}

JsonWriter& JsonWriter::endArray() {
    closeContainer(']');
    return *this;
}

JsonWriter& JsonWriter::key(std::string_view name) {
    beforeValue();
    appendJsonString(out_, name);
    out_.push_back(':');
    if (pretty_) out_.push_back(' ');
    afterKey_ = true;
    return *this;
}

JsonWriter& JsonWriter::string(std::string_view text) {
    beforeValue();
    appendJsonString(out_, text);
    return *this;
}

JsonWriter& JsonWriter::raw(std::string_view text) {
    beforeValue();
    out_.append(text);
    return *this;
}

JsonWriter& JsonWriter::integer(std::int64_t value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    return raw(std::string_view(digits, static_cast<std::size_t>(end - digits)));
}

JsonWriter& JsonWriter::boolean(bool value) { return raw(value ? "true" : "false"); }

}  // namespace ddd
