// Errors of decoders as values: a byte offset and an English message, never an exception.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>

namespace ddd {

struct DecodeError {
    std::uint64_t offset = 0;
    std::string message;
};

// Either a decoded value or the DecodeError that prevented it.
template <typename T>
class Decoded {
public:
    Decoded(T value) : state_(std::move(value)) {}
    Decoded(DecodeError error) : state_(std::move(error)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }
    const T& value() const& { return std::get<0>(state_); }
    T& value() & { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    const DecodeError& error() const { return std::get<1>(state_); }

private:
    std::variant<T, DecodeError> state_;
};

}  // namespace ddd
