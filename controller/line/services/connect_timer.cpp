// The wait for carrier after the off-hook step, and the country change.
#include "controller/acu/acu_controller.h"
#include "controller/acu/acu_events.h"
#include "controller/acu/acu_settings.h"
#include "controller/line/country/s_register_limits.h"
#include "controller/line/services/line_posting.h"
#include "controller/line/services/line_services_ops.h"
#include "layer2/corecode/mt/kernel/line_services_start.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/registry/reg_settings.h"
#include "layer2/corecode/mt/services/fax_voice.h"

namespace vxctl {
namespace {

LineServicesContext& Context() { return MachineState<LineServicesState>().context; }

constexpr std::size_t kSCarrierWait = 7;
constexpr std::size_t kBlackListEnabledByte = 6;
constexpr std::size_t kBlackListFailureMaskByte = 1020;
constexpr std::uint8_t kFailNoCarrier = 1u << 3;
constexpr std::uint8_t kResultVoiceTimeout = 21;
constexpr std::uint8_t kReportVoiceEnd = 8;
constexpr std::size_t kSProtocolOptions = 31;
constexpr std::uint8_t kS31CallingTone = 1u << 3;

void ConnectTimeout(TimerArg result) { LS_connect_timeout(static_cast<std::uint8_t>(result)); }

}  // namespace

void LS_start_connect_timer(std::uint8_t result) {
  LineServicesContext& context = Context();
  if (context.connect_timer != 0) return;
  TimerRequest& request = context.temp_timer;
  request.kernel = context.kernel;
  request.owner = &context.connect_timer;
  request.ms = static_cast<std::uint32_t>(acu_settings().s[kSCarrierWait]) * 1000;
  request.SetCallback(ConnectTimeout, result);
  MK_timer_start(&request);
}

void LS_connect_timeout(std::uint8_t result) {
  const LineServicesContext& context = Context();
  const AcuControllerState& acu = acu_controller();
  const CountryRecord* record = context.record;
  if (acu.dial_substate == kDialCallProgress && record != nullptr &&
      record->bytes[kBlackListEnabledByte] != 0 &&
      (record->bytes[kBlackListFailureMaskByte] & kFailNoCarrier) != 0) {
    BLK_call_failed();
  }
  if (voice_call_active()) {
    acu_post_event(EvEndCall, kResultVoiceTimeout);
    acu_post_event(EvReport, kReportVoiceEnd);
  } else if (acu.dial_wait_kind != kWaitQuietAnswer) {
    acu_post_event(EvEndCall, result);
  }
}

void LS_stop_connect_timer() {
  LineServicesContext& context = Context();
  if (context.connect_timer == 0) return;
  TimerRequest& request = context.temp_timer;
  request.kernel = context.kernel;
  request.id = context.connect_timer;
  MK_timer_stop(&request);
  context.connect_timer = 0;
}

void S_country_changed() {
  LineServicesState& state = MachineState<LineServicesState>();
  AcuSettings& settings = acu_settings();
  std::uint8_t calling_tone = 0;
  S_apply_country_defaults(state.live_record, settings.s, calling_tone);
  if (calling_tone != 0) {
    settings.s[kSProtocolOptions] |= kS31CallingTone;
  } else {
    settings.s[kSProtocolOptions] &= static_cast<std::uint8_t>(~kS31CallingTone);
  }
  if (state.kernel.initialised.load() == 0) return;
  LS_restart();
  if (reg_settings().features.black_list_preserved.load() == 0) {
    MK_msg_send(&state.kernel, false, kMsgBlackList, kBlkClear);
  }
}

}  // namespace vxctl
