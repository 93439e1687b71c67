// acu_run: one background pass of the controller, with the event dispatch
// and the event sources.
#include "controller/acu/acu_run.h"

#include "controller/acu/acu_controller.h"
#include "controller/acu/acu_settings.h"
#include "controller/acu/acu_state_tables.h"
#include "controller/acu/acu_link_fax_voice.h"
#include "controller/pending/acu_pending.h"
#include "layer2/corecode/dte/dte_interface.h"
#include "layer2/corecode/mt/lines/status_lines.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem/call_progress_mode.h"
#include "layer2/corecode/mt/modem/modem_task.h"
#include "layer2/corecode/mt/modem/retrain.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"
#include "layer2/corecode/mt/registry/reg_settings.h"
#include "layer2/corecode/mt/services/fax_voice.h"
#include "layer2/corecode/mt/kernel/line_services_start.h"
#include "layer2/corecode/mt/services/line_services.h"

namespace vxctl {
namespace {

constexpr std::uint8_t kClassFax1Data = 80;  // the class 1 data phase owns the line
constexpr std::uint8_t kClassVoice = 8;

// DTE signal parameters.
constexpr std::uint8_t kDtrOn = 1;
constexpr std::uint8_t kDtrOff = 2;
constexpr std::uint8_t kRtsOn = 3;
constexpr std::uint8_t kRtsOff = 4;

// Call-progress codes the sources act on.
constexpr std::uint8_t kProgressLineInUse = 8;
constexpr std::uint8_t kProgressLineUnavailable = 9;
constexpr std::uint8_t kProgressDigitalLine = 10;

bool FaxClassActive() {
  const std::uint8_t fclass = acu_fclass().load();
  return fclass == 1 || fclass == 2 || fclass == 20;
}

void CarrierSource(AcuControllerState& acu) {
  const std::uint8_t carrier = ModemTask_CarrierPresent() ? 1 : 0;
  if (acu.carrier != 0 && carrier == 0) acu_post_event(EvCarrierLost, 0);
  acu.carrier = carrier;
}

void ConnectionSource(AcuControllerState& acu) {
  const std::uint8_t state = MachineState<ModemTaskState>().connection_state.load();
  if (state == acu.connection_state) return;
  acu.connection_state = state;
  if (state == kCodeReportedLoopback && acu.local_test == 0) {
    acu_post_event(EvLoopback, 1);
    acu.loopback_return_state = acu.state.load();
  } else if (state == kCodeRetraining || state == kCodeRenegotiating) {
    acu_post_event(EvRetrain, 0);
  }
}

// Codes 8, 9 and 10 post once while remembered; the line-check actions
// forget the code.
void LineCheckSource(AcuControllerState& acu, std::uint8_t code, std::uint8_t event) {
  if (acu.line_status_memory == code) return;
  acu.line_status_memory = code;
  acu_post_event(event, 0);
}

void CallProgressSource(AcuControllerState& acu) {
  const std::uint8_t code = ModemTask_GetCallProgress();
  const RegFeatureFlags& features = reg_settings().features;
  switch (code) {
    case kProgressLineUnavailable:
      if (features.line_unavailable_detect.load() != 0) {
        LS_stop_line_timers();
        LineCheckSource(acu, code, EvLineUnavailable);
      }
      break;
    case kProgressLineInUse:
      if (features.line_in_use_detect.load() != 0) {
        LS_stop_line_timers();
        LineCheckSource(acu, code, EvLineInUse);
      }
      break;
    case kProgressDigitalLine:
      if (features.dlp_fault_notify.load() != 0) LineCheckSource(acu, code, EvDigitalLine);
      break;
    case 2:
    case 7:
    case 13:
    case 14:
      if (acu_fclass().load() != kClassVoice) acu_post_event(EvLineStatus, code);
      break;
    default:
      break;
  }
}

}  // namespace

void acu_set_state(std::uint8_t state) { acu_controller().state.store(state); }

void acu_poll_state() {
  const AcuControllerState& acu = acu_controller();
  const std::uint8_t state = acu.state.load();
  const AcuAction poll = kAcuStateTables.polls[AcuTableIndex(acu.variants[state], state)];
  if (poll != nullptr) poll();
}

void acu_event_sources() {
  if (acu_fclass().load() == kClassFax1Data) return;
  AcuControllerState& acu = acu_controller();
  CarrierSource(acu);
  ConnectionSource(acu);
  if (acu.retrain_watch != 0) acu_retrain_watch();
  CallProgressSource(acu);
}

void acu_dispatch_events() {
  AcuControllerState& acu = acu_controller();
  if (dte_cmd_from_count() != 0) acu_post_event(EvDteChar, 0);
  // Each debounced edge is posted in turn; should more have been kept out
  // than are counted, the last post brings the level to where DTR is.
  while (acu.dtr_edges != 0 || acu.dtr_posted != acu.dtr) {
    if (acu.dtr_edges != 0) --acu.dtr_edges;
    acu.dtr_posted ^= 1;
    acu_post_event(EvDteSignal, acu.dtr_posted != 0 ? kDtrOn : kDtrOff);
  }
  acu_post_event(EvDteSignal, ModemTask_GetRts() != 0 ? kRtsOn : kRtsOff);
  acu_event_sources();
  bool any = false;
  while (acu_event* event = acu_event_get()) {
    any = true;
    acu.current = {nullptr, event->code, event->parameter};
    const std::uint8_t state = acu.state.load();
    const acu_state_row* row = kAcuStateTables.rows[AcuTableIndex(acu.variants[state], state)];
    if (row != nullptr && event->code < kAcuEventCodes) {
      const AcuCell& cell = row->cells[event->code];
      acu_set_state(cell.next);
      cell.action();
    }
    acu_event_free(event);
    LS_poll();
  }
  if (!any) LS_poll();
}

void acu_run() {
  AcuControllerState& acu = acu_controller();
  acu_tick();
  const bool local_test = acu.local_test != 0;
  if (acu_call().link_kind != kLinkDirect && !local_test) {
    if (acu_call().v80_selected == 0) {
      acu_link_poll();
    } else {
      v80_poll();
    }
  }
  if (FaxClassActive()) acu_fax_poll();
  acu_voice_poll();
  ModemTask_Process();
  acu_poll_state();
  acu_dispatch_events();
  if (acu.deferred_reset.load() != 0 && acu.state.load() == AcuIdle) acu_deferred_reset_step();
  acu_online_cmd_poll();
  ++acu.passes;
}

}  // namespace vxctl
