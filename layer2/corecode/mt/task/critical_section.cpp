#include "layer2/corecode/mt/task/critical_section.h"

#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/machine_state.h"

namespace vxctl {

CriticalSectionState& critical_section_state() { return MachineState<CriticalSectionState>(); }

std::uint32_t ntdrv_critical_init(void* device, void* extension) {
  CriticalSectionState& s = critical_section_state();
  s.in_section = 0;
  s.depth = 0;
  s.enable = 1;
  s.device = device;
  s.extension = extension;
  return 1;
}

void ntdrv_critical_enter() {
  CriticalSectionState& s = critical_section_state();
  if (s.enable == 0) return;
  KIRQL old = PASSIVE_LEVEL;
  KeRaiseIrql(s.level, &old);
  if (s.depth++ == 0) {
    s.saved = old;
    s.in_section = 1;
  }
}

void ntdrv_critical_leave() {
  CriticalSectionState& s = critical_section_state();
  if (s.enable == 0 || s.depth == 0) return;
  if (--s.depth != 0) {
    return;
  }
  s.in_section = 0;
  KeLowerIrql(s.saved);
  if (s.poll_deferred.exchange(0) != 0) ntdrv_run_trigger();
}

void ntdrv_critical_reset() {
  CriticalSectionState& s = critical_section_state();
  if (s.depth == 0) return;
  s.depth = 0;
  s.in_section = 0;
  KeLowerIrql(PASSIVE_LEVEL);
  s.poll_deferred.store(0);
}

void ntdrv_run_trigger() {
  CriticalSectionState& s = critical_section_state();
  KIRQL old = PASSIVE_LEVEL;
  KeRaiseIrql(DISPATCH_LEVEL, &old);
  s.poll_requested.store(1);
  if (s.in_section != 0) {
    s.poll_deferred.store(1);
  } else if (DataPollRoutine poll = datamode_poll_routine()) {
    poll();
  }
  KeLowerIrql(old);
}

void datamode_poll_now() {
  critical_section_state().poll_requested.store(1);
  ntdrv_run_trigger();
}

}  // namespace vxctl
