// The modes of the DTE interface (command, online data, voice, V.80
// synchronous access), their settings, and the port's lines and format as
// the command interpreter and the link protocols ask for them.
#include "layer2/corecode/dte/dte_interface.h"
#include "layer2/corecode/dte/dte_internal.h"
#include "layer2/corecode/mt/pending/pending_calls.h"
#include "layer2/corecode/mt/task/task_timer.h"
#include "layer2/corecode/mt/port/uart.h"
#include "layer2/corecode/mt/services/command_interpreter.h"

namespace vxctl {
namespace {

constexpr std::uint32_t kTaskPollMs = 10;

void SetParams(std::uint8_t from_kind, std::uint8_t from_xon, std::uint8_t from_xoff,
               std::uint8_t to_kind, std::uint8_t to_xon, std::uint8_t to_xoff,
               std::uint8_t pass_through, std::uint8_t escape_char, std::uint16_t guard_time) {
  DteInterfaceState& dte = dte_state();
  DteFlowState& flow = dte.flow;
  flow.from_kind.store(from_kind);
  flow.from_xon.store(from_xon);
  flow.from_xoff.store(from_xoff);
  flow.to_kind.store(to_kind);
  flow.to_xon.store(to_xon);
  flow.to_xoff.store(to_xoff);
  flow.pass_through.store(pass_through);
  dte.escape.character.store(escape_char);
  dte.escape.guard_time.store(guard_time);
  dte_escape_arm(dte.escape);
}

void ClearFlowAndBreak(DteInterfaceState& dte) {
  DteFlowState& flow = dte.flow;
  flow.dte_stopped.store(0);
  flow.xoff_pending.store(0);
  flow.xon_pending.store(0);
  flow.output_held.store(0);
  flow.output_started.store(0);
  flow.cmd_output_held.store(0);
  DteBreakState& brk = dte.brk;
  brk.state.store(kBreakNone);
  brk.active.store(0);
  brk.duration.store(0);
  brk.measuring.store(0);
  brk.length.store(0);
}

// With RTS flow from the application and RTS low, output starts held.
void HoldWhenRtsLow(DteInterfaceState& dte, void (*hold)()) {
  if ((dte.flow.from_kind.load() & kFlowKindLines) != 0 && uart_line_get(kLineRts) == 0) hold();
}

// dte_clamp_reset: both online rings emptied and an active break ended.
void ClampReset(DteInterfaceState& dte) {
  dte.to.Clear();
  dte.from.Clear();
  if (dte.brk.active.load() != 0) dte_break_end();
}

}  // namespace

void dte_flow_defaults(std::uint8_t from_kind, std::uint8_t to_kind) {
  DteInterfaceState& dte = dte_state();
  DteFlowState& flow = dte.flow;
  flow.from_kind.store(from_kind);
  flow.to_kind.store(to_kind);
  flow.from_xon.store(kXon);
  flow.from_xoff.store(kXoff);
  flow.to_xon.store(kXon);
  flow.to_xoff.store(kXoff);
  ClearFlowAndBreak(dte);
  dte_set_flow_thresholds(kOffMark, kOnMark);
  dte.to.Clear();
  dte.from.Clear();
}

void dte_online_start(std::uint8_t, std::uint8_t, std::uint8_t, std::uint8_t from_kind,
                      std::uint8_t from_xon, std::uint8_t from_xoff, std::uint8_t to_kind,
                      std::uint8_t to_xon, std::uint8_t to_xoff, std::uint8_t pass_through,
                      std::uint8_t escape_char, std::uint16_t guard_time, std::uint8_t) {
  DteInterfaceState& dte = dte_state();
  dte_flow_defaults(from_kind, to_kind);
  SetParams(from_kind, from_xon, from_xoff, to_kind, to_xon, to_xoff, pass_through, escape_char,
            guard_time);
  acu_esc_capture_state().store(0);
  dte.escape.capture.Clear();
  dte.state.store(kDteOnline);
  dte.parity.store(uart_get_parity());
  dte.data_bits.store(uart_get_data_bits());
  dte.mask.store(dte.data_bits.load() == 7 ? 0x7F : 0xFF);
  HoldWhenRtsLow(dte, dte_output_hold);
  task_poll_period_set(kTaskPollMs);
}

void dte_set_online_params(std::uint8_t, std::uint8_t, std::uint8_t, std::uint8_t from_kind,
                           std::uint8_t from_xon, std::uint8_t from_xoff, std::uint8_t to_kind,
                           std::uint8_t to_xon, std::uint8_t to_xoff, std::uint8_t pass_through,
                           std::uint8_t escape_char, std::uint16_t guard_time, std::uint8_t) {
  SetParams(from_kind, from_xon, from_xoff, to_kind, to_xon, to_xoff, pass_through, escape_char,
            guard_time);
}

void dte_set_flow_thresholds(std::uint16_t off, std::uint16_t on) {
  DteFlowState& flow = dte_state().flow;
  flow.off_mark.store(off);
  flow.on_mark.store(on);
}

void dte_get_itf_params(std::uint16_t* size, std::uint16_t* off, std::uint16_t* on,
                        std::uint16_t* off_min, std::uint16_t* off_max, std::uint16_t* on_min,
                        std::uint16_t* on_max, std::uint16_t* count) {
  DteInterfaceState& dte = dte_state();
  *size = OnlineRing::kSize;
  *off = dte.flow.off_mark.load();
  *on = dte.flow.on_mark.load();
  *off_min = 614;
  *off_max = 819;
  *on_min = 204;
  *on_max = 409;
  *count = static_cast<std::uint16_t>(dte.from.Count());
}

void dte_get_ring_sizes(std::uint16_t* size, std::uint16_t* off, std::uint16_t* on) {
  *size = OnlineRing::kSize;
  *off = kOffMark;
  *on = kOnMark;
}

void dte_enter_command_mode() {
  DteInterfaceState& dte = dte_state();
  if (dte.state.load() == kDteV80) dte.return_to_v80.store(1);
  dte.state.store(kDteCommand);
  dte.command_mode.store(1);
  dte_clamp_begin();
}

void dte_enter_online_mode() {
  DteInterfaceState& dte = dte_state();
  dte.state.store(dte.return_to_v80.exchange(0) != 0 ? kDteV80 : kDteOnline);
  dte.command_mode.store(0);
  dte_clamp_finish();
}

void dte_command_start() {
  acu_online_flag().store(0);
  dte_reset_command_mode();
  dte_clamp_begin();
}

void dte_command_end() {
  acu_online_flag().store(1);
  dte_clamp_finish();
}

void dte_clamp_begin() {
  DteInterfaceState& dte = dte_state();
  dte.command_flag.store(1);
  ClampReset(dte);
}

void dte_clamp_finish() {
  DteInterfaceState& dte = dte_state();
  dte.command_flag.store(0);
  dte_flow_on_check();
  if (dte.brk.state.load() == kBreakNone && dte.to.Count() == 0) return;
  if (dte.flow.output_held.load() == 0) dte_output_resume();
}

void dte_voice_start(std::uint8_t from_kind, std::uint8_t to_kind, std::uint8_t, std::uint8_t,
                     std::uint8_t) {
  DteInterfaceState& dte = dte_state();
  dte.voice.store(1);
  dte.command_flag.store(0);
  dte.mask.store(0xFF);
  dte_flow_defaults(from_kind, to_kind);
}

void dte_voice_stop() {
  DteInterfaceState& dte = dte_state();
  dte.state.store(kDteCommand);
  dte.command_flag.store(1);
  dte.voice.store(0);
}

void dte_v80_start(std::uint8_t from_kind, std::uint8_t to_kind) {
  DteInterfaceState& dte = dte_state();
  dte_flow_defaults(from_kind, to_kind);
  dte.state.store(kDteV80);
  DteEscapeState& escape = dte.escape;
  escape.guard_time.store(50);
  escape.character.store('+');
  dte.flow.pass_through.store(0);
  dte_escape_arm(escape);
  DteV80State& v80 = dte.v80;
  v80.framed.store(0);
  v80.em_seen.store(0);
  v80.overrun.store(0);
  v80.underrun.store(0);
  v80.report_b5.store(0);
  v80.report_b9.store(0);
  v80.report_b4.store(0);
  v80.discarded.store(0);
  v80.last_pushed.store(0);
  v80.frame_ends.store(0);
  dte.command_flag.store(0);
}

void dte_cts_on() { uart_cts_on(); }
void dte_cts_off() { uart_cts_off(); }
void dte_dsr_on() { uart_dsr_on(); }
void dte_dsr_off() { uart_dsr_off(); }

std::uint8_t dte_get_char_format(std::uint8_t* a, std::uint8_t* b) {
  *a = 1;
  *b = 0;
  return uart_get_parity();
}

std::uint32_t dte_get_baud_rate() { return uart_get_baud(); }
bool dte_query_stub(std::uint32_t, std::uint32_t, std::uint32_t) { return false; }
void dte_null_hook(std::uint32_t) {}

}  // namespace vxctl
