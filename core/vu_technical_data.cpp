// Technical data block of a first-generation vehicle-unit download (TREP 0x05): walked to its
// end and counted, its records are not read.
//   VU identification 116 | paired sensor: serial number 8, approval number 8, first pairing 4
//   calibrations: count 1, records of 167 | signature 128
#include "core/vu_blocks.h"

namespace ddd::vu {

void readTechnicalDataGen1(FixedBlockReader& block) {
    block.field(116, "VU identification");
    block.field(8 + 8 + 4, "paired sensor");
    block.records(1, 167, "calibrations");
    block.field(128, "signature");
}

}  // namespace ddd::vu
