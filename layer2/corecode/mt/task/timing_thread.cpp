#include "layer2/corecode/mt/task/timing_thread.h"

#include "layer2/corecode/dte/dte_interface.h"
#include "layer2/corecode/mt/kernel/line_services_start.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/task/clocks.h"
#include "layer2/corecode/mt/task/system_thread.h"
#include "layer2/corecode/mt/task/task_thread.h"
#include "layer2/corecode/mt/task/task_timer.h"
#include "platform/ex/ob.h"
#include "platform/io/iodefs.h"

namespace vxctl {
namespace {

constexpr LONGLONG kStopWait = -50'000'000;  // 5 s, relative, in 100 ns units

void qor_bg(PVOID) {
  TimingThreadState& timing = timing_thread_state();
  TaskTimerState& timer = task_timer_state();
  KeSetPriorityThread(KeGetCurrentThread(), kControllerPriority);
  std::uint32_t previous = time_ms_now();
  for (;;) {
    KeWaitForSingleObject(&timer.timing_event, Executive, KernelMode, FALSE, nullptr);
    KeResetEvent(&timer.timing_event);
    const std::uint32_t now = time_ms_now();
    if (timing.running.load() == 0) PsTerminateSystemThread(STATUS_SUCCESS);
    if (timer.started.load() != 0) bg_tick(bg_elapsed(previous, now));
    previous = now;
  }
}

}  // namespace

TimingThreadState& timing_thread_state() { return MachineState<TimingThreadState>(); }

std::uint32_t bg_elapsed(std::uint32_t previous, std::uint32_t now) {
  return now > previous ? (now - previous) % kElapsedLimitMs : 0;
}

void bg_tick(std::uint32_t elapsed_ms) {
  TimingThreadState& timing = timing_thread_state();
  TaskTimerState& t = task_timer_state();
  timing.tick_guard.store(0);
  MK_clock_advance(&MachineState<LineServicesState>().kernel, elapsed_ms);
  if (t.started.load() != 0) {
    t.events.fetch_add(1);
    std::uint32_t countdown = t.countdown.load();
    if (countdown != 0) {
      t.countdown.store(--countdown);
      if (countdown == 0) KeSetEvent(&task_thread_state().tick, IO_NO_INCREMENT, FALSE);
    }
    t.total_ms.fetch_add(elapsed_ms);
    std::uint32_t residue = t.residue_ms.load() + elapsed_ms;
    while (residue >= kTimerPeriodMs) {
      ctl_tick_10ms();
      residue -= kTimerPeriodMs;
    }
    t.residue_ms.store(residue);
  }
  timing.tick_guard.store(1);
}

NTSTATUS qor_bg_start() {
  TimingThreadState& timing = timing_thread_state();
  timing.running.store(1);
  const StartedThread started = start_system_thread(qor_bg, nullptr);
  if (!NT_SUCCESS(started.status)) {
    timing.running.store(0);
    if (started.running) KeSetEvent(&task_timer_state().timing_event, IO_NO_INCREMENT, FALSE);
    return started.status;
  }
  timing.thread = started.thread;
  return STATUS_SUCCESS;
}

NTSTATUS qor_bg_stop() {
  TimingThreadState& timing = timing_thread_state();
  if (timing.thread == nullptr) return STATUS_SUCCESS;
  timing.running.store(0);
  KeSetEvent(&task_timer_state().timing_event, IO_NO_INCREMENT, FALSE);
  LARGE_INTEGER timeout;
  timeout.QuadPart = kStopWait;
  const NTSTATUS status =
      KeWaitForSingleObject(timing.thread, Executive, KernelMode, FALSE, &timeout);
  if (status == STATUS_TIMEOUT) return status;
  ObDereferenceObject(timing.thread);
  timing.thread = nullptr;
  return status;
}

}  // namespace vxctl
