// The lines both ways, the modem-status register with its delta bits, the
// line format and the reset at every open.
#include "layer2/corecode/mt/port/port_block.h"
#include "layer2/corecode/mt/port/uart.h"
#include "layer2/corecode/mt/port/uart_internal.h"
#include "layer2/corecode/mt/services/dte_side.h"
#include "platform/ke/spin_lock_held.h"

namespace vxctl {
namespace {

using plat::ke::SpinLockHeld;

// A line toward the application, with what its transitions record.
struct LineToApplication {
  std::atomic<std::uint8_t> UartLineState::*line;
  std::uint32_t on_events;
  std::uint32_t off_events;
  std::uint8_t line_bit;
  std::uint8_t delta_bit;
};

constexpr LineToApplication kDsr{&UartLineState::dsr, kEventDsr | kEventDsrOn, kEventDsr, kMsrDsr,
                                 kMsrDeltaDsr};
constexpr LineToApplication kCts{&UartLineState::cts, kEventCts, kEventCts, kMsrCts,
                                 kMsrDeltaCts};
constexpr LineToApplication kDcd{&UartLineState::dcd, kEventDcd | kEventDcdOn, kEventDcd, kMsrDcd,
                                 kMsrDeltaDcd};
constexpr LineToApplication kRi{&UartLineState::ri, kEventRing, kEventRingOff, kMsrRi,
                                kMsrTrailingRi};

void SetLine(const LineToApplication& line, bool on) {
  const std::uint8_t state = on ? 1 : 0;
  if ((port_block().lines.*line.line).exchange(state) == state) return;
  port_record_event(on ? line.on_events : line.off_events);
  port_msr_delta(kMsrSet, line.delta_bit);
  port_msr_update(on ? kMsrSet : kMsrClear, line.line_bit);
  port_notify(kNotifyEvent);
  port_msr_delta(kMsrClear, line.delta_bit);
}

std::uint8_t Apply(std::uint32_t op, std::uint8_t value, std::uint8_t bits) {
  if (op == kMsrClear) return value & ~bits;
  if (op == kMsrSet) return value | bits;
  return value;
}

void SetRts(std::uint8_t state) {
  if (port_block().lines.rts.exchange(state) != state) port_rts_changed();
}

void SetBreakIn(std::uint8_t state) {
  port_block().lines.break_in.store(state);
  dte_break_line_changed();
}

}  // namespace

void uart_dsr_on() { SetLine(kDsr, true); }
void uart_dsr_off() { SetLine(kDsr, false); }
void uart_cts_on() { SetLine(kCts, true); }
void uart_cts_off() { SetLine(kCts, false); }
void uart_dcd_on() { SetLine(kDcd, true); }
void uart_dcd_off() { SetLine(kDcd, false); }
void uart_ri_on() { SetLine(kRi, true); }
void uart_ri_off() { SetLine(kRi, false); }

void port_msr_update(std::uint32_t op, std::uint8_t bits) {
  PortState& state = port_state();
  PortBlock& port = state.block;
  std::uint8_t msr = 0;
  {
    SpinLockHeld held(state.msr_lock);
    std::atomic<std::uint8_t>* reg = port.msr.load();
    if (reg == nullptr) return;
    msr = Apply(op, reg->load(), bits);
    reg->store(msr);
    port.msr_shadow.store(msr);
  }
  uart_output_hold_check(msr);
}

void port_msr_delta(std::uint32_t op, std::uint8_t bits) {
  PortState& state = port_state();
  SpinLockHeld held(state.msr_lock);
  std::atomic<std::uint8_t>* reg = state.block.msr.load();
  if (reg != nullptr) reg->store(Apply(op, reg->load(), bits));
}

void port_msr_refresh() {
  PortState& state = port_state();
  PortBlock& port = state.block;
  const UartLineState& lines = port.lines;
  SpinLockHeld held(state.msr_lock);
  std::atomic<std::uint8_t>* reg = port.msr.load();
  if (reg == nullptr) return;
  const std::uint8_t msr = (reg->load() & ~kMsrLines) | (lines.cts.load() ? kMsrCts : 0) |
                           (lines.dsr.load() ? kMsrDsr : 0) | (lines.dcd.load() ? kMsrDcd : 0) |
                           (lines.ri.load() ? kMsrRi : 0);
  reg->store(msr);
  port.msr_shadow.store(msr);
}

void uart_output_hold_check(std::uint8_t msr) {
  PortBlock& port = port_block();
  const std::uint8_t required = port.output_handshake.load() & (kOutputCts | kOutputDsr);
  if (required == 0) return;
  if ((msr & required) == required) {
    port.flow.fetch_and(~kFlowHeldByLines);
    qor_rx_int();
  } else {
    port.flow.fetch_or(kFlowHeldByLines);
  }
}

void uart_dtr_on() { port_block().lines.dtr.store(1); }
void uart_dtr_off() { port_block().lines.dtr.store(0); }
void uart_rts_on() { SetRts(1); }
void uart_rts_off() { SetRts(0); }
void uart_break_in_on() { SetBreakIn(1); }
void uart_break_in_off() { SetBreakIn(0); }

void port_rts_changed() {
  if (dte_command_flag().load() != 0) {
    dte_cmd_rts_changed();
  } else {
    dte_online_rts_changed();
  }
}

void uart_set_baud(std::uint32_t baud) { port_block().lines.baud.store(baud); }
std::uint32_t uart_get_baud() { return port_block().lines.baud.load(); }
void uart_set_data_bits(std::uint8_t bits) { port_block().lines.data_bits.store(bits); }
std::uint8_t uart_get_data_bits() { return port_block().lines.data_bits.load(); }

void uart_set_stop_bits(std::uint8_t code) {
  if (code <= 2) port_block().lines.stop_bits.store(code);
}

void uart_set_parity(std::uint8_t code) {
  if (code <= 4) port_block().lines.parity.store(code);
}

std::uint8_t uart_get_parity() { return port_block().lines.parity.load(); }

std::uint8_t uart_line_get(std::uint32_t index) {
  const UartLineState& lines = port_block().lines;
  switch (index) {
    case kLineDsr: return lines.dsr.load();
    case kLineDtr: return lines.dtr.load();
    case kLineRts: return lines.rts.load();
    case kLineCts: return lines.cts.load();
    case kLineDcd: return lines.dcd.load();
    case kLineRi: return lines.ri.load();
    case kLineBreakIn: return lines.break_in.load();
    case kLineBreakOut: return lines.break_out.load();
    default: return 0;
  }
}

void uart_ms_tick(std::uint32_t ms) {
  for (auto& counter : port_block().elapsed) counter.fetch_add(ms);
}

void uart_reset() {
  UartLineState& lines = port_block().lines;
  uart_purge(kPurgeBoth);
  lines.data_bits.store(8);
  lines.stop_bits.store(0);
  lines.parity.store(0);
  lines.baud.store(14400);
  lines.break_in.store(0);
  lines.break_out.store(0);
  lines.ri.store(0);
  uart_dtr_off();
  uart_rts_off();
  uart_dsr_off();
  uart_cts_off();
  uart_dcd_off();
  uart_reset_counters();
}

}  // namespace vxctl
