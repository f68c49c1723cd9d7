// Control_Activity_Data (0x0508), Current_Usage (0x0507) and Card_Download (0x050E).
//
// Control_Activity_Data, 46 bytes: control type 1, control time 4, control card type 1,
//   control card nation 1, control card number 16, vehicle registration 15,
//   download period begin 4, download period end 4. All zero when no control was recorded.
// Current_Usage, 19 bytes: session open time 4, vehicle registration 15.
// Card_Download, 4 bytes: time of the last card download.

#include "tools/generator/card_files.h"

namespace ddd::gen {

Bytes encodeControlActivity(const std::optional<ControlActivity>& control) {
    ByteWriter w;
    if (!control) {
        w.fill(0, 46);
        return w.take();
    }
    w.u8(static_cast<std::uint64_t>(control->controlType));
    w.time(control->time);
    w.u8(static_cast<std::uint64_t>(control->cardType));
    w.u8(control->cardNation);
    writePadded(w, control->cardNumber, 16, 0x20);
    writeRegistration(w, control->vehicle);
    w.time(control->downloadBegin);
    w.time(control->downloadEnd);
    return w.take();
}

Bytes encodeCurrentUsage(const std::optional<CurrentUsage>& usage) {
    ByteWriter w;
    if (!usage) {
        w.fill(0, 19);
        return w.take();
    }
    w.time(usage->sessionOpen);
    writeRegistration(w, usage->vehicle);
    return w.take();
}

Bytes encodeCardDownload(std::int64_t lastDownload) {
    ByteWriter w;
    w.time(lastDownload);
    return w.take();
}

} // namespace ddd::gen
