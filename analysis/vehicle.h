// The vehicle as a fleet manager sees it: every download of one vehicle unit merged day by day,
// and what follows from them: driving without a card, events and faults by type, calibrations
// and when the next is due, company locks, downloads and the drivers who used the vehicle.
// Pure: the folder walk that finds the downloads lives in vehicle_folder.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/card_signature.h"
#include "core/folder_walk.h"
#include "core/vu_download.h"

namespace ddd {

// One vehicle-unit download of the vehicle and what its check found.
struct VehicleSource {
    std::string path;
    VuDownload download;
    AuthenticityCheck authenticity;

    // The name the view, the tables and the report give the download: its path's last part.
    std::string fileName() const;
};

// A card download lying in the same folder tree, identified only, to link a driver to it.
struct DriverCardLink {
    std::uint8_t nation = 0;
    std::string cardNumber;  // the first 14 characters
    std::string path;
};

// One piece of a slot's day: [begin, end) in UTC seconds.
struct VehicleSlotSegment {
    std::int64_t begin = 0;
    std::int64_t end = 0;
    std::uint8_t activity = 0;  // 0 rest, 1 availability, 2 work, 3 driving
    bool cardInserted = false;
};

// Driving in one slot with no card inserted, joined over midnight when it goes on.
struct NoCardStretch {
    int slot = 0;  // 0 driver, 1 co-driver
    std::int64_t begin = 0;
    std::int64_t end = 0;
    std::optional<std::uint32_t> km;  // absent when no reading tells it
};

// An event or fault as the view lists it: its type and the list it came from decide its kind;
// overspeeding and power interruptions, the usual traces of manipulation, come first.
enum class VehicleEventKind { Overspeed, Power, Event, Fault };

struct VehicleEventRecord {
    VuEventFault record;
    std::optional<std::uint8_t> maxSpeed;      // overspeeding records only
    std::optional<std::uint8_t> averageSpeed;  // overspeeding records only
};

// The records of one type, in time order.
struct VehicleEventGroup {
    std::uint8_t type = 0;
    VehicleEventKind kind = VehicleEventKind::Event;
    std::vector<VehicleEventRecord> records;
};

enum class DueState { Ok, Soon, Overdue, Unknown };

// A date something falls due, and how it stands against the day of the evaluation.
struct DueDate {
    std::optional<std::int64_t> due;  // 00:00 UTC of the due date
    DueState state = DueState::Unknown;
    std::int64_t daysLeft = 0;  // negative when overdue
};

// A unit must be calibrated at least every two years; warned of 30 days ahead.
inline constexpr int kCalibrationYears = 2;
inline constexpr int kDueSoonDays = 30;
// A company downloads each vehicle unit at least every 90 days.
inline constexpr int kDownloadIntervalDays = 90;

struct VehicleDownloadInfo {
    std::optional<std::int64_t> last;
    VuCardRef card;
    std::string company;
};

// A driver who had a card in the unit.
struct VehicleDriver {
    std::string name;
    VuCard card;
    std::int64_t firstInsertion = 0;
    std::int64_t lastInsertion = 0;
    bool driverSlot = false;
    bool coDriverSlot = false;
    int insertions = 0;
    std::string cardFile;  // a download of the driver's card in the folder tree, or empty
};

struct VehicleModel {
    std::vector<VehicleSource> sources;  // in the order found; the opened file first
    std::vector<std::string> problems;   // German: every source's problems, named by file
    std::vector<SkippedFile> skipped;

    std::string vin;
    std::string plate;
    std::uint8_t nation = 0;
    std::optional<VuIdentification> unit;  // absent when no download names the unit
    std::optional<VuGeneration> generation;

    std::vector<VuDayBlock> days;          // merged, by date; each date at 00:00 UTC
    std::vector<std::size_t> daySource;    // for each day: the index of the source it came from
    std::vector<std::uint32_t> sourceDays; // for each source: the days it supplied

    std::vector<VehicleSlotSegment> slots[2];  // the merged days' activities per slot, in time order
    std::vector<NoCardStretch> noCard;

    std::vector<VehicleEventGroup> events;  // by kind, then type code
    std::optional<VuOverspeedControl> overspeedControl;  // absent when the unit wrote none
    std::vector<VuTimeAdjustment> timeAdjustments;
    std::vector<VuCalibration> calibrations;  // in time order
    DueDate calibrationDue;
    std::vector<VuCompanyLock> locks;  // by lock-in
    VehicleDownloadInfo lastDownload;
    DueDate downloadDue;
    std::vector<VuControl> controls;  // by time
    std::vector<VehicleDriver> drivers;  // by first insertion
};

// Merges the downloads (all of one vehicle) and derives the view's content, dated against
// `nowUtc`. Cards are linked to the given card downloads by nation and the first 14 characters.
VehicleModel buildVehicleModel(std::vector<VehicleSource> sources, const std::vector<DriverCardLink>& cardFiles,
                               std::int64_t nowUtc);

// The slot segments of one day block: the words sorted stably by minute, each lasting to the
// same slot's next change or 24:00.
std::vector<VehicleSlotSegment> slotSegmentsOfDay(const VuDayBlock& day, int slot);

// `date` (00:00 UTC) plus whole years, the 29th of February becoming the 28th.
std::int64_t addYears(std::int64_t date, int years);

// How a due date stands on the local calendar day of `nowUtc`: overdue after it, due soon within
// `soonDays` of it.
DueDate dueDateState(std::optional<std::int64_t> due, std::int64_t nowUtc, int soonDays = kDueSoonDays);

// The next download of a unit or a card, `intervalDays` after the local day of the last one;
// unknown without one.
DueDate nextDownloadDue(std::optional<std::int64_t> last, int intervalDays, std::int64_t nowUtc, int soonDays = kDueSoonDays);

// German name of a generation: "1. Generation", "2. Generation", "2. Generation, Version 2".
std::string vuGenerationName(VuGeneration generation);

}  // namespace ddd
