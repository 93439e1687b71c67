// Output toward the application: the online ring and its push into the
// serial read queue, the flow control toward the application (XON/XOFF,
// CTS) and from it (output held and resumed), and breaks toward it at
// their place in the output.
#include "layer2/corecode/dte/dte_interface.h"
#include "layer2/corecode/dte/dte_internal.h"
#include "layer2/corecode/mt/port/uart.h"

namespace vxctl {
namespace {

// Releases a push guard on every way out.
class GuardTaken {
 public:
  explicit GuardTaken(std::atomic<std::uint8_t>& guard) : guard_(guard) {}
  ~GuardTaken() { guard_.store(1); }
  GuardTaken(const GuardTaken&) = delete;
  GuardTaken& operator=(const GuardTaken&) = delete;

 private:
  std::atomic<std::uint8_t>& guard_;
};

bool BreakWaitsAt(DteInterfaceState& dte, std::uint32_t position) {
  return dte.brk.state.load() == kBreakWaiting && dte.brk.position.load() == position;
}

// A flow character the serial read queue refused stays pending.
void SendFlowChars(DteInterfaceState& dte) {
  if (dte.flow.xoff_pending.load() != 0) dte_flow_off();
  if (dte.flow.xon_pending.load() != 0) dte_flow_on();
}

void SendFlowChar(std::uint8_t c, std::atomic<std::uint8_t>& pending) {
  pending.store(uart_rx_char(c) != 0 ? 1 : 0);
}

void BreakAt(DteInterfaceState& dte, std::uint32_t position) {
  dte.brk.position.store(static_cast<std::uint16_t>(position));
  dte.brk.state.store(kBreakWaiting);
}

}  // namespace

void dte_to_char(std::uint8_t c) {
  DteInterfaceState& dte = dte_state();
  dte.to.Put(c & dte.mask.load());
}

std::uint32_t dte_to_count() {
  dte_to_push();
  return dte_state().to.Count();
}

std::uint32_t dte_to_free() {
  dte_to_push();
  DteInterfaceState& dte = dte_state();
  if (dte.command_flag.load() != 0) return 0;
  return OnlineRing::kSize - dte.to.Count();
}

void dte_to_clear() {
  DteInterfaceState& dte = dte_state();
  dte.to.Clear();
  dte.flow.output_started.store(0);
}

void dte_online_clear() {
  dte_to_clear();
  dte_from_clear();
}

void dte_to_push() {
  DteInterfaceState& dte = dte_state();
  DteFlowState& flow = dte.flow;
  // Two pushes at once would take bytes alternately: one runs, the other
  // leaves (the running one covers it).
  if (flow.push_free.exchange(0) == 0) return;
  GuardTaken guard(flow.push_free);
  flow.output_started.store(0);
  if (BreakWaitsAt(dte, dte.to.Read())) {
    dte_break_start();
    return;
  }
  if (dte.brk.active.load() == 0) SendFlowChars(dte);
  if (dte.to.Count() == 0 || flow.output_held.load() != 0 || dte.brk.active.load() != 0) return;

  const bool v80 = dte.state.load() == kDteV80;
  std::uint32_t room = uart_rx_free();
  while (room != 0 && dte.to.Count() != 0) {
    if (v80) {
      dte_v80_to_char(room);
    } else {
      std::uint8_t c = 0;
      if (!dte.to.Peek(c) || uart_rx_char(c & dte.mask.load()) != 0) break;
      dte.to.Drop();
    }
    if (BreakWaitsAt(dte, dte.to.Read())) break;
    room = uart_rx_free();
  }
  flow.output_started.store(1);
}

void dte_flow_off_check() {
  DteInterfaceState& dte = dte_state();
  DteFlowState& flow = dte.flow;
  if (flow.dte_stopped.load() != 0 || flow.to_kind.load() == 0) return;
  if (dte.from.Count() < flow.off_mark.load()) return;
  if (dte.brk.active.load() != 0) {
    flow.xoff_pending.store(1);
  } else {
    dte_flow_off();
  }
}

void dte_flow_on_check() {
  DteInterfaceState& dte = dte_state();
  DteFlowState& flow = dte.flow;
  if (flow.dte_stopped.load() == 0 || dte.from.Count() > flow.on_mark.load()) return;
  if (dte.brk.active.load() != 0) {
    flow.xon_pending.store(1);
  } else {
    dte_flow_on();
  }
}

void dte_flow_off() {
  DteFlowState& flow = dte_state().flow;
  flow.xoff_pending.store(0);
  flow.dte_stopped.store(1);
  const std::uint8_t kind = flow.to_kind.load();
  if ((kind & kFlowKindLines) != 0) dte_cts_off();
  if ((kind & kFlowKindXonXoff) != 0) {
    flow.output_started.store(1);
    SendFlowChar(flow.to_xoff.load(), flow.xoff_pending);
  }
}

void dte_flow_on() {
  DteFlowState& flow = dte_state().flow;
  flow.xon_pending.store(0);
  flow.dte_stopped.store(0);
  const std::uint8_t kind = flow.to_kind.load();
  if ((kind & kFlowKindLines) != 0) dte_cts_on();
  if ((kind & kFlowKindXonXoff) != 0) {
    flow.output_started.store(1);
    SendFlowChar(flow.to_xon.load(), flow.xon_pending);
  }
}

void dte_output_hold() {
  DteFlowState& flow = dte_state().flow;
  flow.output_held.store(1);
  flow.output_started.store(0);
}

void dte_output_resume() {
  DteInterfaceState& dte = dte_state();
  dte.flow.output_held.store(0);
  if (dte.brk.active.load() != 0) return;
  if (BreakWaitsAt(dte, dte.to.Read())) {
    dte_break_start();
  } else {
    dte.flow.output_started.store(1);
  }
}

void dte_online_rts_changed() {
  if ((dte_state().flow.from_kind.load() & kFlowKindLines) == 0) return;
  if (uart_line_get(kLineRts) == 0) {
    dte_output_hold();
  } else {
    dte_output_resume();
  }
}

void dte_to_break(std::uint8_t kind, std::uint32_t length) {
  DteInterfaceState& dte = dte_state();
  if (kind == 0 || dte.brk.active.load() != 0 || dte.brk.state.load() != kBreakNone) return;
  dte.brk.duration.store(static_cast<std::uint16_t>(length > 0xFFFF ? 0xFFFF : length));
  const bool started = dte.flow.output_started.load() != 0;
  switch (kind) {
    case 1: {
      dte.to.Clear();
      dte.from.Clear();
      dte_escape_arm(dte.escape);
      dte_flow_on_check();
      if (started) {
        BreakAt(dte, 0);
      } else {
        dte_break_start();
      }
      return;
    }
    case 2:
      if (started) {
        BreakAt(dte, dte.to.Read());
      } else {
        dte_break_start();
      }
      return;
    default:
      if (dte.to.Count() != 0 || dte.flow.output_held.load() != 0 || started) {
        BreakAt(dte, dte.to.Write());
      } else {
        dte_break_start();
      }
      return;
  }
}

void dte_break_start() {
  DteInterfaceState& dte = dte_state();
  uart_break_out_on();
  dte.brk.active.store(1);
  dte.brk.state.store(kBreakActive);
}

void dte_break_end() {
  DteInterfaceState& dte = dte_state();
  dte.brk.state.store(kBreakNone);
  dte.brk.active.store(0);
  uart_break_out_off();
  SendFlowChars(dte);
  if (dte.flow.output_held.load() == 0) dte_output_resume();
}

}  // namespace vxctl
