// Writer of driver-card downloads from a plain description: the project's source of test data,
// written independently of the decoder so that each checks the other.
#pragma once

#include "tools/generator/card_description.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace ddd::gen {

// The complete download: TLV records in the order a download tool writes them, each signed EF
// followed by its signature record, with the faults of `card.inject` applied.
// Throws std::invalid_argument for a description that cannot be written (text not encodable,
// a day record larger than the cyclic area, ...).
std::vector<std::uint8_t> writeCardDownload(const CardDescription& card);

// Plausible history of `days` consecutive days (shifts, breaks, rests, days without card,
// several vehicles), identical for identical arguments.
CardDescription randomCard(std::uint64_t seed, int days, Generation generation);

// The bundled demo driver: about eight weeks ending on 2024-03-31.
CardDescription demoCard();

// The state of a card downloaded while still in a vehicle: the newest vehicle record is left open
// (last use 0xFFFFFFFF, end odometer 0xFFFFFF), the current session has no end, and the card's
// own download record holds `downloadedAt`, which may lie before the day's last change.
void leaveInVehicle(CardDescription& card, std::int64_t downloadedAt);

// Makes the card one of the second version and spreads `crossings` border crossings (D and PL in
// turn, every fifth on a UTC midnight, every seventh position not authenticated) and
// `loadOperations` load/unload operations evenly over its days; more records than the card's
// capacity make its cyclic files go round.
void addSecondVersionRecords(CardDescription& card, int crossings, int loadOperations);

// ---- Readable times for scenarios -------------------------------------------------------

std::int64_t utcDay(int year, int month, int day);             // 00:00 UTC of the day
int minuteOfDay(std::string_view hhmm);                        // "06:15" -> 375; throws if malformed
std::int64_t utcTime(int year, int month, int day, std::string_view hhmm);

// ---- Activity days ----------------------------------------------------------------------

std::uint16_t changeWord(const ActivityChange& change);

// A day from text such as "00:00 rest 06:00 work 06:15 drive+crew 10:45 break".
// Activities: rest|break, avail|availability, work, drive|driving; modifiers +co, +crew, +absent.
Day dayFromText(std::int64_t date, std::string_view changes, int presenceCounter = 0,
                int distanceKm = 0);

// A stretch of the driver's continuous activity.
struct Segment {
    std::int64_t begin = 0;
    std::int64_t end = 0;
    int activity = kRest;
    bool coDriver = false;
    bool crew = false;
    bool cardAbsent = false;
};

// Cuts a timeline into day records the way a card stores it: every day that the timeline
// touches gets a record beginning at 00:00; minutes of such a day not covered by a segment are
// written as "card not inserted, unknown". Days the timeline does not touch get no record.
// Presence counters count up from `firstPresenceCounter`; the distance assumes `kmPerHour` of
// driving.
std::vector<Day> daysFromTimeline(const std::vector<Segment>& segments, int firstPresenceCounter = 1,
                                  int kmPerHour = 70);

// Builds a timeline block by block: Timeline(t).add("drive 4:30 break 0:45 drive 2:00").
class Timeline {
public:
    explicit Timeline(std::int64_t start) : now_(start) {}

    Timeline& add(int activity, int minutes, bool crew = false, bool coDriver = false);
    // Blocks "ACTIVITY H:MM" separated by spaces; activity names as for dayFromText.
    Timeline& add(std::string_view blocks);
    Timeline& absent(int minutes); // card withdrawn: nothing recorded
    Timeline& restUntil(std::int64_t instant);
    Timeline& skipTo(std::int64_t instant); // card withdrawn until the instant

    std::int64_t now() const { return now_; }
    const std::vector<Segment>& segments() const { return segments_; }
    std::vector<Day> days(int firstPresenceCounter = 1) const { return daysFromTimeline(segments_, firstPresenceCounter); }

private:
    std::int64_t now_;
    std::vector<Segment> segments_;
};

// ---- Generation facts the tests and tools share -------------------------------------------

int eventGroupCount(bool gen2);  // 6 or 11
int eventGroup(int type, bool gen2); // group of an event type when not given explicitly
int faultGroup(int type);            // 0 equipment faults, 1 card faults

// Text bytes of a code-paged field: UTF-8 encoded with iconv into the field's code page,
// padded with spaces to `width`. Throws std::invalid_argument when not encodable or too long.
std::vector<std::uint8_t> encodeText(const Text& text, std::size_t width);

} // namespace ddd::gen
