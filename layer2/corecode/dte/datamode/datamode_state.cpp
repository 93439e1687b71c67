#include "layer2/corecode/dte/datamode/datamode_state.h"

#include "layer2/corecode/mt/machine_state.h"

namespace vxctl {

DataModeState& datamode_state() { return MachineState<DataModeState>(); }

}  // namespace vxctl
