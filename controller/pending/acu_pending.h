// Actions, polls and steps of the controller that are not built yet.
// Each records its call in the machine's pending log (layer2/corecode/mt/
// pending/pending_log.h), an action with the current event's parameter,
// and does nothing else, except the steps that run
// on every pass or tick (AcuPendingSteps), which only count themselves so
// the log keeps what a test looks for. The code that builds an entry
// defines it in its own place and deletes it here.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace vxctl {

// Calls: dial, answer, DTE lines, hang-up, line checks.
void acu_dial_action();
void acu_answer_action();
void acu_hangup_now();
void acu_hangup_start();
void acu_hangup_done();
void acu_idle_dte_signal();
void acu_held_dte_signal();
void acu_call_dte_signal();
void acu_online_dte_signal();
void acu_line_unavailable();
void acu_line_in_use();
void acu_digital_line();
void acu_call_abort();
void acu_carrier_lost();
void acu_call_command_line();
void acu_wait_online_poll();
void acu_wait_dial_poll();
void acu_deferred_reset_step();

// Connections.
void acu_online_poll();
void acu_link_status();
void acu_retrain_start();
void acu_online_enter();
void acu_online_char();
void acu_escape_to_command();
void acu_online_dtr_command();
void acu_retrain_watch();

// Loopback tests.
void acu_loopback_start();
void acu_test_idle_poll();
void acu_test_carrier_lost();
void acu_test_end();
void acu_test_retrain();
void acu_test_idle_dte_signal();
void acu_test_command_end();
void acu_test_remote_request();
void acu_test_poll();
void acu_test_char();
void acu_test_leave();
void acu_test_restore();
void acu_test_dte_signal();
void acu_test_to_command();
void acu_loopback_poll();
void acu_loopback_end();

// Fax and voice.
void acu_fax_hangup();
void acu_fax_idle_dtr();
void acu_voice_report();
void acu_voice_dial();
void acu_voice_answer();
void acu_voice_call_end();
void acu_voice_idle_dtr();
void acu_fax_call_start();
void acu_voice_online();
void acu_voice_hangup();
void acu_voice_command_enter();
void acu_voice_dial_poll();
void acu_voice_dial_report();
void acu_voice_dial_abort();
void acu_fax_data_end();
void acu_fax_online_dtr();
void acu_voice_online_dtr();

// Dialling, answering and the hang-up sequence.
void acu_dial_delay_poll();
void acu_dial_poll();
void acu_answer_poll();
void acu_hangup_poll();

// Start-up and reset: the power-up profile, the V.250 and V.92 defaults, the online-command detector.
void profile_startup();
void acu_v250_defaults();
void acu_v92_defaults();
void acu_online_cmd_reset();

// The two line-services timers a line-status code stops.
void LS_stop_line_timers();
// A V.8 indication report of `kind` (0 the indication byte).
void acu_report_v8_indication(std::uint8_t kind);

// The steps of every pass and tick, counted.
enum class AcuPendingStep : std::uint8_t {
  LinkPoll,        // the error-control step of acu_run
  FaxPoll,         // the fax step, while a fax class is active
  VoicePoll,       // the voice and caller-ID step
  OnlineCmdPoll,   // the online-command detector
  OnlineGuardTick, // its guard counter, every second 10 ms tick
  Count,
};
struct AcuPendingSteps {
  std::array<std::atomic<std::uint32_t>, static_cast<std::size_t>(AcuPendingStep::Count)> counts{};
  std::uint32_t operator[](AcuPendingStep step) const {
    return counts[static_cast<std::size_t>(step)].load();
  }
};
void acu_link_poll();
void acu_fax_poll();
void acu_voice_poll();
void acu_online_cmd_poll();
void acu_online_cmd_guard_tick();

}  // namespace vxctl
