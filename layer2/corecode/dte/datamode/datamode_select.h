// Selecting the data channel's DataMode and telling the data pump how to
// frame the data of the new mode (packet 0x61 and register 60), the line's
// XON/XOFF setting (packet 0x79), the receive restart the error-control
// set-up defers, and the data path's share of the 10 ms tick.
//
// Every mode change disables the poll and runs inside the critical
// section; every packet goes out after the section is left.
#pragma once

#include <cstdint>

namespace vxctl {

// m = 0..7: re-initialises the chosen mode (7 selects DataMode 6 with the
// synchronous framer), sends its format, enables and wakes the poll.
void datamode_set(std::uint8_t m);
void datamode_set_direct();
// Selects DataMode m (7, 8 or 0) as it is, for the V.8 and V.8bis exchanges.
void datamode_select_raw(std::uint8_t m);
// Sends the data-format packet of kind k (FormatKind) and sets register 60
// bit 3 for the HDLC framer. The send's result (DspSendResult); an unknown
// kind sends nothing and is refused.
std::uint32_t datamode_send_format(std::uint8_t k);
void datamode_resend_format();
// The fax data phase: kind 1 HDLC frames (DataMode 8), any other page data
// through the line rings (DataMode 9, both emptied). Keeps the direction
// for the fax layer, enables the poll and wakes it (not for fax classes 2
// and 2.0), then sends the format. Stop returns to DataMode 0 with the
// poll left enabled.
void datamode_fax_start(std::uint8_t kind, std::uint8_t direction, std::uint16_t ignored);
void datamode_fax_stop();
// The send's result (DspSendResult).
std::uint32_t datamode_set_flow_chars(std::uint8_t ignored1, std::uint8_t ignored2,
                                      std::uint8_t pass_through, std::uint8_t enable);
// Switches to DataMode 2 keeping what was received, then error control
// falls back.
void datamode_fall_back_direct();
// The error-control step's call: the deferred restart and the V.42
// detection result.
void datamode_rx_poll();
void datamode_tick();

}  // namespace vxctl
