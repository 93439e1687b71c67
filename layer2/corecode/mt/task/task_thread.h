// The controller task thread (priority 16): on each task tick it runs the
// port's poll (the application's bytes in, a burst of controller passes,
// the controller's output out), and it runs the open and close work that
// port_open and port_close hand it, so the controller starts and stops
// only on this thread. One per machine (MachineState<TaskThreadState>()).
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/ke/ke.h"

namespace vxctl {

// Burst modes (task_burst_set): 0 one pass per tick, any other a full burst.
inline constexpr std::uint8_t kBurstOnePass = 0;
inline constexpr std::uint8_t kBurstFull = 2;

struct TaskThreadState {
  TaskThreadState();
  TaskThreadState(const TaskThreadState&) = delete;
  TaskThreadState& operator=(const TaskThreadState&) = delete;

  // Notification events, not signalled at first.
  KEVENT tick;
  KEVENT open_request;
  KEVENT open_done;
  KEVENT close_request;
  KEVENT close_done;
  KEVENT terminate;
  PKTHREAD thread = nullptr;  // referenced while it exists
  std::atomic<std::uint8_t> running{0};

  // The burst: its mode, its length in passes and the passes done.
  std::uint8_t burst_mode = kBurstOnePass;
  std::uint16_t burst_length = 1;
  std::uint16_t burst_passes = 0;
  std::uint32_t burst_reserved = 0;
  // What the tuning saw last.
  std::uint8_t last_state = 0;
  std::uint8_t last_fax1_state = 0;
};

TaskThreadState& task_thread_state();

NTSTATUS task_thread_start();
// Signals the terminate event and waits for the thread without a time-out.
void task_thread_stop();

// One task tick: the port's poll while it polls, then the countdown
// reloaded.
void task_tick();
// The application's bytes into the controller, a burst, the output out.
void port_poll();
void port_push_output();
// Controller passes until task_burst_step reports the burst complete; a
// controller that is not running is initialised first.
void task_run_burst();
// The poll period and burst mode for the service class and state.
void task_tune_by_class();
// Sets the mode; returns the previous one. Mode 0 runs one pass, any other
// as many as there are 5 ms slices in a system clock tick (rounded).
std::uint8_t task_burst_set(std::uint8_t mode, std::uint32_t ignored = 0);
// Counts a pass; true (passes back to 0) when the burst is complete.
bool task_burst_step();

// The controller's start and stop, on the task thread.
void task_open_work();
void task_close_work();
// Hands the open or close work to the task thread and waits until it is
// done. With no task thread (the port layer is stopping) the close work
// runs in the caller.
void task_request_open();
void task_request_close();

}  // namespace vxctl
