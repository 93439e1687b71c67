#include "platform/io/tests/cancellable_queue.h"
#include "platform/win32/files.h"

namespace plat::io::testing {
namespace {

class IoCancel : public IoTest {};

// Reads one byte through `handle` on a new user thread; the call's result
// and last error land in `result`.
struct UserRead {
  BOOL answer = -1;
  DWORD error = 0;
};
void ReadThroughHandle(HANDLE handle, UserRead& result) {
  SpawnUser(
      [handle, &result] {
        char byte;
        DWORD count;
        result.answer = ReadFile(handle, &byte, 1, &count, nullptr);
        result.error = GetLastError();
      },
      "reader");
}

HANDLE OpenQueue() {
  EXPECT_EQ(Link(u"\\??\\Queue", u"\\Device\\Queue"), STATUS_SUCCESS);
  return CreateFile(u"\\\\.\\Queue", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, 0);
}

TEST_F(IoCancel, CancelIoExEndsAQueuedReadOfAnotherThread) {
  Run([] {
    TestDriver driver;
    QueueDevice queued(driver);
    HANDLE handle = OpenQueue();
    UserRead read;
    ReadThroughHandle(handle, read);
    SleepMs(1);
    ASSERT_EQ(queued.queue.size(), 1u);
    EXPECT_TRUE(CancelIoEx(handle, nullptr));
    SleepMs(1);
    EXPECT_EQ(read.answer, FALSE);
    EXPECT_EQ(read.error, ERROR_OPERATION_ABORTED);
    EXPECT_EQ(queued.queue.level_in_routine, DISPATCH_LEVEL);
    EXPECT_EQ(queued.queue.cancel_irql_seen, PASSIVE_LEVEL);
    EXPECT_EQ(queued.queue.completions, 1);
    EXPECT_FALSE(CancelIoEx(handle, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_NOT_FOUND);
    EXPECT_TRUE(CloseHandle(handle));
  });
}

TEST_F(IoCancel, CloseHandleCleanupCancelsWhatTheFileLeftQueued) {
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
    HANDLE handle = OpenQueue();
    UserRead first, second;
    ReadThroughHandle(handle, first);
    ReadThroughHandle(handle, second);
    SleepMs(1);
    EXPECT_TRUE(CloseHandle(handle));
    SleepMs(1);
    EXPECT_EQ(first.error, ERROR_OPERATION_ABORTED);
    EXPECT_EQ(second.error, ERROR_OPERATION_ABORTED);
    const std::vector<UCHAR>& seen = driver.Seen(queued.device);
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen[seen.size() - 2], IRP_MJ_CLEANUP);
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
