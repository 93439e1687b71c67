// The state monitor: what the modem task does when the data pump's
// connection-state code (register 54, low 4 bits) changes.
#include <cstddef>

#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/dsp/line_profile_store.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem/event_trace.h"
#include "layer2/corecode/mt/modem/handshake.h"
#include "layer2/corecode/mt/modem/modem_task.h"
#include "layer2/corecode/mt/modem/status_reports.h"
#include "layer2/corecode/mt/modem_task/call_waiting_state.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"
#include "layer2/corecode/mt/modem_task/retrain_state.h"
#include "layer2/corecode/mt/pending/pending_calls.h"
#include "layer2/corecode/mt/services/command_interpreter.h"
#include "layer2/corecode/mt/services/link_protocols.h"
#include "layer2/corecode/mt/stats/statistics_block.h"
#include "layer2/corecode/mt/stats/stats_readout.h"
#include "layer2/corecode/mt/task/clocks.h"
#include "layer2/corecode/dte/datamode/datamode_select.h"

namespace vxctl {
namespace {

// The frame-error window: 5 s in 10 ms ticks.
constexpr std::uint16_t kFrameErrorWindow = 500;
// The disconnect cause when the data pump drops the line.
constexpr std::uint8_t kCauseLineDropped = 18;

// Statistics keys: the call's mode, the V.8 and renegotiation and retrain
// counts, the termination cause.
constexpr std::uint8_t kKeyCallMode = 0x02;
constexpr std::uint8_t kKeyRenegotiations = 0x31;
constexpr std::uint8_t kKeyRetrainsStarted = 0x32;
constexpr std::uint8_t kKeyRetrains = 0x33;
constexpr std::uint8_t kKeyTermination = 0x60;
constexpr std::uint32_t kModeFax = 1;
constexpr std::uint32_t kModeVoice = 2;
constexpr std::uint32_t kModeSyncAccess = 9;
constexpr std::uint32_t kTerminationConnecting = 1;
constexpr std::uint32_t kTerminationConnected = 2;
// The output mask's bit for connections at V.21 or V.17.
constexpr std::uint32_t kStatsLowSpeedModulation = 1u << 2;
constexpr std::uint32_t kStatsPhaseBits = 0xF0;
// Call waiting: the flag kept when it is armed again.
constexpr std::uint8_t kCallWaitingKept = kCallWaitingCidPending;

void SetPhase(ModemStatisticsBlock& stats, std::uint32_t phase) {
  std::uint32_t mask = stats.output_mask.load();
  while (!stats.output_mask.compare_exchange_weak(mask, (mask & ~kStatsPhaseBits) | phase)) {
  }
}

void Trace(const char* text) { ModemTask_TraceAdd(&modem_event_trace(), time_ms_now(), text); }

// Counts a statistics entry up or down by one.
void CountKey(std::uint8_t key, int by = 1) {
  std::atomic<std::uint32_t>& value = stats_block().Value(key);
  value.store(value.load() + static_cast<std::uint32_t>(by));
}

std::uint8_t CallWaitingFlags() { return MachineState<CallWaitingState>().flags.load(); }

bool PcmModulation(const ModemTaskState& task) { return task.modulation == kModulationV90; }

// The state the task reports for the code it has taken.
void Report(ModemTaskState& task) {
  const bool loopback = task.previous_code == kCodeConnected && task.state6_flag.load() != 0;
  task.connection_state = loopback ? std::uint8_t{kCodeReportedLoopback} : task.previous_code;
}

void OnIdle(ModemTaskState& task) {
  if (task.connected != 0) SetPhase(stats_block(), kStatsPhaseDropped);
  task.connected = 0;
  v80_set_state(kCodeIdle);
}

void OnConnected(ModemTaskState& task) {
  MachineState<RetrainState>().retrain_timer = 0;
  if (task.state.load() == kTaskIdle) return;
  ModemStatisticsBlock& stats = stats_block();
  if ((task.call_flags.load() & kCallFlagFastPath) != 0) {
    ModemTask_RestoreV8DataMode();
    datamode_resend_format();
  }
  stats.valid = 0;
  task.connected = 1;
  if (stats.Value(kKeyTermination).load() == kTerminationConnecting) {
    stats.Value(kKeyTermination) = kTerminationConnected;
    SetPhase(stats, kStatsPhaseConnected);
  }
  ModemTask_QueryModulation();
  if ((task.call_flags.load() & kCallFlagClearProfile) != 0 && task.modulation == kModulationV34) {
    ModemTask_FRDSPImageClear();
  }
  if (task.modulation > kModulationV34Symbol && task.previous_code != kCodeRenegotiating) {
    ModemTask_SetV92StartOptions(0);
    ModemTask_ArmCallWaiting((CallWaitingFlags() & kCallWaitingKept) | kCallWaitingToneMonitor);
  }
  if (task.modulation == kModulationV21 || task.modulation == kModulationV17) {
    stats.output_mask.fetch_or(kStatsLowSpeedModulation);
    stats.mask_copy.fetch_or(kStatsLowSpeedModulation);
  }
  ModemTask_QueryRates();
  if (task.rx_rate == task.previous_rx_rate) {
    ++task.same_rate_connects;
  } else {
    ++task.changed_rate_connects;
  }
  char line[kStatusTextBytes];
  ModemTask_StatusText(line);
  Trace(line);
  if (!PcmModulation(task)) {
    stats.Value(kKeyCallMode) = acu_sync_access_selected() != 0 ? kModeSyncAccess : 0;
  }
}

void OnRetraining(ModemTaskState& task) {
  Trace("Retrain");
  ++task.retrain_reports;
  CountKey(kKeyRetrains);
  stats_poll_dsp();
  if (task.state.load() != kTaskRetraining) {
    MachineState<RetrainState>().retrain_timer = PcmModulation(task) ? kRetrainTicksPcm : kRetrainTicks;
    CountKey(kKeyRetrainsStarted);
  }
  task.state = kTaskRetraining;
  task.state6_flag = 0;
  const std::uint8_t flags = CallWaitingFlags();
  if ((flags & kCallWaitingConfirmed) == 0) ModemTask_ArmCallWaiting(flags & kCallWaitingKept);
  v80_set_state(kCodeRetraining);
}

void OnDropping(ModemTaskState& task) {
  std::atomic<std::uint8_t>& cause = acu_disconnect_cause();
  if (cause.load() == 0) cause = kCauseLineDropped;
  task.state = kTaskHangupRequested;
}

void OnFaxOrVoice(std::uint32_t mode) {
  ModemStatisticsBlock& stats = stats_block();
  stats_poll_dsp();
  stats.Value(kKeyCallMode) = mode;
  stats.Value(kKeyTermination) = kTerminationConnected;
  SetPhase(stats, kStatsPhaseConnected);
}

void OnRenegotiating(ModemTaskState& task) {
  Trace("Renegotiate");
  ++task.reneg_reports;
  CountKey(kKeyRenegotiations);
  if (task.state.load() != kTaskRenegotiating) {
    MachineState<RetrainState>().retrain_timer = PcmModulation(task) ? kRenegTicksPcm : kRenegTicks;
  }
  task.state = kTaskRenegotiating;
  v80_set_state(kCodeRenegotiating);
  stats_poll_dsp();
}

// Caller ID during a call right after a renegotiation began: that was no
// renegotiation, so its counts are taken back.
void OnCallerId(ModemTaskState& task) {
  if (task.previous_code == kCodeRenegotiating) {
    --task.reneg_reports;
    CountKey(kKeyRenegotiations, -1);
  }
  task.state = kTaskCallerIdInCall;
}

}  // namespace

void ModemTask_MonitorDsp() {
  ModemTaskState& task = MachineState<ModemTaskState>();
  const auto code = static_cast<std::uint8_t>(ModemTask_ReadDspStatus() & kConnectionCodeMask);
  task.code = code;
  if (code == task.previous_code) return;
  // A retrain reported before the call connected is not one.
  if (code == kCodeRetraining && task.connected == 0) {
    stats_poll_dsp();
    return;
  }
  if (code != kCodeConnected) {
    task.frame_errors = 0;
    task.frame_error_window = kFrameErrorWindow;
  }
  switch (code) {
    case kCodeIdle: OnIdle(task); break;
    case kCodeConnected: OnConnected(task); break;
    case kCodeRetraining: OnRetraining(task); break;
    case kCodeDropping: OnDropping(task); break;
    case kCodeFaxCarrier: OnFaxOrVoice(kModeFax); break;
    case kCodeVoice: OnFaxOrVoice(kModeVoice); break;
    case kCodeRenegotiating: OnRenegotiating(task); break;
    case kCodeCallerId: OnCallerId(task); break;
    case kCodeHoldExchange: task.state = kTaskHoldExchange; break;
    default: break;
  }
  task.previous_code = code;
  Report(task);
}

void ModemTask_SetState6Flag(std::uint8_t flag) {
  ModemTaskState& task = MachineState<ModemTaskState>();
  task.state6_flag = flag;
  Report(task);
}

}  // namespace vxctl
