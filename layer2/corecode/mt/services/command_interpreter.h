// What the controller core calls of the command interpreter and the line
// services. Until they are built, controller/standin defines these entries.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace vxctl {

// The controller runs (1 after its initialisation at open, 0 after the
// close work); the port delivers the application's characters only then.
std::atomic<std::uint8_t>& acu_running();

// Caller-ID reporting is on ("+VCID"): non-zero.
std::uint8_t acu_caller_id_enabled();
// V.92 is enabled: non-zero. The quick-connect setting ("+PQC", 3: no
// quick connect) and the short-startup setting ("+PSS", 2: never), which
// decide whether an uploaded line profile is kept.
std::uint8_t acu_v92_enabled();
std::uint8_t acu_pqc_setting();
std::uint8_t acu_pss_setting();

// The modem-on-hold grant the data pump reported, which "+PMHR" reads.
std::atomic<std::uint8_t>& acu_moh_grant();

// What the DTE interface calls and reads of the command interpreter.
// The escape sequence was detected online (guard, three escape characters,
// guard).
void acu_escape_detected();
// A break from the application of `length` 10 ms ticks (0 when not
// measured) with `pending` bytes waiting from it: 1 asks the DTE interface
// to discard those bytes.
std::uint8_t acu_dte_break(std::uint8_t length, std::uint16_t pending);
// The command interpreter's pending tick work; it runs the wait counter
// (acu_wait_ticks) down by one for every 10 ms tick it consumes.
void acu_timer_service();
// The 500-tick wait counter of the command flush and the fax drain.
std::atomic<std::uint16_t>& acu_wait_ticks();
// 0 idle; 1 from the third escape character while the command
// interpreter collects an online command from the capture ring.
std::atomic<std::uint8_t>& acu_esc_capture_state();
// Non-zero: a break from the application is measured and its length
// reported ("break length" option).
std::uint8_t acu_break_length_option();
// 0 after dte_command_start, 1 after dte_command_end.
std::atomic<std::uint8_t>& acu_online_flag();
// The tick counts the controller's 10 ms tick adds to and the command
// interpreter consumes.
struct AcuTickCounts {
  std::atomic<std::uint32_t> ticks_10ms{0};
  std::atomic<std::uint32_t> ticks_100ms{0};
  std::atomic<std::uint32_t> ticks_1s{0};
  std::atomic<std::uint32_t> ticks_1min{0};
};
AcuTickCounts& acu_tick_counts();

// What the task thread runs of the command interpreter.
// Initialises the command interpreter and the line services for a newly
// opened port and sets acu_running to 1.
void acu_init();
// One pass of the controller; returns without blocking.
void acu_run();
// The service class of "+FCLASS=" (0 data, 1, 2 and 20 fax, 8 and 80 voice).
std::atomic<std::uint8_t>& acu_fclass();
// Non-zero while the command interpreter has a response still to give.
std::atomic<std::uint8_t>& acu_response_pending();
// The controller state machine's state (0..6).
std::atomic<std::uint8_t>& acu_state();
// A reset of the command state for the next pass; the open work clears it.
std::atomic<std::uint8_t>& acu_deferred_reset();

// The 0x00 octets the DataMode 7 receiver counted while it waited for a
// V.8 frame, which the V.8 exchange reads and clears.
std::atomic<std::uint8_t>& acu_v8_idle_zeros();
// The command interpreter's V.8 option byte: below 128, the receiver's
// first idle 0x00 octet marks the call's progress (statistics key 0x01 = 8).
std::uint8_t acu_v8_option();

// What the statistics block reads and sends. The flow settings of
// "+IFC" (the transmit one, DCE by DTE, and the receive one) and the link
// the connection runs (6 LAPM, 3 MNP, other none).
std::uint8_t acu_tx_flow_setting();
std::uint8_t acu_rx_flow_setting();
std::uint8_t acu_connected_link();
// Responses toward the application (controller/acu/acu_response.h): a
// text as it is, and S3 then S4.
bool acu_send_text(const char* text);
bool acu_send_line_end();
// Set to 1 by a command handler whose argument is invalid; the command
// line then ends in "ERROR".
std::uint8_t& acu_error_flag();
// The selected country's international calling code.
std::atomic<std::uint16_t>& acu_country_calling_code();
// The caller-ID detection's sub-state (5 asks it to end) and one step of
// its control.
std::atomic<std::uint8_t>& acu_caller_id_substate();
void acu_caller_id_poll();

// What the modem task reads and sets of the command interpreter: the
// transmit level byte of a signal kind 0..5 (selector 1 the high byte, 0
// the low byte); whether "+ES" asks for V.80 synchronous access; the
// disconnect cause (18 the data pump dropped the line); the answering V.8
// setting of "+A8E".
std::uint8_t acu_tone_level(std::uint8_t kind, std::uint8_t selector);
std::uint8_t acu_sync_access_selected();
std::atomic<std::uint8_t>& acu_disconnect_cause();
std::uint8_t acu_v8_answer_setting();

// The caller-ID text the modem task reads from the data pump: at most 99
// bytes, their count, and a terminating 0 after them.
inline constexpr std::size_t kCallerIdBufferMax = 99;
struct AcuCallerIdBuffer {
  std::array<std::uint8_t, kCallerIdBufferMax + 1> bytes{};
  std::uint8_t count = 0;
};
AcuCallerIdBuffer& acu_caller_id_buffer();
// Prints the caller-ID buffer to the application in `format` (the
// caller-ID report format setting, acu_caller_id_format).
void acu_report_caller_id(std::uint8_t format);
std::uint8_t acu_caller_id_format();

// Acts on the data pump's call-progress notification, read from the
// controller's copy of the last packet taken (DspTransportState::rx).
void RING_dsp_event();

}  // namespace vxctl
