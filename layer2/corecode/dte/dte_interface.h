// The DTE interface (module clmacuio): the controller's side of the serial
// port. It decides which ring each character from the application enters
// (services/dte_side.h has the entries the port calls), keeps the command
// and online rings, applies the flow control both ways, signals breaks at
// their place in the output, detects the escape sequence and captures what
// follows it, translates V.80's in-band codes, and runs the controller's
// 10 ms tick.
//
// Receive operations return true when they refuse the character (its ring
// is full); the port then keeps it and offers it again.
#pragma once

#include <cstdint>

#include "layer2/corecode/mt/services/dte_side.h"

namespace vxctl {

// ---- Command mode ----
// Count and room of the command ring from the application; both first let
// the port drain its write queue when in command mode.
std::uint32_t dte_cmd_from_count();
std::uint8_t dte_cmd_from_char();  // 0 when empty
void dte_cmd_from_clear();
void dte_cmd_to_char(std::uint8_t c);  // dropped when the ring is full
// Both push first; the room is 2047 - count.
std::uint32_t dte_cmd_to_count();
std::uint32_t dte_cmd_to_free();
void dte_cmd_to_clear();
// Moves responses into the serial read queue while it has room.
void dte_cmd_to_push();
// How a wait for output to drain ended.
enum class DteFlushResult : std::uint8_t {
  Drained,     // the ring is empty
  GaveUp,      // 500 ticks passed; the ring was emptied
  PortClosed,  // the port closed; what was left stays in the ring
};
// Waits (pushing, running the command interpreter's ticks, sleeping 1 ms)
// until the response ring is empty; gives up after 500 ticks, raising the
// assertion hook once and emptying the ring, or when the port closes.
DteFlushResult dte_cmd_to_flush();
void dte_set_command_flag();
void dte_clear_command_flag();
void dte_reset_command_mode();

// ---- Online mode ----
void dte_online_start(std::uint8_t ignored_a, std::uint8_t ignored_b, std::uint8_t ignored_c,
                      std::uint8_t from_kind, std::uint8_t from_xon, std::uint8_t from_xoff,
                      std::uint8_t to_kind, std::uint8_t to_xon, std::uint8_t to_xoff,
                      std::uint8_t pass_through, std::uint8_t escape_char,
                      std::uint16_t guard_time, std::uint8_t ignored_d);
void dte_set_online_params(std::uint8_t ignored_a, std::uint8_t ignored_b,
                           std::uint8_t ignored_c, std::uint8_t from_kind,
                           std::uint8_t from_xon, std::uint8_t from_xoff, std::uint8_t to_kind,
                           std::uint8_t to_xon, std::uint8_t to_xoff, std::uint8_t pass_through,
                           std::uint8_t escape_char, std::uint16_t guard_time,
                           std::uint8_t ignored_d);
void dte_flow_defaults(std::uint8_t from_kind, std::uint8_t to_kind);
void dte_set_flow_thresholds(std::uint16_t off, std::uint16_t on);
// Ring size, off and on marks, off range (min, max), on range (min, max),
// count of the ring from the application.
void dte_get_itf_params(std::uint16_t* size, std::uint16_t* off, std::uint16_t* on,
                        std::uint16_t* off_min, std::uint16_t* off_max, std::uint16_t* on_min,
                        std::uint16_t* on_max, std::uint16_t* count);
void dte_get_ring_sizes(std::uint16_t* size, std::uint16_t* off, std::uint16_t* on);
// While set, characters from the application are discarded (the link
// protocols cannot take them).
void dte_input_hold(std::uint8_t hold);

std::uint8_t dte_from_char();  // 0 when empty
std::uint32_t dte_from_count();
void dte_from_clear();
void dte_to_char(std::uint8_t c);  // dropped when the ring is full
std::uint32_t dte_to_count();
std::uint32_t dte_to_free();  // 0 in command mode
void dte_to_clear();
void dte_online_clear();
void dte_to_push();

// Flow control toward the application (XON/XOFF, CTS) and from it.
void dte_flow_off_check();
void dte_flow_off();
void dte_flow_on();
void dte_output_hold();
void dte_output_resume();

// A break toward the application: kind 1 empties both online rings first,
// 2 comes at the current output position, 3 after what is queued. It lasts
// `length` 10 ms ticks; 0 until dte_clamp_begin.
void dte_to_break(std::uint8_t kind, std::uint32_t length);
void dte_break_start();
void dte_break_end();

// ---- Mode switches ----
void dte_enter_command_mode();
void dte_enter_online_mode();
void dte_command_start();
void dte_command_end();
void dte_clamp_begin();
void dte_clamp_finish();
void dte_voice_start(std::uint8_t from_kind, std::uint8_t to_kind, std::uint8_t ignored_a,
                     std::uint8_t ignored_b, std::uint8_t ignored_c);
void dte_voice_stop();

// ---- V.80 synchronous access ----
void dte_v80_start(std::uint8_t from_kind, std::uint8_t to_kind);
void dte_v80_set_framed(std::uint8_t framed);
void dte_v80_set_esa_option(std::uint8_t option);
void dte_v80_rx_char(std::uint8_t c);
// One pending report (when it fits) and one byte of dte_to_ring into the
// serial read queue; `room` is the queue's room and is reduced.
void dte_v80_to_char(std::uint32_t& room);
void dte_v80_report_b4();

// ---- Lines and port queries ----
void dte_cts_on();
void dte_cts_off();
void dte_dsr_on();
void dte_dsr_off();
// The port's parity code; `a` := 1, `b` := 0.
std::uint8_t dte_get_char_format(std::uint8_t* a, std::uint8_t* b);
std::uint32_t dte_get_baud_rate();
bool dte_query_stub(std::uint32_t a, std::uint32_t b, std::uint32_t c);
void dte_null_hook(std::uint32_t value);

// ---- Escape capture ----
void dte_esc_clear();
std::uint32_t dte_esc_count();
std::uint8_t dte_esc_char();  // 0 when empty

// ---- Ticks ----
void dte_tick();
// The controller's 10 ms tick: the modem task's counters, dte_tick, the
// data-mode tick, the port's millisecond counters, the command
// interpreter's counts.
void ctl_tick_10ms();

}  // namespace vxctl
