// Command mode: the command rings between the application and the command
// interpreter, the response push with its hold (XON/XOFF and RTS from the
// application), the bounded flush, and the reset of command mode.
#include "layer2/corecode/dte/dte_interface.h"
#include "layer2/corecode/dte/dte_internal.h"
#include "layer2/corecode/mt/lines/status_lines.h"
#include "layer2/corecode/mt/pending/pending_calls.h"
#include "layer2/corecode/mt/port/port_block.h"
#include "layer2/corecode/mt/port/uart.h"
#include "layer2/corecode/mt/services/command_interpreter.h"

namespace vxctl {
namespace {

constexpr unsigned kFlushAssertLine = 1402;

// Lets the port move what the application wrote into the command ring.
void DrainPort() {
  if (dte_state().command_flag.load() != 0 && acu_running().load() != 0 &&
      uart_tx_count() != 0) {
    qor_rx_int();
  }
}

bool CommandOutputEmpty() { return dte_state().cmd_to.Count() == 0; }

}  // namespace

bool dte_cmd_rx_char(std::uint8_t c) {
  DteInterfaceState& dte = dte_state();
  DteFlowState& flow = dte.flow;
  if ((flow.from_kind.load() & kFlowKindXonXoff) != 0) {
    if (c == flow.from_xon.load()) {
      flow.cmd_output_held.store(0);
      return false;
    }
    if (c == flow.from_xoff.load()) {
      flow.cmd_output_held.store(1);
      return false;
    }
  }
  return !dte.cmd_from.Put(c);
}

std::uint32_t dte_cmd_from_count() {
  DrainPort();
  return dte_state().cmd_from.Count();
}

std::uint32_t dte_cmd_from_free() {
  DrainPort();
  return CommandRing::kSize - dte_state().cmd_from.Count();
}

std::uint8_t dte_cmd_from_char() {
  std::uint8_t c = 0;
  dte_state().cmd_from.Take(c);
  return c;
}

void dte_cmd_from_clear() { dte_state().cmd_from.Clear(); }

void dte_cmd_to_char(std::uint8_t c) { dte_state().cmd_to.Put(c); }

std::uint32_t dte_cmd_to_count() {
  dte_cmd_to_push();
  return dte_state().cmd_to.Count();
}

std::uint32_t dte_cmd_to_free() {
  dte_cmd_to_push();
  return CommandRing::kSize - 1 - dte_state().cmd_to.Count();
}

void dte_cmd_to_clear() { dte_state().cmd_to.Clear(); }

void dte_cmd_to_push() {
  DteInterfaceState& dte = dte_state();
  DteFlowState& flow = dte.flow;
  if (dte.cmd_to.Count() == 0 || flow.cmd_output_held.load() != 0) return;
  if (flow.cmd_push_free.exchange(0) == 0) return;
  std::uint8_t c = 0;
  while (uart_rx_free() != 0 && dte.cmd_to.Peek(c) && uart_rx_char(c) == 0) dte.cmd_to.Drop();
  flow.cmd_push_free.store(1);
}

DteFlushResult dte_cmd_to_flush() {
  return dte_wait_drained(CommandOutputEmpty, dte_cmd_to_push, "clmacuio", kFlushAssertLine,
                   dte_cmd_to_clear);
}

void dte_cmd_rts_changed() {
  DteFlowState& flow = dte_state().flow;
  if (uart_line_get(kLineRts) != 0) {
    flow.cmd_output_held.store(0);
  } else if ((port_block().input_handshake.load() & kInputRts) != 0) {
    flow.cmd_output_held.store(1);
  }
}

void dte_set_command_flag() { dte_state().command_flag.store(1); }
void dte_clear_command_flag() { dte_state().command_flag.store(0); }

void dte_reset_command_mode() {
  DteInterfaceState& dte = dte_state();
  if (dte.flow.cmd_push_free.load() == 0) return;
  dte.cmd_from.Clear();
  dte.cmd_to.Clear();
  dte.from.Clear();
  dte.to.Clear();
  dte.command_flag.store(1);
  dte.flow.output_held.store(0);
  dte.flow.cmd_output_held.store(0);
  dte.state.store(kDteCommand);
  if (acu_running().load() == 0) return;
  ModemTask_SetCts(1);
  if (dte.flow.dte_stopped.load() != 0 || dte.flow.xoff_pending.load() != 0) dte_flow_on();
}

}  // namespace vxctl
