#include "layer2/corecode/mt/task/task_timer.h"

#include "layer2/corecode/mt/machine_state.h"
#include "platform/io/iodefs.h"

namespace vxctl {
namespace {

constexpr LONGLONG kUnitsPerMs = 10'000;  // 100 ns units

// At DISPATCH_LEVEL: only wakes the timing thread.
void task_timer_dpc(PKDPC, PVOID context, PVOID, PVOID) {
  KeSetEvent(&static_cast<TaskTimerState*>(context)->timing_event, IO_NO_INCREMENT, FALSE);
}

}  // namespace

TaskTimerState::TaskTimerState() { KeInitializeEvent(&timing_event, NotificationEvent, FALSE); }

TaskTimerState& task_timer_state() { return MachineState<TaskTimerState>(); }

std::uint32_t ModemTask_RunEvent(std::uint32_t period_ms) {
  TaskTimerState& t = task_timer_state();
  if (!t.initialised) {
    KeInitializeTimer(&t.timer);
    KeInitializeDpc(&t.dpc, task_timer_dpc, &t);
    t.initialised = true;
    t.queued.store(0);
  }
  if (t.queued.load() != 0) return 1;
  LARGE_INTEGER due;
  due.QuadPart = -static_cast<LONGLONG>(period_ms) * kUnitsPerMs;
  if (KeSetTimerEx(&t.timer, due, static_cast<LONG>(period_ms), &t.dpc)) {
    DbgPrint("ERROR: ModemTask_RunEvent timer already queued\n");
  }
  t.queued.store(1);
  return 1;
}

void task_poll_period_set(std::uint32_t ms) {
  std::uint32_t reload = ms / kTimerPeriodMs;
  if (ms != 0 && reload == 0) reload = 1;
  task_timer_state().reload.store(reload);
}

void task_timer_start(std::uint32_t) {
  TaskTimerState& t = task_timer_state();
  if (t.started.load() != 0) return;
  t.period_ms = kTimerPeriodMs;
  t.flag_words[0].store(1);
  t.flag_words[1].store(1);
  ModemTask_RunEvent(kTimerPeriodMs);
  task_poll_period_set(kTimerPeriodMs);
  t.countdown.store(t.reload.load());
  t.started.store(1);
}

void task_timer_stop() {
  TaskTimerState& t = task_timer_state();
  t.flag_words[1].store(0);
  if (t.started.load() == 0) return;
  t.reload.store(0);
  t.started.store(0);
  if (t.queued.exchange(0) != 0) {
    KeCancelTimer(&t.timer);
    KeRemoveQueueDpc(&t.dpc);
  }
}

}  // namespace vxctl
