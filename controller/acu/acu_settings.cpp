#include "controller/acu/acu_settings.h"

#include "layer2/corecode/mt/machine_state.h"

namespace vxctl {

AcuSettings& acu_settings() { return MachineState<AcuSettings>(); }
AcuCallState& acu_call() { return MachineState<AcuCallState>(); }

}  // namespace vxctl
