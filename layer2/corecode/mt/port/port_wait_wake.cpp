// The wake of the wait-on-mask worker. In a file of its own: the port's
// own tests link a recording one instead.
#include "layer2/corecode/mt/port/port_block.h"
#include "layer2/corecode/mt/port/uart.h"

namespace vxctl {

void ntdrv_wait_wake() {
  if (KEVENT* kick = port_state().wait_wake.load()) KeSetEvent(kick, IO_NO_INCREMENT, FALSE);
}

}  // namespace vxctl
