// Bounds-checked big-endian reader over a byte span: the only way decoders touch bytes.
// A short read sets a sticky failed flag; every read on a failed reader yields zero without moving.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace ddd {

class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> data) : data_(data) {}

    std::uint8_t u8() { return static_cast<std::uint8_t>(readBigEndian(1)); }
    std::uint16_t u16() { return static_cast<std::uint16_t>(readBigEndian(2)); }
    std::uint32_t u24() { return static_cast<std::uint32_t>(readBigEndian(3)); }
    std::uint32_t u32() { return static_cast<std::uint32_t>(readBigEndian(4)); }

    // A signed 24-bit value whose bit 23 is the sign, extended to 32 bits.
    std::int32_t s24() {
        std::uint32_t raw = u24();
        return (raw & 0x800000u) ? static_cast<std::int32_t>(raw | 0xFF000000u) : static_cast<std::int32_t>(raw);
    }

    // A view of the next n bytes, or an empty view (and the failed flag) when fewer are left.
    std::span<const std::uint8_t> bytes(std::size_t n) {
        if (!take(n)) return {};
        return data_.subspan(position_ - n, n);
    }

    void skip(std::size_t n) { take(n); }

    std::size_t position() const { return position_; }
    std::size_t remaining() const { return data_.size() - position_; }
    bool failed() const { return failed_; }
    void markFailed() { failed_ = true; }

private:
    bool take(std::size_t n) {
        if (failed_ || n > remaining()) {
            failed_ = true;
            return false;
        }
        position_ += n;
        return true;
    }

    std::uint64_t readBigEndian(std::size_t n) {
        if (!take(n)) return 0;
        std::uint64_t value = 0;
        for (std::size_t i = position_ - n; i < position_; ++i) value = (value << 8) | data_[i];
        return value;
    }

    std::span<const std::uint8_t> data_;
    std::size_t position_ = 0;
    bool failed_ = false;
};

}  // namespace ddd
