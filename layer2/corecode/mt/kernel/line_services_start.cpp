// The line services' start-up, restart and poll.
#include "layer2/corecode/mt/kernel/line_services_start.h"

#include "layer2/corecode/mt/machine_state.h"

namespace vxctl {
namespace {

LineServicesState& State() { return MachineState<LineServicesState>(); }

bool KeepsBlackList() { return (acu_reset_request().load() & kResetKeepsBlackList) != 0; }

void Post(MsgKernel* kernel, std::uint8_t msg_class, std::uint8_t code) {
  MK_msg_send(kernel, false, msg_class, code);  // dropped when no message is free
}

}  // namespace

void LS_context_init(LineServicesContext& context, MsgKernel* kernel, CountryRecord* record) {
  const BlackListArea black_list = context.black_list;
  context = LineServicesContext{};
  if (KeepsBlackList()) context.black_list = black_list;
  context.kernel = kernel;
  context.record = record;
}

void LS_init() {
  LineServicesState& state = State();
  MsgKernel* kernel = &state.kernel;
  LineServicesContext& context = state.context;
  MK_init(kernel);
  LS_context_init(context, kernel, &state.live_record);

  MK_register(kernel, kMsgLinePoll, LS_line_poll_handler, &context);
  MK_register(kernel, kMsgLineEvents, LS_class1_handler, &context);
  MK_register(kernel, kMsgTone, TONE_handler, &context);
  context.line_state = 0;
  MK_register(kernel, kMsgDaa, DAA_handler, &context);
  MK_register(kernel, kMsgCallProgress, CPT_handler, &context);
  MK_register(kernel, kMsgBlackList, BLK_handler, &context);
  MK_register(kernel, kMsgRingCadence, RING_handler, &context);
  MK_register(kernel, kMsgCountry, CTY_handler, &context);

  if (!KeepsBlackList()) {
    Post(kernel, kMsgBlackList, 1);  // clear the black list
  } else {
    BlackListArea& black_list = context.black_list;
    if (black_list.delay_pending != 0 && black_list.in_progress != nullptr) {
      BLK_refile_entry(&context, black_list.in_progress);
    }
    if (black_list.delay_timer_running != 0) BLK_start_delay_timer(&context);
  }

  LS_fill_dtmf_table(context.dtmf_frequency_table);
  context.line_state = 1;
  RING_clear_measurements(&context);
}

void LS_restart() {
  LineServicesContext& context = State().context;
  MsgKernel* kernel = context.kernel;
  Post(kernel, kMsgTone, 1);  // tone off
  if (context.record != nullptr && context.line_state != 3) {
    context.line_state = context.record->bytes[kCountryDaaSelector] != 0 ? 2 : 1;
  }
  Post(kernel, kMsgDaa, 9);  // select the relay sequence
  Post(kernel, kMsgDaa, 1);  // on hook
  Post(kernel, kMsgCallProgress, 1);
  Post(kernel, kMsgRingCadence, 1);
  Post(kernel, kMsgCountry, 1);  // end a table dialogue
  if (kernel == nullptr) return;
  for (std::uint8_t* id :
       {&context.connect_timer, &context.pause_timer, &context.wait_timer, &context.quiet_timer}) {
    if (*id == 0) continue;
    TimerRequest& request = context.temp_timer;
    request.kernel = kernel;
    request.id = *id;
    MK_timer_stop(&request);
    *id = 0;
  }
}

void LS_poll() {
  LineServicesContext& context = State().context;
  MK_post_elapsed(context.kernel);
  RING_update(&context);
  MK_dispatch(context.kernel);
}

}  // namespace vxctl
