// A small plain-text format for card descriptions, read by `ddd-gen describe`.
// The format is documented by kDescriptionFormatHelp, which the tool prints with --help.
#pragma once

#include "tools/generator/card_description.h"

#include <stdexcept>
#include <string>
#include <string_view>

namespace ddd::gen {

class DescriptionError : public std::runtime_error {
public:
    DescriptionError(int line, const std::string& message)
        : std::runtime_error("line " + std::to_string(line) + ": " + message), line_(line), message_(message) {}
    int line() const { return line_; }
    const std::string& message() const { return message_; }

private:
    int line_;
    std::string message_;
};

extern const char* const kDescriptionFormatHelp;

// Throws DescriptionError naming the first bad line.
CardDescription parseDescription(std::string_view text);

} // namespace ddd::gen
