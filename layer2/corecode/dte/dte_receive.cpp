// Characters from the application: the entries the port routes them to,
// the online ring they enter with its parity on the way out, and the
// escape detector with its capture.
#include <bit>

#include "layer2/corecode/dte/dte_interface.h"
#include "layer2/corecode/dte/dte_internal.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/port/uart.h"
#include "layer2/corecode/mt/services/command_interpreter.h"
#include "layer2/corecode/mt/stats/statistics_block.h"

namespace vxctl {
namespace {

constexpr std::uint8_t kParityOdd = 1;
constexpr std::uint8_t kParityEven = 2;
constexpr std::uint8_t kParityMark = 3;
constexpr std::uint8_t kParitySpace = 4;

// Bit 7 of a 7-bit character as the parity code asks.
std::uint8_t WithParity(std::uint8_t c, std::uint8_t parity) {
  const std::uint8_t low = c & 0x7F;
  const bool odd_ones = (std::popcount(low) & 1) != 0;
  switch (parity) {
    case kParityOdd: return odd_ones ? low : (low | 0x80);
    case kParityEven: return odd_ones ? (low | 0x80) : low;
    case kParityMark: return low | 0x80;
    case kParitySpace: return low;
    default: return c;
  }
}

// V.80: the application's data is discarded while the ring was full.
void EnterOverrun(DteInterfaceState& dte) {
  DteV80State& v80 = dte.v80;
  if (v80.overrun.load() != 0 || v80.report_b9.load() != 0) return;
  v80.overrun.store(1);
  v80.discarded.store(0);
  if (dte.to.Count() == 0 && v80.last_pushed.load() != kEm) {
    uart_rx_char(kEm);
    uart_rx_char(0xB5);
    v80.last_pushed.store(0xB5);
  } else {
    v80.report_b5.store(1);
  }
}

// Counts escape characters; every character reloads the guard. The
// sequence counts only when the guard had passed before its first
// character (dte_tick reports it after the guard that follows).
void CountEscape(DteInterfaceState& dte, std::uint8_t c) {
  DteEscapeState& escape = dte.escape;
  if (c == escape.character.load()) {
    const std::uint16_t count = escape.count.load();
    if (count == 0) escape.guarded_start.store(escape.leading_guard.load() != 0 ? 1 : 0);
    if (count + 1 == 3) {
      escape.capture.Clear();
      acu_esc_capture_state().store(1);
    }
    escape.count.store(count >= 3 ? 4 : count + 1);
  } else {
    escape.count.store(0);
  }
  escape.countdown.store(escape.guard_time.load());
  escape.leading_guard.store(0);
}

}  // namespace

void dte_escape_arm(DteEscapeState& escape) {
  escape.count.store(0);
  escape.leading_guard.store(0);
  escape.prescaler.store(kEscapePrescale);
  escape.countdown.store(escape.guard_time.load());
}

DteInterfaceState& dte_state() { return MachineState<DteInterfaceState>(); }

std::atomic<std::uint8_t>& dte_command_flag() { return dte_state().command_flag; }
std::atomic<std::uint8_t>& faxdte_mode() { return dte_state().fax_mode; }
std::atomic<std::uint8_t>& dte_voice_flag() { return dte_state().voice; }
std::atomic<std::uint8_t>& dte_stopped() { return dte_state().flow.dte_stopped; }

void dte_input_hold(std::uint8_t hold) { dte_state().input_hold.store(hold); }

bool dte_rx_char(std::uint8_t c) {
  DteInterfaceState& dte = dte_state();
  if (dte.input_hold.load() != 0) return false;
  DteFlowState& flow = dte.flow;
  if ((flow.from_kind.load() & kFlowKindXonXoff) != 0) {
    const bool xon = c == flow.from_xon.load();
    const bool xoff = c == flow.from_xoff.load();
    if (xon) dte_output_resume();
    if (xoff) dte_output_hold();
    if ((xon || xoff) && flow.pass_through.load() == 0) return false;
  }
  const bool v80 = dte.state.load() == kDteV80;
  if (dte.from.Count() < OnlineRing::kSize) {
    if (v80) {
      dte_v80_rx_char(c);
    } else if (!dte.from.Put(c)) {
      return true;  // filled by a block commit meanwhile
    }
    dte_flow_off_check();
  } else if (v80) {
    EnterOverrun(dte);
    dte_v80_rx_char(c);
  } else {
    return true;
  }
  if (acu_esc_capture_state().load() != 0) dte.escape.capture.Put(c & 0x7F);
  CountEscape(dte, c);
  return false;
}

bool dte_rx_raw(std::uint8_t c) { return !dte_state().from.Put(c); }

std::uint32_t dte_from_free() { return OnlineRing::kSize - dte_state().from.Count(); }
std::uint32_t dte_from_count() { return dte_state().from.Count(); }

std::uint8_t dte_from_char() {
  DteInterfaceState& dte = dte_state();
  std::uint8_t c = 0;
  if (dte.from.Take(c) && dte.data_bits.load() == 7) c = WithParity(c, dte.parity.load());
  dte_flow_on_check();
  return c;
}

void dte_from_clear() {
  DteInterfaceState& dte = dte_state();
  MachineState<ModemStatisticsBlock>().tx_bytes_lost.fetch_add(dte.from.Clear());
  const std::uint8_t state = dte.state.load();
  if (state == kDteOnline || state == kDteFax) dte_escape_arm(dte.escape);
  dte.v80.frame_ends.store(0);
  dte_flow_on_check();
}

void dte_esc_clear() { dte_state().escape.capture.Clear(); }
std::uint32_t dte_esc_count() { return dte_state().escape.capture.Count(); }
std::uint8_t dte_esc_char() { return dte_state().escape.capture.Take(); }

}  // namespace vxctl
