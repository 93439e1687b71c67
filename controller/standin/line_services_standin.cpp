#include "controller/standin/line_services_standin.h"

#include "layer2/corecode/mt/machine_state.h"

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

void CPT_handler(KernelMessage* m, void* context) { Handled("CPT_handler", m, context); }
void RING_handler(KernelMessage* m, void* context) { Handled("RING_handler", m, context); }
void TONE_handler(KernelMessage* m, void* context) { Handled("TONE_handler", m, context); }
void BLK_handler(KernelMessage* m, void* context) { Handled("BLK_handler", m, context); }
void CTY_handler(KernelMessage* m, void* context) { Handled("CTY_handler", m, context); }

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


std::atomic<std::uint8_t>& CTY_upload_state() { return Standin().upload_state; }

std::atomic<std::uint8_t>& acu_reset_request() { return Standin().reset_request; }


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

bool ModemTask_DirectResponseMode() { return Standin().direct_response.load() != 0; }




}  // namespace vxctl
