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

struct Tlv {
    unsigned fid;
    unsigned appendix;
    std::size_t offset;
    Bytes value;
};

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

struct WalkedDay {
    std::size_t offset;
    unsigned previousLength;
    unsigned length;
    unsigned date;
    std::vector<unsigned> words;
};

// Follows the chain of an activity EF from the oldest pointer to the newest; stops (returning
// what it has) on a length that cannot be a record or after more bytes than the area holds.
inline std::vector<WalkedDay> walkActivity(const Bytes& ef) {
    const std::size_t area = ef.size() - 4;
    const auto at = [&](std::size_t pos, int n) {
        unsigned v = 0;
        for (int i = 0; i < n; ++i) v = v << 8 | ef[4 + (pos + static_cast<std::size_t>(i)) % area];
        return v;
    };
    std::vector<WalkedDay> days;
    std::size_t pos = be(ef, 0, 2);
    const std::size_t newest = be(ef, 2, 2);
    std::size_t consumed = 0;
    while (true) {
        WalkedDay d{pos, at(pos, 2), at(pos + 2, 2), at(pos + 4, 4), {}};
        if (d.length < 12 || d.length % 2 != 0 || consumed + d.length > area) break;
        for (std::size_t i = 12; i < d.length; i += 2) d.words.push_back(at(pos + i, 2));
        days.push_back(d);
        consumed += d.length;
        if (pos == newest) break;
        pos = (pos + d.length) % area;
    }
    return days;
}

} // namespace ddd::gen::test
