// What the controller core reads or sets of the link protocols (error
// control, compression, V.80). Until they are built, controller/standin
// defines these entries.
#pragma once

#include <atomic>
#include <cstdint>

namespace vxctl {

// The break length of the error-control parameters (10 ms ticks), from a
// measured break of the application.
std::atomic<std::uint8_t>& ec_break_length();

// Frees V.44's history (its dictionaries) at the port's close.
void v44_free_history();

// For the data channel (layer2/corecode/dte/datamode).
// The error-control link flag: 1 while a framed protocol (MNP over HDLC,
// LAPM) owns the line.
void ec_set_link_flag(std::uint8_t on);
// Error control gives up its protocol and runs the line direct.
void ec_fallback(std::uint8_t reason);
// The two bytes the V.42 detection phase found.
void ec_set_detection_result(std::uint8_t first, std::uint8_t second);
// Resets the asynchronous receiver (and empties the line receive ring).
void async_rx_reset();
// Resets the asynchronous transmit frame and its state.
void async_tx_reset();
// 0 asks for one deferred receive restart.
void async_set_fallback_countdown(std::uint16_t seconds);
// The V.42 detection phase's 10 ms timer.
void v42det_timer();
// A tail byte the data pump marked (receive status 5) in direct mode, for
// the error-control parameters.
void ec_set_tail_byte(std::uint8_t byte);
// V.80: transmit started (line_tx_kick), the permit to wake the poll for
// queued transmit data, the receive overrun count, the hold countdown
// (10 ms ticks) and its flag.
void v80_tx_started();
std::atomic<std::uint8_t>& v80_kick_permit();
std::atomic<std::uint16_t>& v80_rx_overruns();
std::atomic<std::uint16_t>& v80_hold_countdown();
std::atomic<std::uint8_t>& v80_hold();

}  // namespace vxctl
