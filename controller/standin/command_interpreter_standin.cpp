#include "controller/standin/command_interpreter_standin.h"

#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/services/command_interpreter.h"

namespace vxctl {
namespace {

CommandInterpreterStandin& Standin() { return MachineState<CommandInterpreterStandin>(); }

}  // namespace

std::atomic<std::uint8_t>& acu_running() { return Standin().running; }

std::uint8_t acu_caller_id_enabled() { return Standin().caller_id_enabled.load(); }

std::atomic<std::uint8_t>& acu_moh_grant() { return Standin().moh_grant; }

// The line services will classify rings and start caller-ID detection
// from the packet; until then it is only read.
void RING_dsp_event() {
  CommandInterpreterStandin& standin = Standin();
  standin.ring_packet = MachineState<DspTransportState>().rx;
  standin.ring_events.fetch_add(1);
}

}  // namespace vxctl
