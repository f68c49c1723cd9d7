// German names of the coded values a download records for events and faults, control
// activities, specific conditions and place entries, for every view that shows them.
#pragma once

#include <cstdint>
#include <string>

namespace ddd {

// EventFaultType: the named events and faults of both generations; "Reserviert" for reserved
// codes and "Herstellerspezifisch" for the manufacturer's range 0x80–0xFF.
std::string eventFaultTypeName(std::uint8_t code);

// ControlType is a set of flags: the names of the set flags joined by ", "; "Keine Angabe" when
// none is set.
std::string controlTypeName(std::uint8_t code);

// SpecificConditionType; "Reserviert" for reserved codes.
std::string specificConditionName(std::uint8_t code);

// EntryTypeDailyWorkPeriod of a place record; "Reserviert" for reserved codes.
std::string placeEntryTypeName(std::uint8_t code);

// EventFaultRecordPurpose: why a unit kept an event or fault record.
std::string eventFaultPurposeName(std::uint8_t code);

// CalibrationPurpose of a vehicle unit's calibration record.
std::string calibrationPurposeName(std::uint8_t code);

// The kind of card one nibble of a unit's CardSlotsStatus names; "Keine Karte" for 0.
std::string cardSlotName(std::uint8_t code);

// OperationType of a load/unload record.
std::string loadOperationName(std::uint8_t code);

}  // namespace ddd
