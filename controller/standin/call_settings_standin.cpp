// The call settings the modem task reads, at their factory values until a
// test sets them (the "+MS", "+MA" and option commands are not parsed yet).
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/services/call_settings.h"

namespace vxctl {

AcuCallSettings& acu_call_settings() { return MachineState<AcuCallSettings>(); }

}  // namespace vxctl
