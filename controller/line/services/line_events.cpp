// Class 1 (ring and line events) and class 9 (the line poll).
#include <array>

#include "controller/acu/acu_controller.h"
#include "controller/acu/acu_events.h"
#include "controller/acu/acu_settings.h"
#include "controller/line/services/line_services_ops.h"
#include "layer2/corecode/mt/kernel/line_services_start.h"
#include "layer2/corecode/mt/lines/status_lines.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/pending/pending_calls.h"
#include "layer2/corecode/mt/services/command_interpreter.h"
#include "layer2/corecode/mt/services/fax_voice.h"

namespace vxctl {
namespace {

// Report codes the ring indication posts with EvReport.
constexpr std::uint8_t kReportOk = 0;
constexpr std::uint8_t kReportRing = 2;
constexpr std::uint8_t kReportRingOn = 15;
constexpr std::uint8_t kReportRingOff = 16;
constexpr std::uint8_t kReportVoiceRing = 17;
constexpr std::uint8_t kReportVoiceRingOn = 18;
constexpr std::uint8_t kReportRingInterval = 19;

constexpr std::size_t kSAutoAnswer = 0;
constexpr std::size_t kSRingCount = 1;
constexpr std::uint16_t kRingCountdownTicks = 800;  // 8 s of 10 ms
constexpr std::size_t kCallerIdConfigByte = 11;
constexpr std::uint8_t kCallerIdAtFirstRing = 1u << 0;
constexpr std::uint8_t kCallerIdStart = 1;
constexpr std::uint8_t kCallerIdStop = 5;
constexpr std::uint8_t kS21DtrOptionShift = 3;
constexpr std::uint8_t kDtrHangsUp = 2;  // &D2

void SendRingAtOnce() {
  acu_send_line_end();
  acu_send_text("RING");
  acu_send_line_end();
}

void UpdateCallerId(const LineServicesContext& context, std::uint8_t rings, bool direct) {
  const bool at_first_ring = context.record != nullptr &&
                             (context.record->bytes[kCallerIdConfigByte] & kCallerIdAtFirstRing) != 0;
  std::atomic<std::uint8_t>& substate = acu_caller_id_substate();
  const std::uint8_t now = substate.load();
  const bool running = now != 0 && now != kCallerIdStop;
  if (rings == 0 && !direct && acu_caller_id_enabled() != 0 && at_first_ring) {
    substate.store(kCallerIdStart);
  } else if (running && (rings == 1 || (!at_first_ring && rings == 0))) {
    substate.store(kCallerIdStop);
  }
}

void Answer() {
  acu_settings().s[kSOptions] &= static_cast<std::uint8_t>(~kS14Originate);
  acu_controller().dial_resume = 0;
  acu_post_event(EvAnswer, 0);
}

void AutoAnswer(bool voice) {
  AcuSettings& settings = acu_settings();
  const std::uint8_t s0 = settings.s[kSAutoAnswer];
  const std::uint8_t s1 = settings.s[kSRingCount];
  if (s0 == 0 || s1 < s0) return;
  if (acu_caller_id_enabled() != 0 && s1 < 2) return;
  if (voice) {
    acu_post_event(EvAnswer, 0);
    acu_post_event(EvReport, kReportOk);
    return;
  }
  const std::uint8_t mode = settings.s[kSModes] & kS27SyncMask;
  const bool dtr = ModemTask_GetDtr() != 0;
  const std::uint8_t dtr_option = (settings.s[kSDteOptions] >> kS21DtrOptionShift) & 3;
  if (mode <= 1) {
    if (dtr_option == kDtrHangsUp && !dtr) return;
    Answer();
    if (mode == 1) ModemTask_SetCts(0);
  } else if (dtr) {
    Answer();
  }
}

}  // namespace

std::uint8_t RING_report_duration() {
  return MachineState<LineServicesState>().context.ring_report_duration;
}

void RING_indicate(std::span<const std::uint8_t> payload, LineServicesContext& context) {
  if (payload.size() < 3 || !voice_ring_report_allowed()) return;
  const std::uint8_t kind = payload[0];
  const std::uint8_t duration = payload[1];
  const std::uint8_t interval = payload[2];
  const bool voice = voice_call_active();
  const bool direct = ModemTask_DirectResponseMode();
  switch (kind) {
    case kRingOnEdge:
      if (voice) acu_post_event(EvReport, kReportVoiceRingOn);
      acu_post_event(EvReport, kReportRingOn);
      context.ring_report_duration = duration;
      return;
    case kRingOffEdge:
      acu_post_event(EvReport, kReportRingOff);
      context.ring_report_duration = duration;
      if (voice && interval == 0) acu_post_event(EvReport, kReportRingInterval);
      return;
    case kRingCounted:
      break;
    default:
      return;
  }
  if (!voice) {
    if (direct) {
      SendRingAtOnce();
    } else {
      acu_post_event(EvReport, kReportRing);
    }
  } else if (voice_cadence_reporting()) {
    acu_post_event(EvReport, kReportRing);
    if (interval != 0) acu_post_event(EvReport, kReportRingInterval);
  } else {
    acu_post_event(EvReport, kReportVoiceRing);
  }
  AcuSettings& settings = acu_settings();
  UpdateCallerId(context, settings.s[kSRingCount], direct);
  if (settings.s[kSRingCount] < 255) ++settings.s[kSRingCount];
  AcuControllerState& acu = acu_controller();
  acu.countdowns[kCountRingTimer] = kRingCountdownTicks;
  acu.countdowns[kCountCallerIdRing] = kRingCountdownTicks;
  acu.countdowns[kCountCallerIdPattern] = kRingCountdownTicks;
  AutoAnswer(voice);
}

void LS_class1_handler(KernelMessage* message, void* context) {
  if (message == nullptr || context == nullptr) return;
  auto& line = *static_cast<LineServicesContext*>(context);
  switch (message->code) {
    case kLineDialContinue:
      acu_controller().dial_substate = kDialNextCharacter;
      voice_clear_line_flags();
      break;
    case kLineRing:
      RING_indicate(message->payload, line);
      break;
    case kLineBlackListVerdict:
      acu_controller().dial_black_list_verdict = message->payload[0];
      break;
    default:  // 2 hook sequence done and 5 table dialogue done need nothing
      break;
  }
}

// Once started the poll runs the call-waiting step on every dispatch.
void LS_line_poll_handler(KernelMessage* message, void* context) {
  if (message == nullptr || context == nullptr) return;
  auto& line = *static_cast<LineServicesContext*>(context);
  if (message->code == kLinePollStep) {
    ModemTask_CallWaitingStep();
  } else if (message->code != kLinePollStart) {
    return;
  }
  MK_msg_send(line.kernel, false, kMsgLinePoll, kLinePollStep);
}

}  // namespace vxctl
