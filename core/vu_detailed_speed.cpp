// Detailed speed block of a first-generation vehicle-unit download (TREP 0x04): walked to its
// end and counted, its records are not read.
//   speed blocks: count 2, records of 64 (begin time 4, one speed per second 60) | signature 128
#include "core/vu_blocks.h"

namespace ddd::vu {

void readDetailedSpeedGen1(FixedBlockReader& block) {
    block.records(2, 64, "speed blocks");
    block.field(128, "signature");
}

}  // namespace ddd::vu
