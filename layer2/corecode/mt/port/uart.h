// The virtual serial port: where a UART would stand between the
// application and an external modem. The port functions and the IRP
// workers move the application's bytes into the write queue and out of the
// read queue; the controller takes the write queue through qor_rx_int (its
// "receive interrupt") and fills the read queue through uart_rx_char. The
// lines toward the application drive the modem-status register and the
// serial events; the application's DTR and RTS, breaks both ways, and
// XON/XOFF and line handshakes as the port's settings ask.
//
// Everything acts on the machine's port (port_block()). Nothing here waits;
// every call may run at PASSIVE_LEVEL in any of the controller's threads.
#pragma once

#include <cstdint>
#include <span>

namespace vxctl {

// ---- Queues (each operation under the queue's lock) ----
std::uint32_t uart_rx_count();
std::uint32_t uart_rx_free();
std::uint32_t uart_tx_count();
// Block copies of what fits or what is there; the number of bytes moved.
std::uint32_t uart_tx_put(std::span<const std::uint8_t> bytes);
std::uint32_t uart_rx_get(std::span<std::uint8_t> buffer);
// The next byte of the write queue, left in it; false when it is empty.
bool uart_tx_peek(std::uint8_t& c);
void uart_tx_take();
inline constexpr std::uint32_t kPurgeWrite = 0;
inline constexpr std::uint32_t kPurgeRead = 1;
inline constexpr std::uint32_t kPurgeBoth = 2;
void uart_purge(std::uint32_t which);
// Both queues emptied and the six counters cleared.
void uart_reset_counters();

// ---- Controller side ----
// A character for the application: 0 taken or dropped, 1 refused because
// the read queue is full (the caller keeps it and tries again).
std::uint32_t uart_rx_char(std::uint8_t c);
// Drains the write queue into the controller; one drain runs at a time,
// a call that finds one running returns at once.
void qor_rx_int();
// One character to the controller's input: 0 taken, 1 refused.
std::uint32_t uart_deliver_char(std::uint8_t c);
// Room in the controller input that takes the application's characters.
std::uint32_t uart_ctl_free();
// Lines toward the application.
void uart_dsr_on();
void uart_dsr_off();
void uart_cts_on();
void uart_cts_off();
void uart_dcd_on();
void uart_dcd_off();
void uart_ri_on();
void uart_ri_off();
// Breaks toward the application.
void uart_break_out_on();
void uart_break_out_off();
// Adds elapsed milliseconds to the read and write time-out counters.
void uart_ms_tick(std::uint32_t ms);

// ---- Application side ----
void uart_dtr_on();
void uart_dtr_off();
void uart_rts_on();
void uart_rts_off();
void uart_break_in_on();
void uart_break_in_off();
void uart_set_baud(std::uint32_t baud);
std::uint32_t uart_get_baud();
void uart_set_data_bits(std::uint8_t bits);
std::uint8_t uart_get_data_bits();
void uart_set_stop_bits(std::uint8_t code);  // stored only when 0..2
void uart_set_parity(std::uint8_t code);     // stored only when 0..4
std::uint8_t uart_get_parity();
// At every open: queues empty, 8 data bits, one stop bit, no parity, 14400
// baud, breaks and RI 0, then DTR, RTS, DSR, CTS and DCD off through their
// operations, counters 0.
void uart_reset();

// Line bytes by index; any other index reads 0.
inline constexpr std::uint32_t kLineDsr = 0;
inline constexpr std::uint32_t kLineDtr = 1;
inline constexpr std::uint32_t kLineRts = 2;
inline constexpr std::uint32_t kLineCts = 3;
inline constexpr std::uint32_t kLineDcd = 4;
inline constexpr std::uint32_t kLineRi = 5;
inline constexpr std::uint32_t kLineBreakIn = 6;
inline constexpr std::uint32_t kLineBreakOut = 7;
std::uint8_t uart_line_get(std::uint32_t index);

// ---- Shared ----
// ORs events into the current event word (nothing without one).
void port_record_event(std::uint32_t bits);
// kNotifyRead, kNotifyWrite or kNotifyEvent.
void port_notify(std::uint32_t kind);
void port_notify_event();
// The write notification when the write queue has fallen below its
// threshold, the notification is armed and not yet given.
void port_write_notify_check();
// Line bits of the modem-status register (kMsrClear, kMsrSet, kMsrLeave),
// copied to the shadow; then the output hold by CTS and DSR re-evaluated.
void port_msr_update(std::uint32_t op, std::uint8_t bits);
// Delta bits of the register, nothing else.
void port_msr_delta(std::uint32_t op, std::uint8_t bits);
// The line bits rebuilt from the lines, copied to the shadow.
void port_msr_refresh();
// After the read queue has drained: the controller stopped by XOFF or by
// the handshake lines may send again.
void port_rx_resume();
// The application's RTS changed: the DTE interface's entry for its mode.
void port_rts_changed();
// Events the wait mask selects have been recorded: wakes the wait-on-mask
// worker (the event in PortState::wait_wake, when one is given). Any level
// up to DISPATCH_LEVEL.
void ntdrv_wait_wake();

}  // namespace vxctl
