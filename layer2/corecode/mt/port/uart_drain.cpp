// The application's side toward the controller: the drain of the write
// queue (the port's "receive interrupt"), which also delivers the flow
// characters and the immediate character, and the routing of each
// character into the DTE interface.
#include "layer2/corecode/mt/port/port_block.h"
#include "layer2/corecode/mt/port/uart.h"
#include "layer2/corecode/mt/services/command_interpreter.h"
#include "layer2/corecode/mt/services/dte_side.h"

namespace vxctl {
namespace {

constexpr std::uint8_t kFlowHolds =
    kFlowXoffToSend | kFlowXonToSend | kFlowHeldByXoff | kFlowHeldByLines | kFlowBreakIn;

// An XOFF to send goes first, then an XON to send; false when the
// controller refuses one.
bool uart_send_flow_char() {
  PortBlock& port = port_block();
  if ((port.flow.load() & kFlowXoffToSend) != 0) {
    if (uart_deliver_char(port.dcb.xoff_char) != 0) return false;
    port.flow.fetch_or(kFlowXoffSent);
    port.flow.fetch_and(~kFlowXoffToSend);
  }
  if ((port.flow.load() & kFlowXonToSend) != 0) {
    if (uart_deliver_char(port.dcb.xon_char) != 0) return false;
    port.flow.fetch_and(~(kFlowXoffToSend | kFlowXonToSend | kFlowXoffSent));
  }
  return true;
}

// False while an immediate character waits that the controller refuses.
bool uart_send_immediate() {
  PortBlock& port = port_block();
  if ((port.port_flags.load() & kPortImmediateChar) == 0) return true;
  if (uart_deliver_char(port.immediate_char.load()) != 0) return false;
  port.port_flags.fetch_and(~kPortImmediateChar);
  return true;
}

bool SomethingToDeliver(const PortBlock& port) {
  return uart_tx_count() != 0 || (port.port_flags.load() & kPortImmediateChar) != 0 ||
         (port.flow.load() & (kFlowXoffToSend | kFlowXonToSend)) != 0;
}

// Moves bytes until something stops it; the number moved.
std::uint32_t Drain(PortBlock& port) {
  std::uint32_t moved = 0;
  for (;;) {
    if (uart_ctl_free() == 0) return moved;
    if ((port.flow.load() & (kFlowHeldByLines | kFlowBreakIn)) != 0) return moved;
    if (!uart_send_flow_char()) return moved;
    if ((port.flow.load() & kFlowHolds) != 0) return moved;
    if (!uart_send_immediate()) return moved;
    if (dte_stopped().load() != 0) return moved;
    std::uint8_t c = 0;
    if (!uart_tx_peek(c) || uart_deliver_char(c) != 0) return moved;
    port.counters[kCounterTransmitted].fetch_add(1);
    uart_tx_take();
    ++moved;
    if (uart_tx_count() == 0) return moved;
  }
}

}  // namespace

std::uint32_t uart_deliver_char(std::uint8_t c) {
  if (acu_running().load() == 0) return 1;
  if (dte_command_flag().load() != 0) return dte_cmd_rx_char(c) ? 1 : 0;
  if (faxdte_mode().load() != 0) return faxdte_rx_char(c) ? 1 : 0;
  if (dte_voice_flag().load() != 0) return dte_rx_raw(c) ? 1 : 0;
  return dte_rx_char(c) ? 1 : 0;
}

std::uint32_t uart_ctl_free() {
  return dte_command_flag().load() != 0 ? dte_cmd_from_free() : dte_from_free();
}

void qor_rx_int() {
  PortBlock& port = port_block();
  if (port.drain_guard.exchange(0) == 0) return;
  if (SomethingToDeliver(port)) {
    dte_flow_on_check();
    if (Drain(port) != 0) {
      port_record_event(kEventTxMoved);
      if (uart_tx_count() == 0) port_record_event(kEventTxEmpty);
      port_write_notify_check();
      port_notify_event();
    }
  }
  port.drain_guard.store(1);
}

}  // namespace vxctl
