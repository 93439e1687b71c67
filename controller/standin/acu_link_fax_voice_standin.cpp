#include "controller/standin/acu_link_fax_voice_standin.h"

#include "controller/acu/acu_link_fax_voice.h"
#include "layer2/corecode/mt/machine_state.h"

namespace vxctl {
namespace {

AcuLinkFaxVoiceStandin& Standin() { return MachineState<AcuLinkFaxVoiceStandin>(); }

}  // namespace

void ec_stop() { Standin().ec_stops.fetch_add(1); }
void v80_poll() { Standin().v80_polls.fetch_add(1); }
void v80_reset() { Standin().v80_resets.fetch_add(1); }
void v80_activate() { Standin().v80_activations.fetch_add(1); }
void v44_default_capabilities() { Standin().v44_defaults.fetch_add(1); }
void v44_reset_parameters() { Standin().v44_parameter_resets.fetch_add(1); }

std::uint8_t fax_poll() { return Standin().fax_poll_answer.load(); }
void fax_timer_tick() { Standin().fax_ticks.fetch_add(1); }
void fax_set_class(std::uint8_t fax_class, std::uint8_t verbose, std::uint8_t mode) {
  AcuLinkFaxVoiceStandin& standin = Standin();
  standin.fax_class = fax_class;
  standin.fax_verbose = verbose;
  standin.fax_mode = mode;
}
void fax_reset(std::uint8_t how) {
  Standin().fax_reset_how = how;
  Standin().fax_resets.fetch_add(1);
}

std::uint8_t voice_run() { return Standin().voice_run_answer.load(); }
void voice_timer_tick() { Standin().voice_ticks.fetch_add(1); }
void voice_enter(std::uint8_t) { Standin().voice_entries.fetch_add(1); }
void voice_set_command_state() { Standin().voice_command_states.fetch_add(1); }

}  // namespace vxctl
