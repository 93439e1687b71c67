// The read, write and wait-on-mask workers, their start and stop, and the
// operations the dispatch and cancel routines reach them with.
#include "layer2/corecode/mt/serial/irp_workers.h"

#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/port/port_block.h"
#include "layer2/corecode/mt/port/uart.h"
#include "layer2/corecode/mt/serial/serial_dispatch.h"
#include "layer2/corecode/mt/serial/transfer_side.h"
#include "layer2/corecode/mt/task/system_thread.h"
#include "layer2/corecode/mt/task/timing_thread.h"
#include "platform/ex/ob.h"

namespace vxctl {
namespace {

enum WorkerWait : ULONG { kWaitKick = 0, kWaitCancel, kWaitTerminate, kWaitCount };

SerialDeviceExtension& ExtensionOf(PVOID device) {
  return *static_cast<SerialDeviceExtension*>(static_cast<PDEVICE_OBJECT>(device)->DeviceExtension);
}

// Waits for kick, cancel or terminate and resets the one that fired.
ULONG WaitForWork(WorkerEventSet& worker) {
  PVOID objects[kWaitCount] = {&worker.kick, &worker.cancel, &worker.terminate};
  KWAIT_BLOCK blocks[kWaitCount];
  const NTSTATUS status = KeWaitForMultipleObjects(kWaitCount, objects, WaitAny, Executive,
                                                   KernelMode, FALSE, nullptr, blocks);
  const ULONG which = static_cast<ULONG>(status - STATUS_WAIT_0);
  if (which < kWaitCount) KeResetEvent(static_cast<PKEVENT>(objects[which]));
  return which;
}

// The port function of the request's direction; a flush in the write
// queue completes with success in its turn.
NTSTATUS Transfer(SerialDeviceExtension& extension, const TransferSide& side, PIRP irp) {
  const PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  if (side.write && stack->MajorFunction == IRP_MJ_FLUSH_BUFFERS) return STATUS_SUCCESS;
  PortBlock* port = extension.port_block;
  auto* buffer = static_cast<std::uint8_t*>(irp->AssociatedIrp.SystemBuffer);
  std::uint32_t moved = 0;
  bool ok = false;
  if (side.write) {
    ok = port->table->write != nullptr &&
         port->table->write(port, buffer, stack->Parameters.Write.Length, &moved, &irp->Cancel);
  } else {
    ok = port->table->read != nullptr &&
         port->table->read(port, buffer, stack->Parameters.Read.Length, &moved, &irp->Cancel);
  }
  irp->IoStatus.Information = moved;
  if (!ok) return STATUS_UNSUCCESSFUL;
  return irp->Cancel ? STATUS_CANCELLED : STATUS_SUCCESS;
}

void Serve(SerialDeviceExtension& extension, const TransferSide& side, PIRP irp) {
  irp->IoStatus.Information = 0;
  if (irp->Cancel) {
    ntdrv_complete(irp, STATUS_CANCELLED);
    return;
  }
  SetRequestState(irp, kRequestServed);
  KIRQL irql;
  IoAcquireCancelSpinLock(&irql);
  side.current = irp;
  IoReleaseCancelSpinLock(irql);
  const NTSTATUS status = Transfer(extension, side, irp);
  // No abort reaches the request once it is no longer current.
  IoAcquireCancelSpinLock(&irql);
  side.current = nullptr;
  IoReleaseCancelSpinLock(irql);
  ntdrv_complete(irp, status);
  IoAcquireCancelSpinLock(&irql);
  ++side.worker.served;
  IoReleaseCancelSpinLock(irql);
}

void TransferWorker(SerialDeviceExtension& extension, const TransferSide& side) {
  KeSetPriorityThread(KeGetCurrentThread(), kControllerPriority);
  for (;;) {
    KIRQL irql;
    IoAcquireCancelSpinLock(&irql);
    const bool empty = IsListEmpty(&side.queue);
    IoReleaseCancelSpinLock(irql);
    if (empty) {
      KeSetEvent(&side.idle, IO_NO_INCREMENT, FALSE);
      if (WaitForWork(side.worker) == kWaitTerminate) break;
    }
    KeResetEvent(&side.worker.done);
    PIRP irp = nullptr;
    IoAcquireCancelSpinLock(&irql);
    if (!IsListEmpty(&side.queue)) {
      irp = RequestOf(RemoveHeadList(&side.queue));
      IoSetCancelRoutine(irp, nullptr);
    }
    IoReleaseCancelSpinLock(irql);
    if (irp != nullptr) Serve(extension, side, irp);
    KeSetEvent(&side.worker.done, IO_NO_INCREMENT, FALSE);
  }
  PsTerminateSystemThread(STATUS_SUCCESS);
}

void ntdrv_read_worker(PVOID device) {
  SerialDeviceExtension& extension = ExtensionOf(device);
  TransferWorker(extension, ReadSide(extension));
}

void ntdrv_write_worker(PVOID device) {
  SerialDeviceExtension& extension = ExtensionOf(device);
  TransferWorker(extension, WriteSide(extension));
}

enum class WaitOutcome { kNone, kKeep, kCancelled, kEvents };

// One pass over the pending wait request, under the wait lock. A request
// whose cancel routine has been taken but has not handed it over is left
// to that routine.
WaitOutcome TakeWait(SerialDeviceExtension& extension, PIRP& irp) {
  irp = extension.pending_wait;
  if (irp == nullptr) return WaitOutcome::kNone;
  const bool had_routine = IoSetCancelRoutine(irp, nullptr) != nullptr;
  if (!had_routine && !WaitHandedOver(irp)) {
    return WaitOutcome::kNone;
  }
  if (irp->Cancel) {
    extension.pending_wait = nullptr;
    return WaitOutcome::kCancelled;
  }
  const ULONG events = ntdrv_events_detected(extension);
  if (events == 0) return WaitOutcome::kKeep;
  *static_cast<ULONG*>(irp->AssociatedIrp.SystemBuffer) = events;
  irp->IoStatus.Information = sizeof(ULONG);
  ntdrv_events_clear(extension, events);
  extension.pending_wait = nullptr;
  return WaitOutcome::kEvents;
}

void ntdrv_wait_worker(PVOID device) {
  SerialDeviceExtension& extension = ExtensionOf(device);
  WorkerEventSet& worker = irp_workers().wait;
  KeSetPriorityThread(KeGetCurrentThread(), kControllerPriority);
  while (WaitForWork(worker) != kWaitTerminate) {
    KeResetEvent(&worker.done);
    PIRP irp = nullptr;
    KIRQL irql;
    KeAcquireSpinLock(&extension.wait_lock, &irql);
    const WaitOutcome outcome = TakeWait(extension, irp);
    KeReleaseSpinLock(&extension.wait_lock, irql);
    switch (outcome) {
      case WaitOutcome::kCancelled:
        irp->IoStatus.Information = 0;
        ntdrv_complete(irp, STATUS_CANCELLED);
        break;
      case WaitOutcome::kEvents:
        ntdrv_complete(irp, STATUS_SUCCESS);
        break;
      case WaitOutcome::kKeep:
        ntdrv_wait_keep(extension, irp);
        break;
      case WaitOutcome::kNone:
        break;
    }
    KeSetEvent(&worker.done, IO_NO_INCREMENT, FALSE);
  }
  PsTerminateSystemThread(STATUS_SUCCESS);
}

NTSTATUS StartWorker(WorkerEventSet& worker, PKSTART_ROUTINE routine, PDEVICE_OBJECT device) {
  const StartedThread started = start_system_thread(routine, device);
  if (!NT_SUCCESS(started.status)) {
    if (started.running) KeSetEvent(&worker.terminate, IO_NO_INCREMENT, FALSE);
    return started.status;
  }
  worker.thread = started.thread;
  return STATUS_SUCCESS;
}

void StopWorker(WorkerEventSet& worker) {
  if (worker.thread == nullptr) return;
  KeSetEvent(&worker.terminate, IO_NO_INCREMENT, FALSE);
  KeWaitForSingleObject(worker.thread, Executive, KernelMode, FALSE, nullptr);
  ObDereferenceObject(worker.thread);
  worker.thread = nullptr;
  KeResetEvent(&worker.terminate);
}

}  // namespace

ULONG_PTR RequestState(PIRP irp) {
  return reinterpret_cast<ULONG_PTR>(irp->Tail.Overlay.DriverContext[0]);
}

void SetRequestState(PIRP irp, ULONG_PTR state) {
  irp->Tail.Overlay.DriverContext[0] = reinterpret_cast<PVOID>(state);
}

IrpWorkers::IrpWorkers() {
  for (WorkerEventSet* worker : {&read, &write, &wait}) {
    for (KEVENT* event :
         {&worker->kick, &worker->cancel, &worker->terminate, &worker->done, &worker->exit}) {
      KeInitializeEvent(event, NotificationEvent, FALSE);
    }
  }
}

IrpWorkers& irp_workers() { return MachineState<IrpWorkers>(); }

TransferSide ReadSide(SerialDeviceExtension& extension) {
  return {extension.read_queue, extension.current_read, extension.read_idle, irp_workers().read,
          ntdrv_read_cancel, false};
}

TransferSide WriteSide(SerialDeviceExtension& extension) {
  return {extension.write_queue, extension.current_write, extension.write_idle,
          irp_workers().write, ntdrv_write_cancel, true};
}

NTSTATUS ntdrv_workers_start(PDEVICE_OBJECT serial_device) {
  IrpWorkers& workers = irp_workers();
  const std::pair<WorkerEventSet*, PKSTART_ROUTINE> starts[] = {
      {&workers.read, ntdrv_read_worker},
      {&workers.write, ntdrv_write_worker},
      {&workers.wait, ntdrv_wait_worker}};
  for (const auto& [worker, routine] : starts) {
    const NTSTATUS status = StartWorker(*worker, routine, serial_device);
    if (!NT_SUCCESS(status)) {
      ntdrv_workers_stop();
      return status;
    }
  }
  port_state().wait_wake.store(&workers.wait.kick);
  return STATUS_SUCCESS;
}

void ntdrv_workers_stop() {
  IrpWorkers& workers = irp_workers();
  port_state().wait_wake.store(nullptr);
  for (WorkerEventSet* worker : {&workers.read, &workers.write, &workers.wait}) StopWorker(*worker);
}

bool AbortTransfer(const TransferSide& side) {
  KIRQL irql;
  IoAcquireCancelSpinLock(&irql);
  const PIRP irp = side.current;
  const std::uint64_t pass = side.worker.served;
  if (irp != nullptr) irp->Cancel = TRUE;
  IoReleaseCancelSpinLock(irql);
  if (irp == nullptr) return true;
  TransferState& transfer = port_state().transfer;
  if (side.write) {
    transfer.write_deadline.store(0);
    transfer.write_total_active.store(1);
  } else {
    transfer.read_deadline.store(0);
    transfer.read_total_active.store(1);
  }
  KeSetEvent(&side.worker.cancel, IO_NO_INCREMENT, FALSE);
  // Until the pass that served the request has completed it; a later
  // pass (another request, which may wait long) is not waited for.
  for (;;) {
    IoAcquireCancelSpinLock(&irql);
    const bool serving = side.worker.served == pass;
    IoReleaseCancelSpinLock(irql);
    if (!serving) return true;
    if (KeWaitForSingleObject(&side.worker.done, Executive, KernelMode, FALSE, nullptr) !=
        STATUS_SUCCESS) {
      return false;
    }
  }
}

bool DrainTransfers(const TransferSide& side, PIRP irp) {
  KIRQL irql;
  IoAcquireCancelSpinLock(&irql);
  const bool idle = IsListEmpty(&side.queue) && side.current == nullptr;
  if (!idle) KeResetEvent(&side.idle);
  IoReleaseCancelSpinLock(irql);
  if (idle) return true;
  KeSetEvent(&side.worker.kick, IO_NO_INCREMENT, FALSE);
  return KeWaitForSingleObject(&side.idle, Executive, irp->RequestorMode, FALSE, nullptr) ==
         STATUS_SUCCESS;
}

bool ntdrv_read_abort(SerialDeviceExtension& extension) {
  return AbortTransfer(ReadSide(extension));
}

bool ntdrv_write_abort(SerialDeviceExtension& extension) {
  return AbortTransfer(WriteSide(extension));
}

bool ntdrv_read_drain(SerialDeviceExtension& extension, PIRP irp) {
  return DrainTransfers(ReadSide(extension), irp);
}

bool ntdrv_write_drain(SerialDeviceExtension& extension, PIRP irp) {
  return DrainTransfers(WriteSide(extension), irp);
}

bool ntdrv_wait_abort(SerialDeviceExtension& extension) {
  KIRQL irql;
  KeAcquireSpinLock(&extension.wait_lock, &irql);
  const PIRP irp = extension.pending_wait;
  if (irp != nullptr) irp->Cancel = TRUE;
  KeReleaseSpinLock(&extension.wait_lock, irql);
  if (irp == nullptr) return true;
  WorkerEventSet& worker = irp_workers().wait;
  KeResetEvent(&worker.done);
  KeSetEvent(&worker.cancel, IO_NO_INCREMENT, FALSE);
  const NTSTATUS status = KeWaitForSingleObject(&worker.done, Executive, KernelMode, FALSE, nullptr);
  KeResetEvent(&worker.done);
  return status == STATUS_SUCCESS;
}

ULONG ntdrv_events_detected(SerialDeviceExtension& extension) {
  const PortBlock& port = *extension.port_block;
  const std::atomic<std::uint32_t>* word = port.event_word.load();
  if (word == nullptr) {
    DbgPrint("  No events detected:\n");
    return 0;
  }
  return word->load() & port.event_mask.load();
}

void ntdrv_events_clear(SerialDeviceExtension& extension, ULONG events) {
  extension.event_word.fetch_and(~events);
  if (std::atomic<std::uint32_t>* word = extension.port_block->event_word.load()) {
    word->fetch_and(~events);
  }
  extension.history_mask = 0;
}

}  // namespace vxctl
