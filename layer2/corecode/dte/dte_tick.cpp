// The DTE interface's 10 ms tick (the break toward the application runs
// out, a break from it is measured, the escape guard runs down) and the
// controller's 10 ms tick around it; the break from the application.
#include "layer2/corecode/dte/dte_interface.h"
#include "layer2/corecode/dte/datamode/datamode_select.h"
#include "layer2/corecode/dte/dte_internal.h"
#include "layer2/corecode/mt/modem/modem_task.h"
#include "layer2/corecode/mt/port/uart.h"
#include "layer2/corecode/mt/services/command_interpreter.h"
#include "layer2/corecode/mt/services/link_protocols.h"

namespace vxctl {
namespace {

constexpr std::uint8_t kEscapeReport = 0xBB;

// The guard expired: it has passed on a quiet line, or it followed three
// escape characters that a passed guard preceded.
void GuardExpired(DteInterfaceState& dte) {
  DteEscapeState& escape = dte.escape;
  if (escape.count.load() == 3 && escape.guarded_start.load() != 0) {
    escape.count.store(0);
    escape.leading_guard.store(0);
    escape.guarded_start.store(0);
    escape.countdown.store(escape.guard_time.load());
    if (dte.state.load() == kDteV80) {
      dte_rx_char(kEm);
      dte_rx_char(kEscapeReport);
    } else {
      acu_escape_detected();
    }
    return;
  }
  escape.leading_guard.store(1);
}

void CountDown(std::atomic<std::uint16_t>& counter, void (*at_zero)()) {
  const std::uint16_t value = counter.load();
  if (value == 0) return;
  counter.store(static_cast<std::uint16_t>(value - 1));
  if (value == 1) at_zero();
}

// One count down: true (and reloaded) every `reload` calls.
bool Prescale(std::uint8_t& prescaler, std::uint8_t reload) {
  if (--prescaler != 0) return false;
  prescaler = reload;
  return true;
}

// A break from the application ended or was reported at once: 1 from the
// command interpreter discards what the application sent before it.
void ReportBreak(DteInterfaceState& dte, std::uint8_t length) {
  const auto pending = static_cast<std::uint16_t>(dte.from.Count());
  if (acu_dte_break(length, pending) == 1) dte_from_clear();
}

}  // namespace

void dte_tick() {
  DteInterfaceState& dte = dte_state();
  DteEscapeState& escape = dte.escape;
  const std::uint16_t prescaler = static_cast<std::uint16_t>(escape.prescaler.load() - 1);
  escape.prescaler.store(prescaler);
  if (dte.brk.state.load() == kBreakActive) CountDown(dte.brk.duration, dte_break_end);
  if (dte.brk.measuring.load() != 0 && dte.brk.length.load() != 0xFF) dte.brk.length.fetch_add(1);
  if (prescaler != 0) return;
  escape.prescaler.store(kEscapePrescale);
  const std::uint16_t countdown = escape.countdown.load();
  if (countdown == 0) return;
  escape.countdown.store(static_cast<std::uint16_t>(countdown - 1));
  if (countdown == 1) GuardExpired(dte);
}

void ctl_tick_10ms() {
  ModemTask_Tick10ms();
  dte_tick();
  datamode_tick();
  uart_ms_tick(10);
  DteInterfaceState& dte = dte_state();
  AcuTickCounts& counts = acu_tick_counts();
  counts.ticks_10ms.fetch_add(1);
  if (!Prescale(dte.prescale_100ms, 10)) return;
  counts.ticks_100ms.fetch_add(1);
  if (!Prescale(dte.prescale_1s, 10)) return;
  counts.ticks_1s.fetch_add(1);
  if (Prescale(dte.prescale_1min, 60)) counts.ticks_1min.fetch_add(1);
}

void dte_break_line_changed() {
  DteInterfaceState& dte = dte_state();
  const bool option = acu_break_length_option() != 0;
  if (uart_line_get(kLineBreakIn) != 0) {
    if (option) {
      dte.brk.length.store(0);
      dte.brk.measuring.store(1);
    } else {
      ReportBreak(dte, 0);
    }
  } else if (option && dte.brk.measuring.exchange(0) != 0) {
    const std::uint8_t length = dte.brk.length.load();
    ec_break_length().store(length);
    ReportBreak(dte, length);
  }
}

}  // namespace vxctl
