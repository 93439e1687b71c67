#include "controller/standin/line_services_standin.h"

#include "controller/acu/acu_services.h"
#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/kernel/line_services_start.h"
#include "layer2/corecode/mt/lines/relays.h"
#include "layer2/corecode/mt/lines/status_lines.h"
#include "layer2/corecode/mt/machine_state.h"
#include "pump/core/comram.h"

namespace vxctl {
namespace {

LineServicesStandin& Standin() { return MachineState<LineServicesStandin>(); }

void Handled(std::string_view name, const KernelMessage* message, const void* context) {
  if (message == nullptr || context == nullptr) return;
  Standin().Record({.name = name,
                    .msg_class = message->msg_class,
                    .code = message->code,
                    .payload = message->payload,
                    .context = context});
}

void Called(std::string_view name, const LineServicesContext* context,
            const BlackListSlot* entry = nullptr) {
  Standin().Record({.name = name, .context = context, .entry = entry});
}

}  // namespace

void LineServicesStandin::Record(const LineServiceEvent& event) {
  log.push_back(event);
  if (log.size() > kKept) log.pop_front();
}

std::vector<std::string_view> LineServicesStandin::Names() const {
  std::vector<std::string_view> names;
  for (const LineServiceEvent& event : log) names.push_back(event.name);
  return names;
}

void LS_class1_handler(KernelMessage* m, void* context) {
  Handled("LS_class1_handler", m, context);
}
// The DAA sequences the stand-in runs: off hook (3), on hook (4), and the
// reset (9, then 1), which switches every relay off and goes on hook.
void DAA_handler(KernelMessage* m, void* context) {
  Handled("DAA_handler", m, context);
  if (m == nullptr || context == nullptr) return;
  switch (m->code) {
    case kDaaOffHook:
      Standin().off_hook_asked = 1;
      daa_set_hook_relay(1);
      break;
    case kDaaReset:
    case kDaaInit:
      daa_set_voice_relay(0);
      daa_set_cid_relay(0);
      daa_set_spk_hs_relay(0);
      [[fallthrough]];
    case kDaaOnHook:
      Standin().off_hook_asked = 0;
      daa_set_hook_relay(0);
      break;
    default:
      break;
  }
}
void CPT_handler(KernelMessage* m, void* context) { Handled("CPT_handler", m, context); }
void RING_handler(KernelMessage* m, void* context) { Handled("RING_handler", m, context); }
void TONE_handler(KernelMessage* m, void* context) { Handled("TONE_handler", m, context); }
void BLK_handler(KernelMessage* m, void* context) { Handled("BLK_handler", m, context); }
void CTY_handler(KernelMessage* m, void* context) { Handled("CTY_handler", m, context); }
void LS_line_poll_handler(KernelMessage* m, void* context) {
  Handled("LS_line_poll_handler", m, context);
}

void RING_update(LineServicesContext* context) { Called("RING_update", context); }
void RING_clear_measurements(LineServicesContext* context) {
  Called("RING_clear_measurements", context);
}

void BLK_refile_entry(LineServicesContext* context, BlackListSlot* entry) {
  Called("BLK_refile_entry", context, entry);
}
// No delay is configured until the black list is built.
void BLK_start_delay_timer(LineServicesContext* context) {
  Called("BLK_start_delay_timer", context);
}

// Nothing is kept until the black list is built.
void BLK_save_request() { Called("BLK_save_request", nullptr); }
void BLK_restore_request() { Called("BLK_restore_request", nullptr); }

std::atomic<std::uint8_t>& CTY_upload_state() { return Standin().upload_state; }

std::atomic<std::uint8_t>& acu_reset_request() { return Standin().reset_request; }

std::uint8_t RING_report_duration() { return Standin().ring_report_duration.load(); }

bool RING_first_ring() { return Standin().first_ring.load() != 0; }

std::uint8_t CPT_get_result() {
  std::deque<std::uint8_t>& results = Standin().cpt_results;
  if (results.empty()) return 0;
  const std::uint8_t result = results.front();
  results.pop_front();
  return result;
}

std::atomic<std::uint8_t>& DAA_step_index() { return Standin().daa_step_index; }

std::atomic<std::uint8_t>& DAA_kind() { return Standin().daa_kind; }

// The poll's first request; the stand-in's class 9 handler records it.
void LS_start_line_poll() {
  constexpr std::uint8_t kStartLinePoll = 3;
  MK_msg_send(&MachineState<LineServicesState>().kernel, false, kMsgLinePoll, kStartLinePoll);
}

void DAA_set_hook(std::uint8_t off_hook) {
  const bool off = off_hook == 1;
  if (MK_msg_send(&MachineState<LineServicesState>().kernel, true, kMsgDaa,
                  off ? kDaaOffHook : kDaaOnHook) != 0) {
    return;
  }
  ModemTask_SetStatusBit(off ? 1 : 0, kStatusOffHook);
}

// The stand-in's one sequence with line-status inputs is the off-hook
// one: the hook relay on (bit 2 of 242 at 0); bank B has no status input.
bool DAA_line_status_ok() {
  if (Standin().off_hook_asked.load() == 0) return false;
  return (dsp_reg_read(pump::kRegLineLevelA) & pump::kLineHookRelay) == 0;
}

}  // namespace vxctl
