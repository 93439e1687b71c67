// The controller's 10 ms timer: a periodic kernel timer whose deferred
// procedure call only signals the timing thread (timing_thread.h), which
// then measures the elapsed time, runs the 10 ms ticks and, once per task
// tick period, wakes the task thread (task_thread.h). One per machine
// (MachineState<TaskTimerState>()).
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/ke/dpc.h"
#include "platform/ke/ke.h"

namespace vxctl {

inline constexpr std::uint32_t kTimerPeriodMs = 10;

struct TaskTimerState {
  TaskTimerState();
  TaskTimerState(const TaskTimerState&) = delete;
  TaskTimerState& operator=(const TaskTimerState&) = delete;

  KTIMER timer;
  KDPC dpc;
  bool initialised = false;
  std::atomic<std::uint8_t> queued{0};
  std::uint32_t period_ms = kTimerPeriodMs;
  std::atomic<std::uint8_t> started{0};
  std::atomic<std::uint32_t> flag_words[2] = {0, 0};
  // Task ticks: one per `reload` timer events (0: none), counted down by
  // the timing thread and reloaded only by the task thread, so ticks never
  // queue up while a burst runs.
  std::atomic<std::uint32_t> reload{0};
  std::atomic<std::uint32_t> countdown{0};
  std::atomic<std::uint32_t> events{0};      // timer events while started
  std::atomic<std::uint32_t> task_ticks{0};  // task ticks run
  std::atomic<std::uint32_t> total_ms{0};    // elapsed milliseconds while started
  std::atomic<std::uint32_t> residue_ms{0};  // not yet given to the 10 ms ticks

  // The timing thread's wake-up, which the deferred procedure call sets.
  KEVENT timing_event;
};

TaskTimerState& task_timer_state();

// Arms the periodic timer (first expiry one period from now) unless it is
// queued; prints a message when the platform still held it. Returns 1.
std::uint32_t ModemTask_RunEvent(std::uint32_t period_ms);
// Start: period 10, one task tick per timer event. Stop: no more task
// ticks, the timer cancelled.
void task_timer_start(std::uint32_t ignored = 0);
void task_timer_stop();
// Task ticks every `ms` / 10 timer events (at least 1); 0 stops them.
void task_poll_period_set(std::uint32_t ms);

}  // namespace vxctl
