// The vehicle document the dashboard's vehicle view renders: one JSON text for the vehicle of an
// opened vehicle-unit download and the other downloads of the same VIN in its folder tree.
//
// Shape (German texts; instants "DD.MM.YYYY HH:MM" German local time; date-valued fields
// "DD.MM.YYYY" of their UTC day; durations "HH:MM"; what the unit has not written is "–"):
// {"ok":true,"vehicle":true,"vin","plate","nation":N,"nationName",
//  "unit":{"maker","address","model","partNumber","software","serial","approval","manufactured",
//          "generation"} | null,
//  "period":"DD.MM.YYYY – DD.MM.YYYY","folder",
//  "sources":[{"file","path","downloaded","generation","signature":"valid|invalid|unanchored|
//              unsigned|uncheckable","signatureText","complete":bool,"days":N,"problems":[…]}],
//  "provenance":[{"date","file"}],   the download each merged day was taken from
//  "problems":[…],"skipped":{"count":N,"files":[{"file","reason"}]},
//  "counts":{"noCard","events" (records of every group),"calibrations","locks","drivers","days"},
//  "noCard":{"count","dur","km","stretches":[{"date","slot":1|2,"slotName","beg","end","dur","km",
//            "begin","endAt"}],"days":[{"date","count","dur","km"}]},   by the local date a stretch
//            begins; "begin"/"endAt" with their dates, as a stretch may run past midnight; "km" a
//            whole number, "–" when unknown, a total "≥ N" when only some stretches are known
//  "chart":[{"date","slots":[[{"b","e","a","card"}],[…]]}],   minutes of the local day, driver first
//  "events":[{"code","name","kind":"overspeed|power|event|fault","kindName","highlight","count",
//             "first","last","cards","records":[{"beg","end","purpose","cards","similar",
//             "maxSpeed","avgSpeed" (overspeeding only)}]}],
//  "overspeedControl":{"last","firstSince","count"} | null,
//  "timeAdjustments":[{"old","new","workshop","address","card"}],
//  "calibrations":[{"purpose","when","workshop","card","vin","plate","w","k","l","tyre","speed",
//                   "odoOld","odoNew","next"}],
//  "calibration":{"due","state":"ok|soon|overdue|unknown","days","text"},
//  "locks":[{"company","address","card","in","out" ("" while locked),"active"}],
//  "download":{"last","card","company","due","state","days","text"},
//  "controls":[{"when","type","card","begin","end"}],
//  "drivers":[{"name","card","nation","first","last","insertions","slots","file"}]}
// An opened file that cannot be read: {"ok":false,"vehicle":true,"error":"<German sentence>"}.
#pragma once

#include <cstdint>
#include <string>

#include "analysis/vehicle_folder.h"
#include "core/json_writer.h"

namespace ddd::report {

std::string toVehicleJson(const OpenedVehicle& vehicle);

// The fields "due", "state", "days" and "text" of a due date; `what` names the duty in the text.
void writeDueFields(JsonWriter& w, const DueDate& due, const std::string& what);

// What the bridge calls: the document of the vehicle of an opened download, dated against
// `nowUtc` (due dates, states).
std::string vehicleDocumentOfFile(const std::string& path, std::int64_t nowUtc);

}  // namespace ddd::report
