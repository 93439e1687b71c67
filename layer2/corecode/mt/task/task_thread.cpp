#include "layer2/corecode/mt/task/task_thread.h"

#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/services/command_interpreter.h"
#include "layer2/corecode/mt/task/system_thread.h"
#include "layer2/corecode/mt/task/timing_thread.h"
#include "platform/ex/ob.h"
#include "platform/io/iodefs.h"

namespace vxctl {
namespace {

enum TaskWait : ULONG { kWaitTick = 0, kWaitOpen, kWaitClose, kWaitTerminate, kWaitCount };

void task_thread(PVOID) {
  TaskThreadState& task = task_thread_state();
  KeSetPriorityThread(KeGetCurrentThread(), kControllerPriority);
  PVOID objects[kWaitCount] = {&task.tick, &task.open_request, &task.close_request,
                               &task.terminate};
  KWAIT_BLOCK blocks[kWaitCount];
  for (;;) {
    const NTSTATUS status = KeWaitForMultipleObjects(kWaitCount, objects, WaitAny, Executive,
                                                     KernelMode, FALSE, nullptr, blocks);
    switch (status - STATUS_WAIT_0) {
      case kWaitTick:
        KeResetEvent(&task.tick);
        task_tick();
        break;
      case kWaitOpen:
        KeResetEvent(&task.open_request);
        task_open_work();
        KeSetEvent(&task.open_done, IO_NO_INCREMENT, FALSE);
        break;
      case kWaitClose:
        KeResetEvent(&task.close_request);
        task_close_work();
        KeSetEvent(&task.close_done, IO_NO_INCREMENT, FALSE);
        break;
      default:
        PsTerminateSystemThread(STATUS_SUCCESS);
    }
  }
}

// Resets `done`, signals `request` and waits for `done`.
void HandOver(KEVENT& request, KEVENT& done) {
  KeResetEvent(&done);
  KeSetEvent(&request, IO_NO_INCREMENT, FALSE);
  KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, nullptr);
}

}  // namespace

NTSTATUS task_thread_start() {
  TaskThreadState& task = task_thread_state();
  const StartedThread started = start_system_thread(task_thread, nullptr);
  if (!NT_SUCCESS(started.status)) {
    if (started.running) KeSetEvent(&task.terminate, IO_NO_INCREMENT, FALSE);
    return started.status;
  }
  task.thread = started.thread;
  task.running.store(1);
  return STATUS_SUCCESS;
}

void task_thread_stop() {
  TaskThreadState& task = task_thread_state();
  if (task.thread == nullptr) return;
  KeSetEvent(&task.terminate, IO_NO_INCREMENT, FALSE);
  KeWaitForSingleObject(task.thread, Executive, KernelMode, FALSE, nullptr);
  task.running.store(0);
  ObDereferenceObject(task.thread);
  task.thread = nullptr;
  KeResetEvent(&task.terminate);
}

void task_request_open() {
  TaskThreadState& task = task_thread_state();
  if (task.running.load() == 0) return;
  HandOver(task.open_request, task.open_done);
}

void task_request_close() {
  TaskThreadState& task = task_thread_state();
  if (task.running.load() == 0) {
    task_close_work();
    return;
  }
  HandOver(task.close_request, task.close_done);
}

void task_run_burst() {
  do {
    if (acu_running().load() == 0) {
      task_burst_set(kBurstFull);
      acu_init();
      task_burst_set(kBurstOnePass);
    }
    acu_run();
    task_tune_by_class();
  } while (!task_burst_step());
}

}  // namespace vxctl
