// Helpers the virtual serial port's files share; not for callers outside
// the port.
#pragma once

#include <cstdint>

namespace vxctl {

struct PortBlock;

// Stores c into the read queue under its lock: false when the queue is
// full; `count` is the count after the store.
bool uart_rx_store(std::uint8_t c, std::uint32_t& count);

// Re-evaluates the output hold by the handshake lines from the register's
// line bits: with every required line on, clears kFlowHeldByLines and
// drains; with one missing, sets it.
void uart_output_hold_check(std::uint8_t msr);

// The event word AND the event mask (0 without a word).
std::uint32_t port_current_events(const PortBlock& port);

}  // namespace vxctl
