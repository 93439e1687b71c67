// The modem task's step and its small entries.
#include "layer2/corecode/mt/modem/modem_task.h"

#include "layer2/corecode/mt/dsp/line_profile_store.h"
#include "layer2/corecode/mt/modem/call_progress_mode.h"
#include "layer2/corecode/mt/modem/retrain.h"
#include "layer2/corecode/mt/dsp/overlay_drain.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"
#include "layer2/corecode/mt/modem_task/retrain_state.h"
#include "layer2/corecode/mt/modem_task/v8bis_state.h"
#include "layer2/corecode/mt/modem/modem_on_hold.h"
#include "layer2/corecode/mt/pending/pending_calls.h"
#include "layer2/corecode/mt/services/command_interpreter.h"
#include "layer2/corecode/mt/stats/stats_readout.h"

namespace vxctl {
namespace {

// "+A8E" answering V.8 settings under which the answer-side V.8 step runs.
constexpr std::uint8_t kV8AnswerOnIndication = 1;
constexpr std::uint8_t kV8AnswerControlled = 5;

bool V8bisActive() { return (MachineState<V8bisState>().flags.load() & kV8bisActive) != 0; }

void SetState(ModemTaskState& task, ModemTaskStateCode state) { task.state = state; }

// The connect ended: the call's flags and remembered rates go, the data
// pump returns to idle and what the call armed is disarmed.
void ClearDown(ModemTaskState& task) {
  RetrainState& retrain = MachineState<RetrainState>();
  retrain.ClearCallFlags();
  retrain.last_raised_from = 0;
  retrain.last_lowered_from = 0;
  SetState(task, kTaskClearingDown);
  ModemTask_DspIdle();
  ModemTask_SetCallProgress(0);
  ModemTask_ArmCallWaiting(0);
  ModemTask_MohReset();
  if ((task.call_flags.load() & kCallFlagClearProfile) != 0) ModemTask_FRDSPImageClear();
  ModemTask_SetV92StartOptions(0);
}

// Leaves a handshake state on the connect (code 2) or the line's drop (0).
void FollowHandshake(ModemTaskState& task, std::uint8_t code) {
  if (code == kCodeConnected) SetState(task, kTaskConnected);
  if (code == kCodeIdle) SetState(task, kTaskHangupRequested);
}

void FollowFaxHandshake(ModemTaskState& task, std::uint8_t code) {
  if (code == kCodeFaxCarrier) SetState(task, kTaskFaxCarrier);
  if (code == kCodeIdle) SetState(task, kTaskFaxClearingDown);
}

void ActOnState(ModemTaskState& task) {
  const std::uint8_t code = task.code;
  const bool v8_mode = task.v8_mode.load() != 0;
  const std::uint8_t v8_answer = acu_v8_answer_setting();
  switch (task.state.load()) {
    case kTaskIdle:
      if (v8_mode && v8_answer == kV8AnswerControlled) ModemTask_V8AnswerStep();
      return;
    case kTaskOriginating:
      if (code == kCodeConnected || code == kCodeIdle) {
        FollowHandshake(task, code);
      } else if (v8_mode) {
        ModemTask_V8OriginateStep();
      }
      return;
    case kTaskAnswering:
      FollowHandshake(task, code);
      if (code != kCodeConnected && v8_mode &&
          (v8_answer == kV8AnswerControlled || v8_answer == kV8AnswerOnIndication)) {
        ModemTask_V8AnswerStep();
      }
      return;
    case kTaskConnected:
      if (code == kCodeLoopback || code == kCodeRetraining || code == kCodeRenegotiating) {
        task.frame_errors = 0;
      } else {
        ModemTask_LineQualityStep();
      }
      return;
    case kTaskHangupRequested:
      ClearDown(task);
      return;
    case kTaskClearingDown:
    case kTaskFaxClearingDown:
      if (code == kCodeIdle) SetState(task, kTaskIdle);
      return;
    case kTaskRetraining:
      ModemTask_RetrainMonitor();
      return;
    case kTaskRenegotiating:
      ModemTask_RenegMonitor();
      return;
    case kTaskFaxAnswering:
    case kTaskFaxOriginating:
      FollowFaxHandshake(task, code);
      return;
    case kTaskFaxCarrier:
      if (code == kCodeIdle) SetState(task, kTaskFaxClearingDown);
      return;
    default:  // 18, 19: left on the monitor's codes or a hang-up
      return;
  }
}

}  // namespace

void ModemTask_Process() {
  ModemTaskState& task = MachineState<ModemTaskState>();
  if (V8bisActive()) ModemTask_V8bisStep();
  ModemTask_MonitorDsp();
  stats_poll_dsp();
  ModemTask_MohStep();
  while (dsp_overlay_drain()) {
  }
  if (task.state.load() != kTaskIdle && (task.call_flags.load() & kCallFlagFastStart) != 0 &&
      !V8bisActive()) {
    ModemTask_FastStartStep();
  }
  ActOnState(task);
}

void ModemTask_NullHook(std::uint8_t) {}

std::uint8_t ModemTask_IsDspLinkActive() {
  const std::uint8_t code = MachineState<ModemTaskState>().code;
  return code == kCodeHandshake || code == kCodeConnected ? 1 : 0;
}

std::uint8_t ModemTask_GetStatus5Latch() { return 0; }

void ModemTask_ClearStatus5Arm() {}

}  // namespace vxctl
