#include <deque>

#include "platform/io/tests/io_test_driver.h"

namespace plat::io::testing {
namespace {

class IoCancel : public IoTest {};

// A driver's queue of cancellable reads, kept under the cancel spin lock:
// whoever takes a request's cancel routine away owns the request.
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

// A device whose reads wait in a cancellable queue.
struct QueueDevice {
  explicit QueueDevice(TestDriver& driver)
      : device(driver.Create(u"\\Device\\Queue", {}, FALSE, sizeof(void*))), queue(device) {
    driver.Handle(device, [this](PDEVICE_OBJECT, PIRP irp) {
      if (IoGetCurrentIrpStackLocation(irp)->MajorFunction == IRP_MJ_READ) return queue.Queue(irp);
      return Complete(irp, STATUS_SUCCESS);
    });
  }
  PDEVICE_OBJECT device;
  CancellableQueue queue;
};

// Reads one byte on `file` from a new thread; its status lands in `status`.
void ReadLater(PFILE_OBJECT file, NTSTATUS& status) {
  Spawn(
      [file, &status] {
        std::byte byte;
        status = FileRead(file, UserMode, std::span(&byte, 1)).status;
      },
      "reader");
}

TEST_F(IoCancel, CancelFileRequestsEndsAQueuedRead) {
  Run([] {
    TestDriver driver;
    QueueDevice queued(driver);
    PFILE_OBJECT file = Open(u"\\Device\\Queue");
    NTSTATUS status = -1;
    ReadLater(file, status);
    SleepMs(1);
    ASSERT_EQ(queued.queue.size(), 1u);
    EXPECT_EQ(CancelFileRequests(file), 1u);
    SleepMs(1);
    EXPECT_EQ(status, STATUS_CANCELLED);
    EXPECT_EQ(queued.queue.level_in_routine, DISPATCH_LEVEL);
    EXPECT_EQ(queued.queue.cancel_irql_seen, PASSIVE_LEVEL);
    EXPECT_EQ(queued.queue.completions, 1);
    EXPECT_EQ(CancelFileRequests(file), 0u);
    CloseFile(file, UserMode);
  });
}

TEST_F(IoCancel, CleanupCancelsWhatTheFileLeftQueued) {
  Run([] {
    TestDriver driver;
    QueueDevice queued(driver);
    // The driver's cleanup purges its queue, as a serial driver does.
    driver.Handle(queued.device, [&](PDEVICE_OBJECT, PIRP irp) {
      switch (IoGetCurrentIrpStackLocation(irp)->MajorFunction) {
        case IRP_MJ_READ:
          return queued.queue.Queue(irp);
        case IRP_MJ_CLEANUP:
          CancelFileRequests(IoGetCurrentIrpStackLocation(irp)->FileObject);
          break;
      }
      return Complete(irp, STATUS_SUCCESS);
    });
    PFILE_OBJECT file = Open(u"\\Device\\Queue");
    NTSTATUS first = -1, second = -1;
    ReadLater(file, first);
    ReadLater(file, second);
    SleepMs(1);
    CloseFile(file, UserMode);
    SleepMs(1);
    EXPECT_EQ(first, STATUS_CANCELLED);
    EXPECT_EQ(second, STATUS_CANCELLED);
    const std::vector<UCHAR>& seen = driver.Seen(queued.device);
    EXPECT_EQ(seen.back(), IRP_MJ_CLOSE);
  });
}

TEST_F(IoCancel, RoutineMayReleaseTheLockAndWait) {
  Run([this] {
    TestDriver driver;
    QueueDevice queued(driver);
    // As a serial driver aborts a transfer in progress: release, then wait
    // until its worker has finished the pass that serves the request.
    KEVENT done;
    KeInitializeEvent(&done, NotificationEvent, FALSE);
    KIRQL level_while_waiting = HIGH_LEVEL;
    queued.queue.after_release = [&](PIRP) {
      level_while_waiting = KeGetCurrentIrql();
      Spawn([&] {
        SleepMs(10);
        KeSetEvent(&done, IO_NO_INCREMENT, FALSE);
      });
      KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, nullptr);
    };
    PFILE_OBJECT file = Open(u"\\Device\\Queue");
    NTSTATUS status = -1;
    ReadLater(file, status);
    SleepMs(1);
    const std::uint64_t before = machine.Now();
    CancelFileRequests(file);
    EXPECT_GE(machine.Now() - before, 10'000'000u);
    EXPECT_EQ(level_while_waiting, PASSIVE_LEVEL);
    SleepMs(1);
    EXPECT_EQ(status, STATUS_CANCELLED);
    CloseFile(file, UserMode);
  });
}

TEST_F(IoCancel, CompletionRacingCancelCompletesOnce) {
  // The worker completes at `complete_ms`, the canceller cancels at
  // `cancel_ms`; at one instant, whichever thread starts first acts first.
  const struct { int complete_ms, cancel_ms; } cases[] = {{5, 4}, {5, 6}, {5, 5}, {4, 4}, {6, 5}};
  for (const auto& c : cases) {
    OnFreshMachine([&](TestDriver& driver, plat::ke::Kernel&) {
      QueueDevice queued(driver);
      PFILE_OBJECT file = Open(u"\\Device\\Queue");
      NTSTATUS status = -1;
      ReadLater(file, status);
      bool completed_by_worker = false;
      Spawn([&] {
        SleepMs(c.complete_ms);
        completed_by_worker = queued.queue.CompleteOldest(STATUS_SUCCESS);
      });
      Spawn([&] {
        SleepMs(c.cancel_ms);
        CancelFileRequests(file);
      });
      SleepMs(10);
      EXPECT_EQ(queued.queue.completions, 1) << c.complete_ms << " " << c.cancel_ms;
      EXPECT_EQ(status, completed_by_worker ? STATUS_SUCCESS : STATUS_CANCELLED);
      if (c.complete_ms != c.cancel_ms) {
        EXPECT_EQ(completed_by_worker, c.complete_ms < c.cancel_ms);
      }
      CloseFile(file, UserMode);
    });
  }
}

TEST_F(IoCancel, CancelBeforeTheRoutineIsSetIsSeenByTheDriver) {
  Run([] {
    TestDriver driver;
    QueueDevice queued(driver);
    PIRP irp = IoAllocateIrp(queued.device->StackSize, FALSE);
    ASSERT_NE(irp, nullptr);
    IoGetNextIrpStackLocation(irp)->MajorFunction = IRP_MJ_READ;
    EXPECT_EQ(IoCancelIrp(irp), FALSE);
    EXPECT_EQ(irp->Cancel, TRUE);
    // Only the cancel flag asks for this routine.
    bool routine_ran = false;
    IoSetCompletionRoutine(
        irp,
        [](PDEVICE_OBJECT, PIRP, PVOID context) {
          *static_cast<bool*>(context) = true;
          return STATUS_MORE_PROCESSING_REQUIRED;
        },
        &routine_ran, FALSE, FALSE, TRUE);
    EXPECT_EQ(IoCallDriver(queued.device, irp), STATUS_CANCELLED);
    EXPECT_TRUE(routine_ran);
    EXPECT_EQ(queued.queue.size(), 0u);
    IoFreeIrp(irp);
  });
}

TEST_F(IoCancel, DpcRequestRunsAtDispatchLevel) {
  Run([] {
    TestDriver driver;
    std::vector<PIRP> parked;
    PDEVICE_OBJECT device = driver.Create(u"\\Device\\Dpc", Park(parked, {IRP_MJ_READ}));
    struct Seen {
      PDEVICE_OBJECT device = nullptr;
      KIRQL level = PASSIVE_LEVEL;
      PVOID context = nullptr;
    };
    static Seen seen;  // test-only: the DPC routine's report
    seen = {};
    IoInitializeDpcRequest(device, [](PKDPC, PDEVICE_OBJECT d, PIRP irp, PVOID context) {
      seen = {d, KeGetCurrentIrql(), context};
      Complete(irp, STATUS_SUCCESS, 1);
    });
    PFILE_OBJECT file = Open(u"\\Device\\Dpc");
    int marker = 0;
    Spawn([&] {
      SleepMs(2);
      IoRequestDpc(device, parked.at(0), &marker);
    });
    std::byte byte;
    EXPECT_EQ(FileRead(file, UserMode, std::span(&byte, 1)).status, STATUS_SUCCESS);
    EXPECT_EQ(seen.device, device);
    EXPECT_EQ(seen.level, DISPATCH_LEVEL);
    EXPECT_EQ(seen.context, &marker);
    CloseFile(file, UserMode);
  });
}

}  // namespace
}  // namespace plat::io::testing
