// The card download container: TLV records of FID 2, appendix 1 (0 Gen1 data, 1 Gen1 signature,
// 2 Gen2 data, 3 Gen2 signature), length 2 (big-endian), value.
// Records come in the order download tools use: chip identification, then per application the
// application identification, the certificates and the signed EFs, each followed by its
// signature. Chip data is pseudo-random with a fixed seed; certificates and signatures are too,
// unless the description gives the keys to sign with.

#include "tools/generator/card_files.h"
#include "tools/generator/card_generator.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>

namespace ddd::gen {
namespace {

struct Record {
    std::uint16_t fid = 0;
    std::uint8_t appendix = 0;
    Bytes value;
    std::optional<std::uint8_t> appendixOverride;
    std::optional<std::uint16_t> lengthOverride;
    int lengthPastEnd = 0; // > 0: declared length reaches this many bytes past the end of the file
};

// Deterministic filler for the records the decoder does not interpret.
Bytes pseudoRandom(std::uint64_t seed, std::size_t n) {
    Bytes out(n);
    std::uint64_t x = seed * 0x9E3779B97F4A7C15ULL + 0x2545F4914F6CDD1DULL;
    for (auto& b : out) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        b = static_cast<std::uint8_t>(x >> 24);
    }
    return out;
}

std::uint64_t digest(const Bytes& value) {
    std::uint64_t h = 0xCBF29CE484222325ULL;
    for (std::uint8_t b : value) h = (h ^ b) * 0x100000001B3ULL;
    return h;
}

bool matchesPart(Generation part, bool gen2) {
    return part == Generation::Both || (part == Generation::Gen2) == gen2;
}

// Faults written by the activity encoder rather than applied to the finished records.
bool isChainFault(const Fault& f) {
    return f.kind == Fault::Kind::PreviousLength || f.kind == Fault::Kind::RecordLength ||
           f.kind == Fault::Kind::MinuteOutOfRange;
}

std::vector<Fault> activityFaults(const std::vector<Fault>& faults, bool gen2) {
    std::vector<Fault> out;
    for (const Fault& f : faults) {
        if (isChainFault(f) && matchesPart(f.part, gen2)) out.push_back(f);
    }
    return out;
}

class RecordList {
public:
    explicit RecordList(const CardDescription& card) : card_(card) {}

    void add(std::uint16_t fid, std::uint8_t appendix, Bytes value) {
        records.push_back({fid, appendix, std::move(value), {}, {}, 0});
    }
    // A signed EF: its data record and the signature over it (128 bytes RSA Gen1, 64 bytes ECDSA Gen2).
    void addSigned(std::uint16_t fid, bool gen2, Bytes value) {
        const std::uint8_t appendix = gen2 ? 2 : 0;
        const std::uint64_t seed = digest(value) ^ (std::uint64_t{fid} << 8 | appendix);
        Bytes signature = !gen2 && card_.gen1Signing  ? gen1Sign(card_.gen1Signing->card, value)
                          : gen2 && card_.gen2Signing ? gen2Sign(card_.gen2Signing->cardSign, value)
                                                      : pseudoRandom(seed, gen2 ? 64 : 128);
        add(fid, appendix, std::move(value));
        if (!card_.withoutSignatures) add(fid, appendix + 1, std::move(signature));
    }
    std::vector<Record> records;

private:
    const CardDescription& card_;
};

Bytes certificate(const CardDescription& card, std::uint16_t fid, bool gen2, std::size_t size) {
    if (!gen2 && card.gen1Signing) {
        return fid == kFidCardCertificate ? card.gen1Signing->cardCertificate : card.gen1Signing->memberStateCertificate;
    }
    if (gen2 && card.gen2Signing) {
        switch (fid) {
        case kFidCardCertificate: return card.gen2Signing->cardMaCertificate;
        case kFidCardSignCertificate: return card.gen2Signing->cardSignCertificate;
        case kFidCaCertificate: return card.gen2Signing->memberStateCertificate;
        default: return card.gen2Signing->linkCertificate;
        }
    }
    const std::uint8_t data = gen2 ? 2 : 0;
    return pseudoRandom(fid == kFidCardCertificate || fid == kFidCaCertificate ? fid + data : fid, size);
}

void addApplication(RecordList& list, const CardDescription& card, bool gen2) {
    const Capacities& caps = gen2 ? card.gen2 : card.gen1;
    const std::uint8_t data = gen2 ? 2 : 0;
    const bool version2 = gen2 && card.version2;
    list.addSigned(kFidApplicationIdentification, gen2, encodeApplicationIdentification(caps, gen2, version2));
    // Card certificate and member-state CA certificate; a second-generation card adds its
    // signing certificate and a link certificate.
    const std::size_t certSize = gen2 ? 204 : 194;
    if (!card.withoutSignatures) {
        list.add(kFidCardCertificate, data, certificate(card, kFidCardCertificate, gen2, certSize));
        if (gen2) list.add(kFidCardSignCertificate, data, certificate(card, kFidCardSignCertificate, gen2, certSize));
        list.add(kFidCaCertificate, data, certificate(card, kFidCaCertificate, gen2, certSize));
        Bytes link = gen2 ? certificate(card, kFidLinkCertificate, gen2, certSize) : Bytes{};
        if (!link.empty()) list.add(kFidLinkCertificate, data, std::move(link));
    }
    list.addSigned(kFidIdentification, gen2, encodeIdentification(card.identity));
    list.addSigned(kFidCardDownload, gen2, encodeCardDownload(card.lastCardDownload));
    list.addSigned(kFidDrivingLicenceInfo, gen2, encodeDrivingLicence(card.licence));
    list.addSigned(kFidEventsData, gen2,
                   encodeEventsFaults(card.events, eventGroupCount(gen2), caps.eventsPerType, true, gen2));
    list.addSigned(kFidFaultsData, gen2, encodeEventsFaults(card.faults, 2, caps.faultsPerType, false, gen2));
    list.addSigned(kFidDriverActivityData, gen2,
                   encodeDriverActivity(card.days, caps, activityFaults(card.inject, gen2)));
    list.addSigned(kFidVehiclesUsed, gen2, encodeVehiclesUsed(card.vehicles, caps.vehicles, gen2));
    list.addSigned(kFidPlaces, gen2, encodePlaces(card.places, caps.places, gen2));
    list.addSigned(kFidCurrentUsage, gen2, encodeCurrentUsage(card.currentUsage));
    list.addSigned(kFidControlActivityData, gen2, encodeControlActivity(card.control));
    list.addSigned(kFidSpecificConditions, gen2,
                   encodeSpecificConditions(card.specificConditions, caps.specificConditions, gen2));
    if (gen2) {
        // Second-generation files outside the decoded set: accumulated-driving GNSS positions
        // (18-byte records) and vehicle units used (10-byte records), both empty.
        ByteWriter gnss;
        gnss.u16(0);
        gnss.fill(0, static_cast<std::size_t>(caps.gnssRecords) * 18);
        list.addSigned(kFidGnssPlaces, gen2, gnss.take());
        ByteWriter units;
        units.u16(0);
        units.fill(0, static_cast<std::size_t>(caps.vehicleUnits) * 10);
        list.addSigned(kFidVehicleUnitsUsed, gen2, units.take());
    }
    if (version2) {
        for (auto& [fid, value] : encodeSecondVersionFiles(card)) list.addSigned(fid, gen2, std::move(value));
    }
}

// Indexes of the data records of (fid, part); throws when the download has none.
std::vector<std::size_t> findRecords(const std::vector<Record>& records, const Fault& f) {
    std::vector<std::size_t> found;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const Record& r = records[i];
        if (r.fid == f.fid && (r.appendix == 0 || r.appendix == 2) && matchesPart(f.part, r.appendix == 2)) {
            found.push_back(i);
        }
    }
    if (found.empty()) {
        char fid[8];
        std::snprintf(fid, sizeof fid, "%04X", f.fid);
        throw std::invalid_argument(std::string("fault names EF 0x") + fid + ", which the download does not hold");
    }
    return found;
}

bool isSignatureOf(const std::vector<Record>& records, std::size_t data, std::size_t next) {
    return next < records.size() && records[next].fid == records[data].fid &&
           records[next].appendix == records[data].appendix + 1;
}

void applyRecordFault(std::vector<Record>& records, const Fault& f) {
    using K = Fault::Kind;
    auto found = findRecords(records, f);
    // Work from the back so that inserting or erasing keeps the earlier indexes valid.
    std::reverse(found.begin(), found.end());
    for (std::size_t i : found) {
        Record& r = records[i];
        switch (f.kind) {
        case K::BadAppendix: r.appendixOverride = static_cast<std::uint8_t>(f.value); break;
        case K::ReservedLength: r.lengthOverride = 0xFFFF; break;
        case K::LengthPastEnd: r.lengthPastEnd = static_cast<int>(std::max<std::int64_t>(1, f.value)); break;
        case K::ResizeEf: r.value.resize(static_cast<std::size_t>(f.value), 0); break;
        case K::PatchEf: {
            const auto at = static_cast<std::size_t>(f.value);
            if (r.value.size() < at + f.bytes.size()) r.value.resize(at + f.bytes.size(), 0);
            std::copy(f.bytes.begin(), f.bytes.end(), r.value.begin() + static_cast<std::ptrdiff_t>(at));
            break;
        }
        case K::OmitEf: {
            const std::size_t count = isSignatureOf(records, i, i + 1) ? 2 : 1;
            records.erase(records.begin() + static_cast<std::ptrdiff_t>(i),
                          records.begin() + static_cast<std::ptrdiff_t>(i + count));
            break;
        }
        case K::DuplicateEf: {
            Record copy = r;
            if (!f.bytes.empty()) copy.value = f.bytes;
            const std::size_t after = isSignatureOf(records, i, i + 1) ? i + 2 : i + 1;
            records.insert(records.begin() + static_cast<std::ptrdiff_t>(after), copy);
            break;
        }
        case K::SwapSignature: {
            const auto other = std::find_if(records.begin(), records.end(), [&](const Record& o) {
                return o.fid == static_cast<std::uint16_t>(f.value) && o.appendix == r.appendix + 1;
            });
            if (!isSignatureOf(records, i, i + 1) || other == records.end()) {
                throw std::invalid_argument("signature swap names a file without its signature");
            }
            std::swap(records[i + 1].value, other->value);
            break;
        }
        default: break;
        }
    }
}

Bytes serialize(const std::vector<Record>& records) {
    ByteWriter w;
    std::vector<std::size_t> pastEnd; // header offsets whose length is patched once the size is known
    for (const Record& r : records) {
        if (r.value.size() > 0xFFFE) {
            throw std::invalid_argument("EF value of " + std::to_string(r.value.size()) + " bytes exceeds a TLV record");
        }
        if (r.lengthPastEnd > 0) pastEnd.push_back(w.size());
        w.u16(r.fid);
        w.u8(r.appendixOverride.value_or(r.appendix));
        w.u16(r.lengthOverride.value_or(static_cast<std::uint16_t>(r.value.size())));
        w.bytes(r.value);
    }
    Bytes out = w.take();
    std::size_t k = 0;
    for (const Record& r : records) {
        if (r.lengthPastEnd <= 0) continue;
        const std::size_t header = pastEnd[k++];
        const std::size_t declared = out.size() - (header + 5) + static_cast<std::size_t>(r.lengthPastEnd);
        if (declared > 0xFFFE) throw std::invalid_argument("length past the end does not fit 16 bits here");
        out[header + 3] = static_cast<std::uint8_t>(declared >> 8);
        out[header + 4] = static_cast<std::uint8_t>(declared);
    }
    return out;
}

} // namespace

Capacities defaultCapacities(Generation g) {
    Capacities c;
    if (g == Generation::Gen1) return c;
    c.vehicles = 200;
    c.gnssRecords = 252;
    c.vehicleUnits = 200;
    return c;
}

std::vector<std::uint8_t> writeCardDownload(const CardDescription& card) {
    RecordList list(card);
    const bool gen1 = card.generation != Generation::Gen2;
    const bool gen2 = card.generation != Generation::Gen1;
    // The chip's own files belong to no application; a download holding the first generation
    // files them with it, a second-generation-only download with the second.
    const std::uint8_t chipAppendix = gen1 ? 0 : 2;
    list.add(kFidIcc, chipAppendix, pseudoRandom(kFidIcc, 25));
    list.add(kFidIc, chipAppendix, pseudoRandom(kFidIc, 8));
    if (gen1) addApplication(list, card, false);
    if (gen2) addApplication(list, card, true);

    for (const Fault& f : card.inject) {
        if (f.kind != Fault::Kind::TruncateAt && !isChainFault(f)) applyRecordFault(list.records, f);
    }
    Bytes out = serialize(list.records);
    for (const Fault& f : card.inject) {
        if (f.kind == Fault::Kind::TruncateAt && static_cast<std::size_t>(f.value) < out.size()) {
            out.resize(static_cast<std::size_t>(f.value));
        }
    }
    return out;
}

Fault Fault::truncateAt(std::int64_t size) { return {Kind::TruncateAt, 0, Generation::Both, size, 0, {}}; }
Fault Fault::badAppendix(std::uint16_t fid, Generation part, std::uint8_t appendix) {
    return {Kind::BadAppendix, fid, part, appendix, 0, {}};
}
Fault Fault::reservedLength(std::uint16_t fid, Generation part) { return {Kind::ReservedLength, fid, part, 0, 0, {}}; }
Fault Fault::lengthPastEnd(std::uint16_t fid, Generation part, int extra) {
    return {Kind::LengthPastEnd, fid, part, extra, 0, {}};
}
Fault Fault::resizeEf(std::uint16_t fid, Generation part, int size) { return {Kind::ResizeEf, fid, part, size, 0, {}}; }
Fault Fault::patchEf(std::uint16_t fid, Generation part, int offset, std::vector<std::uint8_t> bytes) {
    return {Kind::PatchEf, fid, part, offset, 0, std::move(bytes)};
}
Fault Fault::omitEf(std::uint16_t fid, Generation part) { return {Kind::OmitEf, fid, part, 0, 0, {}}; }
Fault Fault::duplicateEf(std::uint16_t fid, Generation part, std::vector<std::uint8_t> copy) {
    return {Kind::DuplicateEf, fid, part, 0, 0, std::move(copy)};
}
Fault Fault::swapSignature(std::uint16_t fid, std::uint16_t otherFid, Generation part) {
    return {Kind::SwapSignature, fid, part, otherFid, 0, {}};
}
Fault Fault::previousLength(int day, int length, Generation part) {
    return {Kind::PreviousLength, 0, part, length, day, {}};
}
Fault Fault::recordLength(int day, int length, Generation part) { return {Kind::RecordLength, 0, part, length, day, {}}; }
Fault Fault::minuteOutOfRange(int day, int minute, Generation part) {
    return {Kind::MinuteOutOfRange, 0, part, minute, day, {}};
}

} // namespace ddd::gen
