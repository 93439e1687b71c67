// The V.92 modem-on-hold sequencer.
#include "layer2/corecode/mt/modem/modem_on_hold.h"

#include "layer2/corecode/mt/dsp/dsp_commands.h"
#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem/retrain.h"
#include "layer2/corecode/mt/modem_task/call_waiting_state.h"
#include "layer2/corecode/mt/modem_task/modem_on_hold_state.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"
#include "layer2/corecode/mt/pending/pending_calls.h"
#include "layer2/corecode/mt/services/call_settings.h"
#include "layer2/corecode/mt/services/command_interpreter.h"

namespace vxctl {
namespace {

constexpr std::uint8_t kCmdHoldResponse = 0xA0;  // {response code, 0}
constexpr std::uint8_t kCmdHoldRequest = 0xA1;   // {kind, 0}
constexpr std::uint8_t kClearDownKind = 8;

// The hold message kinds (low nibble of a request or response).
constexpr std::uint8_t kKindRefused = 9;
constexpr std::uint8_t kKindGranted = 10;
constexpr std::uint8_t kKindResumeNow = 11;
constexpr std::uint8_t kKindAsk = 12;
constexpr std::uint8_t kKindClear = 13;
constexpr std::uint8_t kKindDenied = 14;

// The responses the sequencer sends.
constexpr std::uint8_t kRespondRefused = 0xDD;
constexpr std::uint8_t kRespondAskWithoutTime = 0xEE;
constexpr std::uint8_t kRespondDenied = 0xBB;
constexpr std::uint8_t kOwnRequest = 0xCC;
constexpr std::uint16_t kPeerWaitSeconds = 15;
constexpr std::uint16_t kFlashWaitSeconds = 2;

// The latest DSP event types that end the wait for the line after a hold.
constexpr std::uint8_t kEventLineBack = 34;
constexpr std::uint8_t kEventDialTone = 6;

enum MohState : std::uint8_t {
  kMohRequestPending = 2,
  kMohSendResponse = 3,
  kMohAwaitGrantAnswer = 4,
  kMohEnterHold = 5,
  kMohClear = 6,
  kMohAwaitClearAnswer = 7,
  kMohOnHold = 8,
  kMohPeerHolds = 9,
  kMohAwaitResume = 10,
  kMohResume = 11,
  kMohSendClearDown = 17,
  kMohAwaitLine = 18,
};

bool Has(const ModemOnHoldState& hold, std::uint16_t bits) {
  return (hold.v92_status.load() & bits) != 0;
}
void Set(ModemOnHoldState& hold, std::uint16_t bits) { hold.v92_status.fetch_or(bits); }
void Clear(ModemOnHoldState& hold, std::uint16_t bits) {
  hold.v92_status.fetch_and(static_cast<std::uint16_t>(~bits));
}

// The data pump back to the data call's line in `direction` (1 answer,
// 2 originate).
void LineBack(std::uint8_t direction) {
  dsp_send_packet(DspCommand::Ack(kCmdReset, {1, 0}));
  dsp_send_packet(DspCommand::Ack(kCmdCallProgressMode, {direction, 1}));
}

void StartAgain(bool originate) {
  acu_call_settings().originate = originate ? 1 : 0;
  if (originate) {
    acu_originate_start();
  } else {
    acu_answer_start();
  }
}

void ActOnRequest(ModemOnHoldState& hold) {
  const std::uint8_t request = hold.request_value.load();
  const std::uint8_t code = MohReverse(static_cast<std::uint8_t>(request >> 4));
  switch (request & 0x0F) {
    case kKindRefused:
      hold.response_code = kRespondRefused;
      hold.state = kMohSendResponse;
      break;
    case kKindGranted:
      hold.hold_time = kMohSecondsTable[code];
      acu_report_pmhr(code);
      LineBack(2);
      hold.state = kMohPeerHolds;
      Clear(hold, kMohResumeEvent6);
      Set(hold, kMohInProgress);
      break;
    case kKindResumeNow:
      hold.hold_time = 0;
      hold.state = kMohEnterHold;
      break;
    case kKindAsk: {
      const std::uint8_t setting = acu_pmh_setting();
      hold.response_code =
          setting == 0 ? kRespondAskWithoutTime
                       : static_cast<std::uint8_t>(MohReverse(setting) << 4 | kKindGranted);
      hold.state = kMohSendResponse;
      break;
    }
    case kKindClear:
      hold.state = kMohClear;
      break;
    case kKindDenied:
      hold.response_code = kRespondDenied;
      hold.state = kMohSendResponse;
      acu_report_pmhr(0);
      break;
    default:
      hold.state = kMohIdle;
      break;
  }
  hold.request_value = 0;
  Clear(hold, kMohRequestArrived | kMohAwaitingPeer);
}

void SendResponse(ModemOnHoldState& hold) {
  MachineState<CallWaitingState>().flags.fetch_and(
      static_cast<std::uint8_t>(~kCallWaitingToneMonitor));
  const std::uint8_t response = hold.response_code;
  dsp_send_packet(DspCommand::Ack(kCmdHoldResponse, {response, 0}));
  hold.hold_timer = kPeerWaitSeconds;
  Set(hold, kMohAwaitingPeer);
  switch (response & 0x0F) {
    case kKindGranted:
      hold.hold_time = kMohSecondsTable[MohReverse(static_cast<std::uint8_t>(response >> 4))];
      hold.state = kMohAwaitGrantAnswer;
      break;
    case kKindResumeNow:
      hold.state = kMohAwaitResume;
      break;
    case kKindClear:
      hold.state = kMohAwaitClearAnswer;
      break;
    default:
      hold.state = kMohIdle;
      break;
  }
  hold.response_code = 0;
}

}  // namespace

void ModemTask_MohReset() {
  ModemOnHoldState& hold = MachineState<ModemOnHoldState>();
  hold.state = kMohIdle;
  hold.v92_status = 0;
  hold.request_value = 0;
  hold.response_code = 0;
  hold.hold_timer = 0;
}

void ModemTask_MohRequest() {
  ModemOnHoldState& hold = MachineState<ModemOnHoldState>();
  if (hold.state != kMohIdle) {
    acu_report_pmhr(acu_moh_grant().load());
    return;
  }
  hold.response_code = kOwnRequest;
  Set(hold, kMohOwnRequest);
}

void ModemTask_MohStep() {
  ModemOnHoldState& hold = MachineState<ModemOnHoldState>();
  ModemTaskState& task = MachineState<ModemTaskState>();
  if (Has(hold, kMohAwaitingPeer) && hold.hold_timer.load() == 0) {
    Clear(hold, kMohAwaitingPeer);
    hold.state = kMohSendClearDown;
    if (Has(hold, kMohOwnRequest)) acu_report_pmhr(0);
  }
  switch (hold.state) {
    case kMohIdle:
      if (Has(hold, kMohRequestArrived)) {
        hold.state = kMohRequestPending;
      } else if (hold.response_code != 0 &&
                 MachineState<CallWaitingState>().state.load() == kCallWaitingArmed) {
        hold.state = kMohSendResponse;
      }
      return;
    case kMohRequestPending:
      ActOnRequest(hold);
      return;
    case kMohSendResponse:
      SendResponse(hold);
      return;
    case kMohAwaitGrantAnswer:
      if (Has(hold, kMohPeerAnswered)) {
        Clear(hold, kMohAwaitingPeer);
        hold.state = kMohEnterHold;
      }
      return;
    case kMohEnterHold:
      LineBack(1);
      task.call_flags.fetch_or(kCallFlagFastPath);
      Set(hold, kMohInProgress);
      StartAgain(false);
      hold.hold_timer = hold.hold_time;
      hold.state = kMohOnHold;
      return;
    case kMohClear:
      ModemTask_Hangup(0);
      ModemTask_MohReset();
      return;
    case kMohAwaitClearAnswer:
      if (Has(hold, kMohPeerAnswered)) hold.state = kMohClear;
      return;
    case kMohOnHold:
      if (hold.hold_timer.load() == 0 && hold.hold_time != 0) hold.state = kMohClear;
      if (Has(hold, kMohResumeEvent8)) ModemTask_MohReset();
      return;
    case kMohPeerHolds:
      if (Has(hold, kMohResumeEvent6)) {
        Clear(hold, kMohInProgress);
        hold.state = kMohResume;
      }
      return;
    case kMohAwaitResume:
      if (Has(hold, kMohResumeEvent3)) hold.state = kMohResume;
      return;
    case kMohResume:
      LineBack(2);
      task.call_flags.fetch_or(kCallFlagFastPath);
      StartAgain(true);
      hold.state = kMohAwaitLine;
      hold.hold_timer = kFlashWaitSeconds;
      return;
    case kMohSendClearDown:
      dsp_send_packet(DspCommand::Ack(kCmdHoldRequest, {kClearDownKind, 0}));
      ModemTask_MohReset();
      return;
    case kMohAwaitLine: {
      const std::uint8_t event = task.latest_event_type;
      if (event == kEventLineBack || event == kEventDialTone) {
        ModemTask_MohReset();
      } else if (hold.hold_timer.load() == 0) {
        acu_hook_flash();
        LineBack(2);
        StartAgain(true);
        ModemTask_MohReset();
      }
      return;
    }
    default:
      return;
  }
}

}  // namespace vxctl
