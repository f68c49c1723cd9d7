// A small streaming writer of compact JSON text. Strings are escaped so that the output is
// valid JSON for every input: malformed UTF-8 from a damaged card becomes \uFFFD.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace ddd {

// Appends text as a JSON string literal, quotes included.
void appendJsonString(std::string& out, std::string_view text);

// A file name as people are shown it: valid UTF-8 on one line. Every byte that is not part of
// well-formed UTF-8 and every control character is written as \xHH (a Latin-1 "Müller" becomes
// "M\xFCller"), so that the name stays recognisable and can never forge a line of its own.
std::string visibleText(std::string_view text);

class JsonWriter {
public:
    // A pretty writer breaks lines and indents by two blanks per level, for people to read.
    // `expectedBytes` sizes the text once up front, so that a large document is not copied
    // while it grows.
    explicit JsonWriter(bool pretty = false, std::size_t expectedBytes = 0) : pretty_(pretty) { out_.reserve(expectedBytes); }
    // A writer that hands its text to `sink` in pieces of about `pieceBytes` as it goes, and the
    // rest on finish(), so that a large document passes through one small buffer.
    JsonWriter(bool pretty, std::function<void(std::string_view)> sink, std::size_t pieceBytes);
    void finish();

    JsonWriter& beginObject();
    JsonWriter& endObject();
    JsonWriter& beginArray();
    JsonWriter& endArray();
    JsonWriter& key(std::string_view name);
    JsonWriter& string(std::string_view text);
    JsonWriter& raw(std::string_view text);
    JsonWriter& integer(std::int64_t value);
    JsonWriter& boolean(bool value);

    // Convenience for the common key-value pairs.
    JsonWriter& field(std::string_view name, std::string_view text) { return key(name).string(text); }
    JsonWriter& field(std::string_view name, const char* text) { return key(name).string(text); }
    JsonWriter& field(std::string_view name, std::int64_t value) { return key(name).integer(value); }
    JsonWriter& field(std::string_view name, bool value) { return key(name).boolean(value); }

    const std::string& text() const { return out_; }
    std::string take() { return std::move(out_); }

private:
    void beforeValue();
    void closeContainer(char bracket);
    void newLine();

    std::string out_;
    std::function<void(std::string_view)> sink_;
    std::size_t pieceBytes_ = 0;
    std::vector<bool> holdsElement_;
    bool afterKey_ = false;
    bool pretty_ = false;
};

}  // namespace ddd
