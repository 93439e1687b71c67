// The retrain and renegotiation requests, the hang-up, and the monitors
// of task states 8 and 17 that follow them until the data pump reports the
// connection again, gives up, or the timer runs out.
#include "layer2/corecode/mt/modem/retrain.h"

#include "layer2/corecode/mt/dsp/dsp_commands.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem/event_trace.h"
#include "layer2/corecode/mt/modem/handshake.h"
#include "layer2/corecode/mt/modem/rate_tables.h"
#include "layer2/corecode/mt/modem_task/call_waiting_state.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"
#include "layer2/corecode/mt/modem_task/retrain_state.h"
#include "layer2/corecode/mt/services/call_settings.h"
#include "layer2/corecode/mt/services/command_interpreter.h"
#include "layer2/corecode/mt/services/link_protocols.h"
#include "layer2/corecode/mt/stats/statistics_block.h"
#include "layer2/corecode/mt/task/clocks.h"

namespace vxctl {
namespace {

constexpr std::uint8_t kCmdRetrain = 0x69;
constexpr std::uint8_t kCmdRenegotiate = 0x6B;

// The disconnect cause of a retrain or renegotiation the data pump did not
// finish, and the termination causes of a clear-down that timed out before
// and after the call had a rate.
constexpr std::uint8_t kCauseNoRecovery = 9;
constexpr std::uint8_t kKeyTermination = 0x60;
constexpr std::uint8_t kKeyFirstTxRate = 0x26;
constexpr std::uint8_t kTerminationNoRate = 0x3D;
constexpr std::uint8_t kTerminationAfterRate = 0x3F;

constexpr std::uint16_t kV32bisTop = 14400;
constexpr std::uint16_t kV32bisBottom = 4800;

struct V32bisBit {
  std::uint16_t rate;
  std::uint16_t bit;
};
constexpr V32bisBit kV32bisBits[] = {
    {4800, 0x20}, {7200, 0x200}, {9600, 0x40}, {12000, 0x400}, {14400, 0x1000}};

bool ConfirmedWaitingCall() {
  return (MachineState<CallWaitingState>().flags.load() & kCallWaitingConfirmed) != 0;
}

// The nearest rate from `rate` towards `direction` (+1 up, -1 down) whose
// bit the peer's rate signal carries; 0 when the walk leaves V.32bis.
std::uint16_t V32bisRateOffered(std::uint16_t rate, int direction) {
  const std::uint16_t word = MachineState<RetrainState>().peer_rate_word.load();
  int r = rate;
  while (r >= kV32bisBottom && r <= kV32bisTop &&
         (word & ModemTask_V32bisRateBit(static_cast<std::uint16_t>(r))) == 0) {
    r += direction * kRateStep;
  }
  return r >= kV32bisBottom && r <= kV32bisTop ? static_cast<std::uint16_t>(r) : 0;
}

// Code 2 (or 6) again: the rate steps start afresh from the connection.
void BackToConnected(ModemTaskState& task, RetrainState& retrain, std::uint8_t code) {
  retrain.retrain_timer = 0;
  retrain.fall_back_timer = 0;
  retrain.fall_forward_timer = 0;
  retrain.bad_line_timer = 0;
  retrain.fall_forward_started = 0;
  retrain.fall_back_started = 0;
  task.state = kTaskConnected;
  v80_set_state(code);
}

bool Reconnected(std::uint8_t code) {
  return code == kCodeConnected || code == kCodeReportedLoopback;
}

}  // namespace

std::uint16_t ModemTask_V32bisRateBit(std::uint16_t rate) {
  for (const V32bisBit& row : kV32bisBits) {
    if (row.rate == rate) return row.bit;
  }
  return 0;
}

void ModemTask_Hangup(std::uint8_t graceful) {
  ModemTaskState& task = MachineState<ModemTaskState>();
  RetrainState& retrain = MachineState<RetrainState>();
  acu_moh_grant() = 0;
  const std::uint8_t m = task.modulation;
  if (m == kModulationV90) ModemTask_SaveV92LineValues();
  if (task.code.load() == kCodeIdle || graceful == 0 || retrain.hangup_in_progress != 0 ||
      task.connected == 0) {
    task.state = kTaskHangupRequested;
  } else if (m == kModulationV32bis || m == kModulationV34 || m == kModulationV90) {
    // An empty renegotiation: no rate allowed, so the data pump clears down.
    retrain.hangup_in_progress = 1;
    retrain.reneg_target = task.rx_rate;
    ModemTask_SendOptions(0, 0, 0);
    ModemTask_Renegotiate(task.rx_rate, 0);
    // V.32bis refuses a renegotiation to its own rate: without one running
    // the call clears down at once rather than staying up.
    if (task.state.load() != kTaskRenegotiating) task.state = kTaskHangupRequested;
  } else if (m == kModulationV32) {
    retrain.hangup_in_progress = 1;
    ModemTask_SendOptions(0, 0, 0);
    ModemTask_Retrain();
  } else {
    task.state = kTaskHangupRequested;
  }
  ModemTask_TraceAdd(&modem_event_trace(), time_ms_now(), "Hangup");
}

void ModemTask_Retrain() {
  ModemTaskState& task = MachineState<ModemTaskState>();
  const std::uint8_t code = task.code.load();
  const bool in_call =
      code == kCodeConnected || code == kCodeRenegotiating || code == kCodeRetraining;
  if (!(in_call || ConfirmedWaitingCall()) || task.modulation <= kModulationV22) return;
  task.state = kTaskRetraining;
  dsp_send_packet(DspCommand::Ack(kCmdRetrain));
  MachineState<RetrainState>().retrain_timer =
      task.modulation == kModulationV90 ? kRetrainTicksPcm : kRetrainTicks;
  v80_set_state(kCodeRetraining);
}

void ModemTask_Renegotiate(std::uint16_t rate, std::uint8_t asymmetric) {
  ModemTaskState& task = MachineState<ModemTaskState>();
  const std::uint8_t m = task.modulation;
  if (task.code.load() != kCodeConnected || m < kModulationV32bis) return;
  if (m == kModulationV32bis) {
    if (rate == task.tx_rate || ModemTask_V32bisRateBit(rate) == 0) return;
    rate = V32bisRateOffered(rate, rate > task.tx_rate ? +1 : -1);
    if (rate == 0) return;
  }
  task.state = kTaskRenegotiating;
  const std::uint8_t second = m == kModulationV34 && task.asymmetric_reneg != 0 ? asymmetric : 0;
  dsp_send_packet(DspCommand::Ack(
      kCmdRenegotiate, {static_cast<std::uint8_t>(ModemTask_RateCode(rate) & 0x3F), second}));
  MachineState<RetrainState>().retrain_timer =
      m == kModulationV90 ? kRenegTicksPcm : kRenegTicks;
}

void ModemTask_RetrainMonitor() {
  ModemTaskState& task = MachineState<ModemTaskState>();
  RetrainState& retrain = MachineState<RetrainState>();
  const std::uint8_t code = task.code.load();
  if (Expired(retrain.retrain_timer)) {
    if (retrain.hangup_in_progress != 0) {
      acu_disconnect_cause() = kCauseNoRecovery;
      const bool had_rate = stats_block().Value(kKeyFirstTxRate).load() != 0;
      stats_block().Value(kKeyTermination) = had_rate ? kTerminationAfterRate : kTerminationNoRate;
    }
    ModemTask_Hangup(0);
    return;
  }
  if (Reconnected(code)) {
    BackToConnected(task, retrain, code);
    return;
  }
  if (code == kCodeIdle) {
    ModemTask_Hangup(0);
    return;
  }
  const bool fast_path = (task.call_flags.load() & kCallFlagFastPath) != 0;
  if (code != kCodeRetraining && code != kCodeRenegotiating &&
      !(code == kCodeHandshake && fast_path)) {
    ModemTask_Hangup(retrain.hangup_in_progress != 0 ? 0 : 1);
  }
}

void ModemTask_RenegMonitor() {
  ModemTaskState& task = MachineState<ModemTaskState>();
  RetrainState& retrain = MachineState<RetrainState>();
  const std::uint8_t code = task.code.load();
  if (Expired(retrain.retrain_timer)) {
    if (retrain.hangup_in_progress != 0 || acu_call_settings().auto_retrain == 0) {
      acu_disconnect_cause() = kCauseNoRecovery;
      ModemTask_Hangup(0);
    } else {
      ModemTask_Retrain();
    }
    return;
  }
  if (Reconnected(code)) {
    BackToConnected(task, retrain, code);
    return;
  }
  if (code == kCodeIdle) {
    ModemTask_Hangup(0);
    return;
  }
  if (code != kCodeRenegotiating) ModemTask_Hangup(retrain.hangup_in_progress != 0 ? 0 : 1);
}

}  // namespace vxctl
