// Big-endian appender through which every EF encoder of the generator writes its bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <utility>
#include <vector>

namespace ddd::gen {

class ByteWriter {
public:
    void u8(std::uint64_t v) { put(v, 1); }
    void u16(std::uint64_t v) { put(v, 2); }
    void u24(std::uint64_t v) { put(v, 3); }
    void u32(std::uint64_t v) { put(v, 4); }
    // TimeReal: the low 32 bits of the instant, so tests can write 0xFFFFFFFF or odd values.
    void time(std::int64_t t) { put(static_cast<std::uint64_t>(t), 4); }
    // Decimal digits of `value`, two per byte, high digit first; `value` must fit.
    void bcd(std::uint64_t value, int bytes) {
        std::vector<std::uint8_t> packed(static_cast<std::size_t>(bytes));
        for (auto it = packed.rbegin(); it != packed.rend(); ++it) {
            const unsigned low = value % 10;
            const unsigned high = value / 10 % 10;
            value /= 100;
            *it = static_cast<std::uint8_t>(high << 4 | low);
        }
        if (value != 0) throw std::invalid_argument("number does not fit its BCD field");
        this->bytes(packed);
    }
    void bytes(std::span<const std::uint8_t> b) { out_.insert(out_.end(), b.begin(), b.end()); }
    void fill(std::uint8_t b, std::size_t n) { out_.insert(out_.end(), n, b); }

    std::size_t size() const { return out_.size(); }
    std::vector<std::uint8_t> take() { return std::move(out_); }

private:
    void put(std::uint64_t v, int n) {
        for (int i = n - 1; i >= 0; --i) out_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    std::vector<std::uint8_t> out_;
};

} // namespace ddd::gen
