// Events and faults block of a first-generation vehicle-unit download (TREP 0x03): walked to its
// end and counted, its records are not read.
//   faults: count 1, records of 82 | events: count 1, records of 83
//   overspeeding control: last control 4, first overspeeding since 4, number since 1
//   overspeeding events: count 1, records of 31 | time adjustments: count 1, records of 98
//   signature 128
#include "core/vu_blocks.h"

namespace ddd::vu {

void readEventsFaultsGen1(FixedBlockReader& block) {
    block.records(1, 82, "faults");
    block.records(1, 83, "events");
    block.field(4 + 4 + 1, "overspeeding control");
    block.records(1, 31, "overspeeding events");
    block.records(1, 98, "time adjustments");
    block.field(128, "signature");
}

}  // namespace ddd::vu
