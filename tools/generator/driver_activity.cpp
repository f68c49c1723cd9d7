// Driver_Activity_Data (0x0504): the cyclic buffer of daily activity records.
//
// EF: oldest-record pointer 2, newest-record pointer 2, cyclic area of `activityBytes` bytes.
// Day record (may wrap round the end of the area, even inside a field):
//   previous record length 2 (0 for the oldest record), this record length 2 (header included),
//   date 4 (TimeReal at 00:00 UTC), presence counter 2 (BCD), distance 2 (km),
//   activity change words 2 each: bit 15 slot, 14 driving status, 13 card status,
//   12-11 activity, 10-0 minute of the day.
//
// The buffer is filled like a card fills it: each new day record follows the previous one round
// the ring, and the oldest records are dropped as soon as their bytes are needed. Their leftover
// bytes stay in the area, as on a real card.

#include "tools/generator/card_files.h"
#include "tools/generator/card_generator.h"

#include <deque>
#include <stdexcept>
#include <string>

namespace ddd::gen {
namespace {

struct LiveRecord {
    std::size_t offset;
    std::size_t length;
    int day;
};

const Fault* findFault(const std::vector<Fault>& faults, Fault::Kind kind, int day) {
    for (const Fault& f : faults) {
        if (f.kind == kind && f.day == day) return &f;
    }
    return nullptr;
}

std::vector<std::uint16_t> dayWords(const Day& day, const Fault* minuteFault) {
    std::vector<std::uint16_t> words;
    if (day.rawWords) {
        words = *day.rawWords;
    } else {
        for (const ActivityChange& c : day.changes) words.push_back(changeWord(c));
    }
    if (minuteFault && !words.empty()) {
        words.back() = static_cast<std::uint16_t>((words.back() & 0xF800) | (minuteFault->value & 0x7FF));
    }
    return words;
}

class Ring {
public:
    explicit Ring(std::size_t size) : area_(size, 0) {}

    void put(std::size_t offset, const Bytes& bytes) {
        for (std::size_t i = 0; i < bytes.size(); ++i) area_[(offset + i) % area_.size()] = bytes[i];
    }
    const Bytes& bytes() const { return area_; }

private:
    Bytes area_;
};

// The value a previous-length fault writes instead of `actual`.
std::uint64_t wrongPrevious(const Fault& f, std::size_t actual) {
    return f.value < 0 ? actual + 2 : static_cast<std::uint64_t>(f.value);
}

Bytes u16Bytes(std::uint64_t v) { return {static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)}; }

} // namespace

Bytes encodeDriverActivity(const std::vector<Day>& days, const Capacities& caps, const std::vector<Fault>& faults) {
    if (caps.activityBytes <= 0) throw std::invalid_argument("activity area must not be empty");
    const auto areaSize = static_cast<std::size_t>(caps.activityBytes);
    Ring ring(areaSize);
    std::deque<LiveRecord> live;
    std::size_t liveBytes = 0;
    std::size_t pos = static_cast<std::size_t>(caps.activityStartOffset) % areaSize;
    std::size_t previousLength = 0;

    for (std::size_t k = 0; k < days.size(); ++k) {
        const Day& day = days[k];
        const int index = static_cast<int>(k);
        const auto words = dayWords(day, findFault(faults, Fault::Kind::MinuteOutOfRange, index));
        const std::size_t length = 12 + 2 * words.size();
        if (length > areaSize) {
            throw std::invalid_argument("day record " + std::to_string(k) + " of " + std::to_string(length) +
                                        " bytes does not fit the activity area");
        }
        while (liveBytes + length > areaSize) {
            liveBytes -= live.front().length;
            live.pop_front();
        }
        ByteWriter w;
        const Fault* prevFault = findFault(faults, Fault::Kind::PreviousLength, index);
        const Fault* lenFault = findFault(faults, Fault::Kind::RecordLength, index);
        w.u16(prevFault ? wrongPrevious(*prevFault, previousLength) : previousLength);
        w.u16(lenFault ? static_cast<std::uint64_t>(lenFault->value) : length);
        w.time(day.date);
        if (day.rawPresenceCounter) {
            w.u16(*day.rawPresenceCounter);
        } else {
            w.bcd(static_cast<std::uint64_t>(day.presenceCounter), 2);
        }
        w.u16(static_cast<std::uint64_t>(day.distanceKm));
        for (std::uint16_t word : words) w.u16(word);
        ring.put(pos, w.take());
        live.push_back({pos, length, index});
        liveBytes += length;
        previousLength = length;
        pos = (pos + length) % areaSize;
    }

    std::size_t oldest = static_cast<std::size_t>(caps.activityStartOffset) % areaSize;
    std::size_t newest = oldest;
    if (!live.empty()) {
        oldest = live.front().offset;
        newest = live.back().offset;
        // Once the first written record has been overwritten, the new oldest record no longer
        // has a predecessor in the buffer.
        const Fault* prevFault = findFault(faults, Fault::Kind::PreviousLength, live.front().day);
        ring.put(oldest, u16Bytes(prevFault ? wrongPrevious(*prevFault, 0) : 0));
    }
    ByteWriter ef;
    ef.u16(oldest);
    ef.u16(newest);
    ef.bytes(ring.bytes());
    return ef.take();
}

std::uint16_t changeWord(const ActivityChange& c) {
    return static_cast<std::uint16_t>((c.coDriver ? 0x8000 : 0) | (c.crew ? 0x4000 : 0) | (c.cardAbsent ? 0x2000 : 0) |
                                      (c.activity & 3) << 11 | (c.minute & 0x7FF));
}

} // namespace ddd::gen
