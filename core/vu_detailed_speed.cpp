// Detailed speed block of a vehicle-unit download: one record per minute the vehicle moved.
// Second generation (TREP 0x24, 0x34): record array 0x12 of records of 64 bytes: begin time 4,
//   one speed per second 60 (km/h) | 0x08 signature
// First generation (TREP 0x04): speed blocks: count 2, records of 64 | signature 128
#include <algorithm>

#include "core/vu_blocks.h"

namespace ddd::vu {

void decodeSpeedMinute(ByteReader& r, VuGeneration, Sink& s) {
    VuSpeedMinute& minute = s.out.speed.emplace_back();
    minute.begin = r.u32();
    const Bytes speeds = r.bytes(minute.speeds.size());
    std::copy(speeds.begin(), speeds.end(), minute.speeds.begin());
}

void readDetailedSpeedGen1(FixedBlockReader& block) { block.list(2, kDetailedSpeed, "speed blocks"); }

}  // namespace ddd::vu
