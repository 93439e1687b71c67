// The controller's nested critical section and the data-channel poll
// trigger. The section raises to DISPATCH_LEVEL (the level saved at depth
// 0, the depth counted), so nothing else runs on the machine inside it:
// the data paths and link protocols bracket their shared-state changes
// with it, and no wait may happen inside. The run trigger runs the
// registered data-channel poll at DISPATCH_LEVEL; a trigger that comes
// while the section is held (a doorbell rung inside it calls back) leaves
// the poll to the section's end.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/ke/irql.h"

namespace vxctl {

struct CriticalSectionState {
  KIRQL level = DISPATCH_LEVEL;
  std::uint16_t in_section = 0;
  KIRQL saved = PASSIVE_LEVEL;
  std::uint16_t depth = 0;
  std::uint32_t enable = 1;  // the section is on
  void* device = nullptr;
  void* extension = nullptr;
  std::atomic<std::uint8_t> poll_requested{0};
  std::atomic<std::uint8_t> poll_deferred{0};  // a trigger came inside the section
};

CriticalSectionState& critical_section_state();

// Once, at the port layer's start: the section cleared and switched on,
// the device and its extension recorded. Returns 1.
std::uint32_t ntdrv_critical_init(void* device, void* extension);
void ntdrv_critical_enter();
// At depth 0 the saved level comes back, then a poll deferred inside runs.
void ntdrv_critical_leave();
// Leaves the section at once (the port layer's stop).
void ntdrv_critical_reset();

// Raises to DISPATCH_LEVEL, marks the poll requested and runs the
// registered poll routine (datamode_set_poll_routine), then lowers again.
void ntdrv_run_trigger();
// The data paths queued transmit data: the same trigger.
void datamode_poll_now();

}  // namespace vxctl
