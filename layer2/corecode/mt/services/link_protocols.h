// What the controller core reads or sets of the link protocols (error
// control, compression, V.80). Until they are built, controller/standin
// defines these entries.
#pragma once

#include <atomic>
#include <cstdint>

#include "layer2/corecode/mt/services/ec_statistics.h"

namespace vxctl {

// The break length of the error-control parameters (10 ms ticks), from a
// measured break of the application.
std::atomic<std::uint8_t>& ec_break_length();

// Fills `record` with the error-control statistics (compression non-zero
// while compression runs).
void ec_get_statistics(EcStatistics& record);

// The modem task's connection state for V.80 (0 idle, 3 retraining, 13
// renegotiating, 2 or 6 connected).
void v80_set_state(std::uint8_t state);
// One error-control step: the protocol engine's status (6 link running).
std::uint8_t ec_poll();

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
// HDLC frames of MNP (status, spare, u16 length, data from byte 4) and
// LAPM (u16 length at byte 4, status at 6, data from 8): the next frame to
// send and the next receive buffer (null: none), and the LAPM field that a
// bad frame's byte 9 sets.
std::uint8_t* mnp_next_tx_frame();
std::uint8_t* mnp_next_rx_buffer(std::uint8_t status);
std::uint8_t* lapm_next_tx_frame();
std::uint8_t* lapm_next_rx_buffer();
void lapm_set_bad_frame_field(std::uint8_t value);
// The data-channel handlers of DataModes 0 (the asynchronous framer),
// 4 (V.80) and 10 (V.42 detection): each takes its mailbox block and
// gives it back. V.80's receive handler also takes the mode-change blocks
// (receive status 7).
void async_tx();
void async_rx();
void v80_tx();
void v80_rx();
void v42det_tx();
void v42det_rx();
// Makes `frame` the asynchronous framer's transmit frame, sent from its
// start.
void async_set_tx_frame(std::uint8_t* frame);
// V.80: transmit started (line_tx_kick), the permit to wake the poll for
// queued transmit data, the receive overrun count, the hold countdown
// (10 ms ticks) and its flag.
void v80_tx_started();
std::atomic<std::uint8_t>& v80_kick_permit();
std::atomic<std::uint16_t>& v80_rx_overruns();
std::atomic<std::uint16_t>& v80_hold_countdown();
std::atomic<std::uint8_t>& v80_hold();

}  // namespace vxctl
