#include "layer2/corecode/mt/task/debug_assert.h"

#include "layer2/corecode/mt/machine_state.h"

namespace vxctl {

void dbg_assert(const char* module, unsigned line) {
  MachineState<AssertLog>().Append({module, line});
}

}  // namespace vxctl
