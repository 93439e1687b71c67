// The task thread's state and its bursts, apart from the thread so the
// relays (which tune the bursts when the line goes off hook) link them
// without the thread.
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/task/task_thread.h"
#include "platform/ke/ke.h"

namespace vxctl {
namespace {

// Units of 100 ns in a 5 ms slice.
constexpr ULONG kSliceUnits = 50'000;

}  // namespace

TaskThreadState::TaskThreadState() {
  for (KEVENT* event : {&tick, &open_request, &open_done, &close_request, &close_done,
                        &terminate}) {
    KeInitializeEvent(event, NotificationEvent, FALSE);
  }
}

TaskThreadState& task_thread_state() { return MachineState<TaskThreadState>(); }

std::uint8_t task_burst_set(std::uint8_t mode, std::uint32_t) {
  TaskThreadState& task = task_thread_state();
  const std::uint8_t previous = task.burst_mode;
  task.burst_mode = mode;
  task.burst_reserved = 0;
  task.burst_length = mode == kBurstOnePass
                          ? 1
                          : static_cast<std::uint16_t>((KeQueryTimeIncrement() + kSliceUnits / 2) /
                                                       kSliceUnits);
  return previous;
}

bool task_burst_step() {
  TaskThreadState& task = task_thread_state();
  if (++task.burst_passes < task.burst_length) return false;
  task.burst_passes = 0;
  return true;
}

}  // namespace vxctl
