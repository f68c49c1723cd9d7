// Events and faults block of a vehicle-unit download, and the power supply interruptions the
// second generation lists with its technical data.
// Second generation (TREP 0x23, 0x33), record arrays, cards of 19 bytes:
//   0x18 faults: type 1, purpose 1, begin 4, end 4, cards in the driver and co-driver slot at
//     begin and at end 4 x 19, manufacturer-specific data 4
//   0x15 events: as faults, with the number of similar events 1 before the manufacturer's data
//   0x1A overspeeding control: last control 4, first overspeeding since 4, number since 1
//   0x1B overspeeding events: type 1, purpose 1, begin 4, end 4, maximum speed 1, average speed 1,
//     driver card at begin 19, similar events 1
//   0x1E time adjustments: old time 4, new time 4, workshop name 36, address 36, card 19
//   0x1F power supply interruptions (technical data): as events without the manufacturer's data
//   0x08 signature
// First generation (TREP 0x03), fixed structure, cards of 18 bytes and no manufacturer's data:
//   faults: count 1, records of 82 | events: count 1, records of 83 | overspeeding control 9
//   overspeeding events: count 1, records of 31 | time adjustments: count 1, records of 98
//   signature 128
#include "core/vu_blocks.h"

namespace ddd::vu {
namespace {

VuEventFault eventFault(ByteReader& r, VuGeneration g, bool withSimilarEvents) {
    VuEventFault out;
    out.type = r.u8();
    out.purpose = r.u8();
    out.begin = instant(r);
    out.end = instant(r);
    out.driverBegin = card(r, g);
    out.coDriverBegin = card(r, g);
    out.driverEnd = card(r, g);
    out.coDriverEnd = card(r, g);
    if (withSimilarEvents) out.similarEvents = r.u8();
    return out;
}

}  // namespace

void decodeFault(ByteReader& r, VuGeneration g, Sink& s) { s.out.faults.push_back(eventFault(r, g, false)); }

void decodeEvent(ByteReader& r, VuGeneration g, Sink& s) { s.out.events.push_back(eventFault(r, g, true)); }

void decodePowerInterruption(ByteReader& r, VuGeneration g, Sink& s) {
    s.out.powerInterruptions.push_back(eventFault(r, g, true));
}

void decodeOverspeedControl(ByteReader& r, VuGeneration, Sink& s) {
    VuOverspeedControl control;
    control.lastControl = instant(r);
    control.firstOverspeedSince = instant(r);
    control.overspeedsSince = r.u8();
    s.out.overspeedControl = control;
}

void decodeOverspeedEvent(ByteReader& r, VuGeneration g, Sink& s) {
    VuOverspeedEvent event;
    event.type = r.u8();
    event.purpose = r.u8();
    event.begin = instant(r);
    event.end = instant(r);
    event.maxSpeed = r.u8();
    event.averageSpeed = r.u8();
    event.driverBegin = card(r, g);
    event.similarEvents = r.u8();
    s.out.overspeedEvents.push_back(std::move(event));
}

void decodeTimeAdjustment(ByteReader& r, VuGeneration g, Sink& s) {
    VuTimeAdjustment adjustment;
    adjustment.oldTime = instant(r);
    adjustment.newTime = instant(r);
    adjustment.workshopName = name(r);
    adjustment.workshopAddress = name(r);
    adjustment.workshopCard = card(r, g);
    s.out.timeAdjustments.push_back(std::move(adjustment));
}

void readEventsFaultsGen1(FixedBlockReader& block) {
    block.list(1, kFault, "faults");
    block.list(1, kEvent, "events");
    block.record(kOverspeedControl, "overspeeding control");
    block.list(1, kOverspeedEvent, "overspeeding events");
    block.list(1, kTimeAdjustment, "time adjustments");
}

}  // namespace ddd::vu
