// The bounded wait for output to drain, shared by the command flush and
// the fax drain: an application that stops reading cannot hold the task
// thread for ever.
#include "layer2/corecode/dte/dte_internal.h"
#include "layer2/corecode/mt/services/command_interpreter.h"
#include "layer2/corecode/mt/task/debug_assert.h"
#include "platform/ke/ke.h"

namespace vxctl {

void dte_delay_1ms() {
  LARGE_INTEGER interval;
  interval.QuadPart = -10'000;  // relative, 100 ns units
  KeDelayExecutionThread(KernelMode, FALSE, &interval);
}

DteFlushResult dte_wait_drained(bool (*drained)(), void (*push)(), const char* module,
                                unsigned line, void (*give_up)()) {
  acu_wait_ticks().store(kWaitTicks);
  for (;;) {
    push();
    if (drained()) return DteFlushResult::Drained;
    if (acu_running().load() == 0) return DteFlushResult::PortClosed;
    acu_timer_service();
    if (acu_wait_ticks().load() == 0) {
      dbg_assert(module, line);
      give_up();
      return DteFlushResult::GaveUp;
    }
    dte_delay_1ms();
  }
}

}  // namespace vxctl
