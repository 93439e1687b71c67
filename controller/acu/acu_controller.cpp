// The controller's per-machine state and the state bytes the core reads.
#include "controller/acu/acu_controller.h"

#include "controller/acu/acu_settings.h"
#include "layer2/corecode/mt/machine_state.h"

namespace vxctl {

AcuControllerState& acu_controller() { return MachineState<AcuControllerState>(); }

std::atomic<std::uint8_t>& acu_running() { return acu_controller().running; }
std::atomic<std::uint8_t>& acu_state() { return acu_controller().state; }
std::atomic<std::uint8_t>& acu_deferred_reset() { return acu_controller().deferred_reset; }

std::uint8_t acu_v92_enabled() { return acu_settings().v92_enabled; }

}  // namespace vxctl
