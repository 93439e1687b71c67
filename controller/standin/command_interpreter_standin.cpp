#include "controller/standin/command_interpreter_standin.h"

#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/services/command_interpreter.h"

namespace vxctl {
namespace {

CommandInterpreterStandin& Standin() { return MachineState<CommandInterpreterStandin>(); }

}  // namespace

std::uint8_t acu_caller_id_enabled() { return Standin().caller_id_enabled.load(); }

std::uint8_t acu_pqc_setting() { return Standin().pqc_setting.load(); }

std::uint8_t acu_pss_setting() { return Standin().pss_setting.load(); }

std::atomic<std::uint8_t>& acu_moh_grant() { return Standin().moh_grant; }

void acu_escape_detected() { Standin().escapes_detected.fetch_add(1); }

std::uint8_t acu_dte_break(std::uint8_t length, std::uint16_t pending) {
  CommandInterpreterStandin& standin = Standin();
  standin.break_length.store(length);
  standin.break_pending.store(pending);
  standin.breaks.fetch_add(1);
  return standin.break_answer.load();
}

std::atomic<std::uint8_t>& acu_fclass() { return Standin().fclass; }
std::atomic<std::uint8_t>& acu_v8_idle_zeros() { return Standin().v8_idle_zeros; }
std::uint8_t acu_v8_option() { return Standin().v8_option; }

std::uint8_t acu_tx_flow_setting() { return Standin().tx_flow; }
std::uint8_t acu_rx_flow_setting() { return Standin().rx_flow; }
std::uint8_t acu_connected_link() { return Standin().connected_link; }
std::atomic<std::uint16_t>& acu_country_calling_code() { return Standin().country_calling_code; }

std::atomic<std::uint8_t>& acu_caller_id_substate() { return Standin().caller_id_substate; }

void acu_caller_id_poll() {
  CommandInterpreterStandin& standin = Standin();
  standin.caller_id_polls.fetch_add(1);
  constexpr std::uint8_t kEnd = 5;
  std::uint8_t end = kEnd;
  standin.caller_id_substate.compare_exchange_strong(end, 0);
}
AcuCallerIdBuffer& acu_caller_id_buffer() { return Standin().caller_id_buffer; }

std::uint8_t acu_caller_id_format() { return Standin().caller_id_format; }

// Kept for tests to read; the command interpreter will format and print it.
void acu_report_caller_id(std::uint8_t format) {
  CommandInterpreterStandin& standin = Standin();
  const AcuCallerIdBuffer& buffer = standin.caller_id_buffer;
  standin.caller_id_reports.push_back(
      {format, {buffer.bytes.begin(), buffer.bytes.begin() + buffer.count}});
}

std::atomic<std::uint8_t>& acu_response_pending() { return Standin().response_pending; }

std::atomic<std::uint8_t>& acu_esc_capture_state() { return Standin().esc_capture_state; }
std::uint8_t acu_break_length_option() { return Standin().break_length_option.load(); }
std::atomic<std::uint8_t>& acu_online_flag() { return Standin().online_flag; }

std::uint8_t acu_tone_level(std::uint8_t kind, std::uint8_t selector) {
  CommandInterpreterStandin& standin = Standin();
  if (kind >= standin.tone_levels.size() || selector > 1) return 0;
  return standin.tone_levels[kind][selector];
}

std::uint8_t acu_sync_access_selected() { return Standin().sync_access.load(); }
std::atomic<std::uint8_t>& acu_disconnect_cause() { return Standin().disconnect_cause; }
std::uint8_t acu_v8_answer_setting() { return Standin().v8_answer_setting.load(); }

// The line services will classify rings and start caller-ID detection
// from the packet; until then it is only read.
void RING_dsp_event() {
  CommandInterpreterStandin& standin = Standin();
  standin.ring_packet = MachineState<DspTransportState>().rx;
  standin.ring_events.fetch_add(1);
}

}  // namespace vxctl
