#include "controller/pending/acu_pending.h"

#include "controller/acu/acu_events.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/pending/pending_log.h"

namespace vxctl {
namespace {

void Record(std::string_view name, std::initializer_list<std::int64_t> args = {}) {
  MachineState<PendingLog>().Record(name, args);
}

void Count(AcuPendingStep step) {
  MachineState<AcuPendingSteps>().counts[static_cast<std::size_t>(step)].fetch_add(1);
}

// An action of the state machine: its name with the current event's
// parameter.
void RecordAction(std::string_view name) {
  Record(name, {acu_current_event().parameter});
}

}  // namespace

void acu_dial_action() { RecordAction("acu_dial_action"); }
void acu_answer_action() { RecordAction("acu_answer_action"); }
void acu_hangup_now() { RecordAction("acu_hangup_now"); }
void acu_hangup_start() { RecordAction("acu_hangup_start"); }
void acu_hangup_done() { RecordAction("acu_hangup_done"); }
void acu_idle_dte_signal() { RecordAction("acu_idle_dte_signal"); }
void acu_held_dte_signal() { RecordAction("acu_held_dte_signal"); }
void acu_call_dte_signal() { RecordAction("acu_call_dte_signal"); }
void acu_online_dte_signal() { RecordAction("acu_online_dte_signal"); }
void acu_line_unavailable() { RecordAction("acu_line_unavailable"); }
void acu_line_in_use() { RecordAction("acu_line_in_use"); }
void acu_digital_line() { RecordAction("acu_digital_line"); }
void acu_call_abort() { RecordAction("acu_call_abort"); }
void acu_carrier_lost() { RecordAction("acu_carrier_lost"); }
void acu_call_command_line() { RecordAction("acu_call_command_line"); }
void acu_wait_online_poll() { RecordAction("acu_wait_online_poll"); }
void acu_wait_dial_poll() { RecordAction("acu_wait_dial_poll"); }
void acu_deferred_reset_step() { RecordAction("acu_deferred_reset_step"); }
void acu_online_poll() { RecordAction("acu_online_poll"); }
void acu_link_status() { RecordAction("acu_link_status"); }
void acu_retrain_start() { RecordAction("acu_retrain_start"); }
void acu_online_enter() { RecordAction("acu_online_enter"); }
void acu_online_char() { RecordAction("acu_online_char"); }
void acu_escape_to_command() { RecordAction("acu_escape_to_command"); }
void acu_online_dtr_command() { RecordAction("acu_online_dtr_command"); }
void acu_retrain_watch() { RecordAction("acu_retrain_watch"); }
void acu_loopback_start() { RecordAction("acu_loopback_start"); }
void acu_test_idle_poll() { RecordAction("acu_test_idle_poll"); }
void acu_test_carrier_lost() { RecordAction("acu_test_carrier_lost"); }
void acu_test_end() { RecordAction("acu_test_end"); }
void acu_test_retrain() { RecordAction("acu_test_retrain"); }
void acu_test_idle_dte_signal() { RecordAction("acu_test_idle_dte_signal"); }
void acu_test_command_end() { RecordAction("acu_test_command_end"); }
void acu_test_remote_request() { RecordAction("acu_test_remote_request"); }
void acu_test_poll() { RecordAction("acu_test_poll"); }
void acu_test_char() { RecordAction("acu_test_char"); }
void acu_test_leave() { RecordAction("acu_test_leave"); }
void acu_test_restore() { RecordAction("acu_test_restore"); }
void acu_test_dte_signal() { RecordAction("acu_test_dte_signal"); }
void acu_test_to_command() { RecordAction("acu_test_to_command"); }
void acu_loopback_poll() { RecordAction("acu_loopback_poll"); }
void acu_loopback_end() { RecordAction("acu_loopback_end"); }
void acu_fax_hangup() { RecordAction("acu_fax_hangup"); }
void acu_fax_idle_dtr() { RecordAction("acu_fax_idle_dtr"); }
void acu_voice_report() { RecordAction("acu_voice_report"); }
void acu_voice_dial() { RecordAction("acu_voice_dial"); }
void acu_voice_answer() { RecordAction("acu_voice_answer"); }
void acu_voice_call_end() { RecordAction("acu_voice_call_end"); }
void acu_voice_idle_dtr() { RecordAction("acu_voice_idle_dtr"); }
void acu_fax_call_start() { RecordAction("acu_fax_call_start"); }
void acu_voice_online() { RecordAction("acu_voice_online"); }
void acu_voice_hangup() { RecordAction("acu_voice_hangup"); }
void acu_voice_command_enter() { RecordAction("acu_voice_command_enter"); }
void acu_voice_dial_poll() { RecordAction("acu_voice_dial_poll"); }
void acu_voice_dial_report() { RecordAction("acu_voice_dial_report"); }
void acu_voice_dial_abort() { RecordAction("acu_voice_dial_abort"); }
void acu_fax_data_end() { RecordAction("acu_fax_data_end"); }
void acu_fax_online_dtr() { RecordAction("acu_fax_online_dtr"); }
void acu_voice_online_dtr() { RecordAction("acu_voice_online_dtr"); }
void acu_dial_delay_poll() { RecordAction("acu_dial_delay_poll"); }
void acu_dial_poll() { RecordAction("acu_dial_poll"); }
void acu_answer_poll() { RecordAction("acu_answer_poll"); }
void acu_hangup_poll() { RecordAction("acu_hangup_poll"); }
void profile_startup() { Record("profile_startup"); }
void acu_v250_defaults() { Record("acu_v250_defaults"); }
void acu_v92_defaults() { Record("acu_v92_defaults"); }
void acu_online_cmd_reset() { Record("acu_online_cmd_reset"); }
void LS_stop_line_timers() { Record("LS_stop_line_timers"); }
void acu_report_v8_indication(std::uint8_t kind) { Record("acu_report_v8_indication", {kind}); }
void acu_link_poll() { Count(AcuPendingStep::LinkPoll); }
void acu_fax_poll() { Count(AcuPendingStep::FaxPoll); }
void acu_voice_poll() { Count(AcuPendingStep::VoicePoll); }
void acu_online_cmd_poll() { Count(AcuPendingStep::OnlineCmdPoll); }
void acu_online_cmd_guard_tick() { Count(AcuPendingStep::OnlineGuardTick); }

}  // namespace vxctl
