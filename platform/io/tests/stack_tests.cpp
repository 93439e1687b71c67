#include "platform/io/tests/io_test_driver.h"

namespace plat::io::testing {
namespace {

class IoStack : public IoTest {};

TEST_F(IoStack, SkipPassesTheSameLocationDown) {
  Run([] {
    TestDriver driver;
    PDEVICE_OBJECT lower = driver.Create(u"\\Device\\Lower");
    PDEVICE_OBJECT upper = driver.Create(nullptr);
    ASSERT_EQ(IoAttachDeviceToDeviceStack(upper, lower), lower);
    EXPECT_EQ(upper->StackSize, 2);
    EXPECT_EQ(IoGetAttachedDevice(lower), upper);
    PIO_STACK_LOCATION seen_by_upper = nullptr;
    driver.Handle(upper, [&](PDEVICE_OBJECT, PIRP irp) {
      if (IoGetCurrentIrpStackLocation(irp)->MajorFunction != IRP_MJ_DEVICE_CONTROL) {
        return Complete(irp, STATUS_SUCCESS);
      }
      seen_by_upper = IoGetCurrentIrpStackLocation(irp);
      return PassDown(lower, irp);
    });
    driver.Handle(lower, [&](PDEVICE_OBJECT device, PIRP irp) {
      PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
      EXPECT_EQ(stack, seen_by_upper);
      EXPECT_EQ(stack->DeviceObject, device);
      std::memcpy(irp->AssociatedIrp.SystemBuffer, "lower", 5);
      return Complete(irp, STATUS_SUCCESS, 5);
    });
    // Opens by the lower device's name go to the top of its stack.
    PFILE_OBJECT file = Open(u"\\Device\\Lower");
    char out[8] = {};
    const Transfer result =
        FileDeviceControl(file, UserMode, kTestCode, {}, std::as_writable_bytes(std::span(out)));
    EXPECT_EQ(result.status, STATUS_SUCCESS);
    EXPECT_EQ(result.information, 5u);
    EXPECT_STREQ(out, "lower");
    CloseFile(file, UserMode);
    EXPECT_EQ(driver.Seen(lower), (std::vector<UCHAR>{IRP_MJ_DEVICE_CONTROL}));
    EXPECT_EQ(driver.Seen(upper), (std::vector<UCHAR>{IRP_MJ_CREATE, IRP_MJ_DEVICE_CONTROL,
                                                      IRP_MJ_CLEANUP, IRP_MJ_CLOSE}));
  });
}

// The upper driver forwards synchronously: its completion routine signals
// an event and returns STATUS_MORE_PROCESSING_REQUIRED, so the request is
// the upper driver's again and it completes it with its own result.
struct SyncForward {
  KEVENT done;
  PDEVICE_OBJECT routine_device = nullptr;
  BOOLEAN pending_returned = FALSE;
  int routine_calls = 0;
};

NTSTATUS SignalAndKeep(PDEVICE_OBJECT device, PIRP irp, PVOID context) {
  auto& forward = *static_cast<SyncForward*>(context);
  forward.routine_device = device;
  forward.pending_returned = irp->PendingReturned;
  ++forward.routine_calls;
  KeSetEvent(&forward.done, IO_NO_INCREMENT, FALSE);
  return STATUS_MORE_PROCESSING_REQUIRED;
}

TEST_F(IoStack, SynchronousForwardKeepsTheRequest) {
  for (const bool lower_pends : {false, true}) {
    OnFreshMachine([&](TestDriver& driver, plat::ke::Kernel&) {
      PDEVICE_OBJECT lower = driver.Create(u"\\Device\\Lower");
      PDEVICE_OBJECT upper = driver.Create(u"\\Device\\Upper");
      ASSERT_EQ(IoAttachDeviceToDeviceStack(upper, lower), lower);
      SyncForward forward;
      driver.Handle(upper, [&](PDEVICE_OBJECT, PIRP irp) {
        if (IoGetCurrentIrpStackLocation(irp)->MajorFunction != IRP_MJ_DEVICE_CONTROL) {
          return Complete(irp, STATUS_SUCCESS);
        }
        KeInitializeEvent(&forward.done, NotificationEvent, FALSE);
        IoCopyCurrentIrpStackLocationToNext(irp);
        IoSetCompletionRoutine(irp, SignalAndKeep, &forward, TRUE, TRUE, TRUE);
        if (IoCallDriver(lower, irp) == STATUS_PENDING) {
          KeWaitForSingleObject(&forward.done, Executive, KernelMode, FALSE, nullptr);
        }
        // The lower driver's answer, rewritten by the upper one.
        auto* word = static_cast<ULONG*>(irp->AssociatedIrp.SystemBuffer);
        *word += 1000;
        const NTSTATUS lower_status = irp->IoStatus.Status;
        return Complete(irp, lower_status, 4);
      });
      std::vector<PIRP> parked;
      driver.Handle(lower, [&](PDEVICE_OBJECT, PIRP irp) {
        *static_cast<ULONG*>(irp->AssociatedIrp.SystemBuffer) = 7;
        if (!lower_pends) return Complete(irp, STATUS_SUCCESS, 4);
        IoMarkIrpPending(irp);
        Spawn([irp] {
          SleepMs(5);
          Complete(irp, STATUS_SUCCESS, 4);
        });
        return STATUS_PENDING;
      });
      PFILE_OBJECT file = Open(u"\\Device\\Upper");
      ULONG out = 0;
      const Transfer result = FileDeviceControl(file, UserMode, kTestCode, {},
                                                std::as_writable_bytes(std::span(&out, 1)));
      EXPECT_EQ(result.status, STATUS_SUCCESS);
      EXPECT_EQ(out, 1007u);
      EXPECT_EQ(forward.routine_calls, 1);
      EXPECT_EQ(forward.routine_device, upper);
      EXPECT_EQ(forward.pending_returned, lower_pends ? TRUE : FALSE);
      CloseFile(file, UserMode);
    });
  }
}

NTSTATUS PropagatePending(PDEVICE_OBJECT, PIRP irp, PVOID context) {
  if (irp->PendingReturned) IoMarkIrpPending(irp);
  ++*static_cast<int*>(context);
  return STATUS_SUCCESS;
}

TEST_F(IoStack, PendingPropagatesUpward) {
  // With no completion routine the I/O manager marks the upper location;
  // with one, the routine does.
  for (const bool with_routine : {false, true}) {
    OnFreshMachine([&](TestDriver& driver, plat::ke::Kernel&) {
      PDEVICE_OBJECT lower = driver.Create(u"\\Device\\Lower");
      PDEVICE_OBJECT middle = driver.Create(nullptr);
      PDEVICE_OBJECT upper = driver.Create(nullptr);
      IoAttachDeviceToDeviceStack(middle, lower);
      IoAttachDeviceToDeviceStack(upper, middle);
      EXPECT_EQ(upper->StackSize, 3);
      int routine_calls = 0;
      auto forward = [&](PDEVICE_OBJECT next) {
        return [&, next](PDEVICE_OBJECT, PIRP irp) {
          IoCopyCurrentIrpStackLocationToNext(irp);
          if (with_routine) {
            IoSetCompletionRoutine(irp, PropagatePending, &routine_calls, TRUE, TRUE, TRUE);
          }
          return IoCallDriver(next, irp);
        };
      };
      driver.Handle(upper, forward(middle));
      driver.Handle(middle, forward(lower));
      std::vector<PIRP> parked;
      driver.Handle(lower, Park(parked, {IRP_MJ_READ}));
      PFILE_OBJECT file = Open(u"\\Device\\Lower");
      routine_calls = 0;
      Spawn([&] {
        SleepMs(3);
        ASSERT_EQ(parked.size(), 1u);
        std::memcpy(parked[0]->AssociatedIrp.SystemBuffer, "ab", 2);
        Complete(parked[0], STATUS_SUCCESS, 2);
      });
      char out[2] = {};
      const Transfer read = FileRead(file, UserMode, std::as_writable_bytes(std::span(out)));
      EXPECT_EQ(read.status, STATUS_SUCCESS);
      EXPECT_EQ(read.information, 2u);
      EXPECT_EQ(std::string(out, 2), "ab");
      EXPECT_EQ(routine_calls, with_routine ? 2 : 0);
      CloseFile(file, UserMode);
    });
  }
}

TEST_F(IoStack, CompletionRoutineRunsOnlyForItsOutcomes) {
  struct Case {
    NTSTATUS status;
    bool on_success, on_error;
    bool called;
  };
  const Case cases[] = {
      {STATUS_SUCCESS, true, false, true},         {STATUS_SUCCESS, false, true, false},
      {STATUS_UNSUCCESSFUL, false, true, true},    {STATUS_UNSUCCESSFUL, true, false, false},
      {STATUS_BUFFER_OVERFLOW, false, true, true},  // a warning is no success
      {STATUS_TIMEOUT, true, false, true},
  };
  Run([&] {
    TestDriver driver;
    PDEVICE_OBJECT lower = driver.Create(u"\\Device\\Lower");
    for (const Case& c : cases) {
      driver.Handle(lower, [&](PDEVICE_OBJECT, PIRP irp) { return Complete(irp, c.status); });
      PIRP irp = IoAllocateIrp(lower->StackSize, FALSE);
      ASSERT_NE(irp, nullptr);
      IoGetNextIrpStackLocation(irp)->MajorFunction = IRP_MJ_FLUSH_BUFFERS;
      struct Seen {
        bool called = false;
      } seen;
      IoSetCompletionRoutine(
          irp,
          [](PDEVICE_OBJECT device, PIRP, PVOID context) {
            EXPECT_EQ(device, nullptr);  // the creator has no stack location
            static_cast<Seen*>(context)->called = true;
            return STATUS_MORE_PROCESSING_REQUIRED;
          },
          &seen, c.on_success, c.on_error, FALSE);
      EXPECT_EQ(IoCallDriver(lower, irp), c.status);
      EXPECT_EQ(seen.called, c.called) << std::hex << c.status;
      IoFreeIrp(irp);
    }
  });
}

TEST_F(IoStack, AttachByNameShowsTheTargetCreateCleanupClose) {
  Run([] {
    TestDriver driver;
    PDEVICE_OBJECT target = driver.Create(u"\\Device\\Target");
    PDEVICE_OBJECT filter = driver.Create(nullptr);
    UNICODE_STRING name = Name(u"\\Device\\Missing");
    PDEVICE_OBJECT attached = nullptr;
    EXPECT_EQ(IoAttachDevice(filter, &name, &attached), STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(attached, nullptr);

    name = Name(u"\\device\\TARGET");
    ASSERT_EQ(IoAttachDevice(filter, &name, &attached), STATUS_SUCCESS);
    EXPECT_EQ(attached, target);
    EXPECT_EQ(driver.Seen(target),
              (std::vector<UCHAR>{IRP_MJ_CREATE, IRP_MJ_CLEANUP, IRP_MJ_CLOSE}));
    EXPECT_TRUE(driver.Seen(filter).empty());
    EXPECT_EQ(target->ReferenceCount, 0);

    // Later opens meet the filter first; after detaching, the target again.
    PFILE_OBJECT file = Open(u"\\Device\\Target");
    CloseFile(file, UserMode);
    EXPECT_EQ(driver.Seen(filter).size(), 3u);
    IoDetachDevice(target);
    file = Open(u"\\Device\\Target");
    CloseFile(file, UserMode);
    EXPECT_EQ(driver.Seen(filter).size(), 3u);
    EXPECT_EQ(driver.Seen(target).size(), 6u);
  });
}

TEST_F(IoStack, AttachFaultKnobByNameAndOrder) {
  Run([this] {
    TestDriver driver;
    driver.Create(u"\\Device\\Target");
    PDEVICE_OBJECT filter = driver.Create(nullptr);
    NamedFault& fault = Faults(machine).attach_device;
    fault.FailName(u"\\Device\\Target", STATUS_UNSUCCESSFUL);
    UNICODE_STRING name = Name(u"\\Device\\Target");
    PDEVICE_OBJECT attached = nullptr;
    EXPECT_EQ(IoAttachDevice(filter, &name, &attached), STATUS_UNSUCCESSFUL);
    fault.Clear();
    fault.FailNth(1, STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(IoAttachDevice(filter, &name, &attached), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(IoAttachDevice(filter, &name, &attached), STATUS_SUCCESS);
  });
}

}  // namespace
}  // namespace plat::io::testing
