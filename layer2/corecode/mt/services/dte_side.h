// What the port calls of the DTE interface, the controller's side of the
// serial port. The DTE interface is built on the port, so the port declares
// its entries here and the DTE interface defines them; until it is built
// they are pending entries (pending/dte_side_pending.cpp).
#pragma once

#include <atomic>
#include <cstdint>

namespace vxctl {

// Routing of the application's characters: the command flag (command
// mode), fax DTE mode, the voice flag; otherwise online data.
std::atomic<std::uint8_t>& dte_command_flag();
std::atomic<std::uint8_t>& faxdte_mode();
std::atomic<std::uint8_t>& dte_voice_flag();
// The DTE interface has stopped the application (its flow control toward
// it): the port delivers nothing more.
std::atomic<std::uint8_t>& dte_stopped();

// One character from the application into the ring of the mode: true when
// refused (the ring is full).
bool dte_cmd_rx_char(std::uint8_t c);
bool faxdte_rx_char(std::uint8_t c);
bool dte_rx_raw(std::uint8_t c);
bool dte_rx_char(std::uint8_t c);

// Room in the command ring and in the online ring from the application.
std::uint32_t dte_cmd_from_free();
std::uint32_t dte_from_free();

// The application's RTS changed, in command mode and online.
void dte_cmd_rts_changed();
void dte_online_rts_changed();
// The DTE interface lets the application go on when its ring has drained.
void dte_flow_on_check();
// The application's break line changed (uart_line_get(kLineBreakIn)).
void dte_break_line_changed();

}  // namespace vxctl
