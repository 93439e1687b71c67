// A device whose reads wait in a cancellable queue, kept as a serial
// driver keeps its queues: under the cancel spin lock, each request with a
// cancel routine, and whoever takes that routine away owns the request.
#pragma once

#include <deque>

#include "platform/io/tests/io_test_driver.h"

namespace plat::io::testing {

class CancellableQueue {
 public:
  // The device's extension points to the queue, for its cancel routine.
  explicit CancellableQueue(PDEVICE_OBJECT device) {
    *static_cast<CancellableQueue**>(device->DeviceExtension) = this;
  }

  NTSTATUS Queue(PIRP irp) {
    KIRQL irql;
    IoAcquireCancelSpinLock(&irql);
    if (irp->Cancel) {
      IoReleaseCancelSpinLock(irql);
      return Finish(irp, STATUS_CANCELLED);
    }
    IoSetCancelRoutine(irp, CancelRoutine);
    IoMarkIrpPending(irp);
    queue_.push_back(irp);
    IoReleaseCancelSpinLock(irql);
    return STATUS_PENDING;
  }

  // Completes the oldest request unless its cancellation has begun.
  bool CompleteOldest(NTSTATUS status) {
    KIRQL irql;
    IoAcquireCancelSpinLock(&irql);
    if (queue_.empty() || IoSetCancelRoutine(queue_.front(), nullptr) == nullptr) {
      IoReleaseCancelSpinLock(irql);
      return false;
    }
    PIRP irp = queue_.front();
    queue_.pop_front();
    IoReleaseCancelSpinLock(irql);
    Finish(irp, status);
    return true;
  }

  // What the cancel routine does after releasing the lock, before completing.
  std::function<void(PIRP)> after_release;
  int completions = 0;
  KIRQL cancel_irql_seen = HIGH_LEVEL;
  KIRQL level_in_routine = PASSIVE_LEVEL;
  std::size_t size() const { return queue_.size(); }

 private:
  NTSTATUS Finish(PIRP irp, NTSTATUS status) {
    ++completions;
    return Complete(irp, status);
  }

  static void CancelRoutine(PDEVICE_OBJECT device, PIRP irp) {
    auto& self = **static_cast<CancellableQueue**>(device->DeviceExtension);
    self.level_in_routine = KeGetCurrentIrql();
    self.cancel_irql_seen = irp->CancelIrql;
    std::erase(self.queue_, irp);
    IoReleaseCancelSpinLock(irp->CancelIrql);
    if (self.after_release) self.after_release(irp);
    self.Finish(irp, STATUS_CANCELLED);
  }

  std::deque<PIRP> queue_;
};

// A device whose reads and device controls wait in a cancellable queue.
struct QueueDevice {
  explicit QueueDevice(TestDriver& driver)
      : device(driver.Create(u"\\Device\\Queue", {}, FALSE, sizeof(void*))), queue(device) {
    driver.Handle(device, [this](PDEVICE_OBJECT, PIRP irp) {
      const UCHAR major = IoGetCurrentIrpStackLocation(irp)->MajorFunction;
      if (major == IRP_MJ_READ || major == IRP_MJ_DEVICE_CONTROL) return queue.Queue(irp);
      return Complete(irp, STATUS_SUCCESS);
    });
  }
  PDEVICE_OBJECT device;
  CancellableQueue queue;
};

// Reads one byte on `file` from a new thread; its status lands in `status`.
inline void ReadLater(PFILE_OBJECT file, NTSTATUS& status) {
  Spawn(
      [file, &status] {
        std::byte byte;
        status = FileRead(file, UserMode, std::span(&byte, 1)).status;
      },
      "reader");
}

}  // namespace plat::io::testing
