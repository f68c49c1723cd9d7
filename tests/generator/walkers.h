// Minimal readers of the generator's output, written for the tests alone so that the
// generator is checked against an independent reading of the format.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace ddd::gen::test {

using Bytes = std::vector<std::uint8_t>;

inline unsigned be(const Bytes& b, std::size_t at, int n) {
    unsigned v = 0;
    for (int i = 0; i < n; ++i) v = v << 8 | b.at(at + static_cast<std::size_t>(i));
    return v;
}

struct Tlv { unsigned fid; unsigned appendix; std::size_t offset; Bytes value; };

// The records of a well-formed container, or nothing when the chain does not end exactly at
// the end of the file.
inline std::optional<std::vector<Tlv>> splitTlv(const Bytes& file) {
    std::vector<Tlv> out;
    std::size_t p = 0;
    while (p < file.size()) {
        if (file.size() - p < 5) return std::nullopt;
        const unsigned length = be(file, p + 3, 2);
        if (length == 0xFFFF || file.size() - p - 5 < length) return std::nullopt;
        out.push_back({be(file, p, 2), file[p + 2], p, Bytes(file.begin() + static_cast<std::ptrdiff_t>(p + 5),
                                                             file.begin() + static_cast<std::ptrdiff_t>(p + 5 + length))});
        p += 5 + length;
    }
    return out;
}

inline const Tlv* findTlv(const std::vector<Tlv>& records, unsigned fid, unsigned appendix) {
    for (const Tlv& r : records) {
        if (r.fid == fid && r.appendix == appendix) return &r;
    }
    return nullptr;
}

} // namespace ddd::gen::test
