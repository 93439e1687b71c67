// The timing thread qor_bg (priority 16): woken by the 10 ms timer, it
// measures the elapsed time, advances the message kernel's clock and runs
// the controller's 10 ms ticks, and wakes the task thread once per task
// tick period (task_timer.h).
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/ke/ke.h"

namespace vxctl {

// Timer events further apart than this are counted modulo it: the most a
// late event catches up.
inline constexpr std::uint32_t kElapsedLimitMs = 40;
inline constexpr KPRIORITY kControllerPriority = 16;

struct TimingThreadState {
  std::atomic<std::uint8_t> running{0};
  // 1 while no tick runs; bg_tick holds it at 0 (the configuration stop
  // checks it).
  std::atomic<std::uint8_t> tick_guard{1};
  PKTHREAD thread = nullptr;  // referenced while it exists
};

TimingThreadState& timing_thread_state();

// What one timer event `elapsed_ms` after the previous one does: the
// message kernel's clock, the task tick countdown, the 10 ms ticks.
void bg_tick(std::uint32_t elapsed_ms);
// The milliseconds a timer event accounts for, from two time_ms_now reads.
std::uint32_t bg_elapsed(std::uint32_t previous, std::uint32_t now);

NTSTATUS qor_bg_start();
// Waits at most 5 s for the thread; the wait's status either way.
NTSTATUS qor_bg_stop();

}  // namespace vxctl
