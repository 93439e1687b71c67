#include "platform/io/tests/io_test_driver.h"

namespace plat::io::testing {
namespace {

// A device whose driver breaks one rule on every device control.
void ControlOn(Handler faulty, ULONG output = 0) {
  OnFreshMachine([&](TestDriver& driver, plat::ke::Kernel&) {
    PDEVICE_OBJECT device = driver.Create(u"\\Device\\Faulty");
    driver.Handle(device, [&](PDEVICE_OBJECT d, PIRP irp) {
      if (IoGetCurrentIrpStackLocation(irp)->MajorFunction != IRP_MJ_DEVICE_CONTROL) {
        return Complete(irp, STATUS_SUCCESS);
      }
      return faulty(d, irp);
    });
    PFILE_OBJECT file = Open(u"\\Device\\Faulty");
    std::vector<std::byte> out(output);
    FileDeviceControl(file, UserMode, kTestCode, {}, out);
  });
}

struct DeathCase {
  const char* name;
  std::function<void()> scenario;
  const char* pattern;
};

TEST(IoVerifier, EachRuleIsFatal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const DeathCase cases[] = {
      {"completed twice",
       [] {
         ControlOn([](PDEVICE_OBJECT, PIRP irp) {
           Complete(irp, STATUS_SUCCESS);
           return Complete(irp, STATUS_SUCCESS);
         });
       },
       "FATAL \\[io.completed-twice\\]"},
      {"completed with STATUS_PENDING",
       [] { ControlOn([](PDEVICE_OBJECT, PIRP irp) { return Complete(irp, STATUS_PENDING); }); },
       "FATAL \\[io.completed-pending\\]"},
      {"completed with its cancel routine set",
       [] {
         ControlOn([](PDEVICE_OBJECT, PIRP irp) {
           IoSetCancelRoutine(irp, [](PDEVICE_OBJECT, PIRP) {});
           return Complete(irp, STATUS_SUCCESS);
         });
       },
       "FATAL \\[io.cancel-routine-set\\]"},
      {"pending without the mark",
       [] {
         ControlOn([](PDEVICE_OBJECT, PIRP irp) {
           Spawn([irp] { Complete(irp, STATUS_SUCCESS); });
           return STATUS_PENDING;
         });
       },
       "FATAL \\[io.pending-not-marked\\].*device 1 \\\\Device\\\\Faulty returned STATUS_PENDING"},
      {"marked but another status",
       [] {
         ControlOn([](PDEVICE_OBJECT, PIRP irp) {
           IoMarkIrpPending(irp);
           return Complete(irp, STATUS_SUCCESS);
         });
       },
       "FATAL \\[io.marked-not-pending\\]"},
      {"forwarded pending without propagating the mark",
       [] {
         OnFreshMachine([](TestDriver& driver, plat::ke::Kernel&) {
           std::vector<PIRP> parked;
           PDEVICE_OBJECT lower = driver.Create(u"\\Device\\Lower");
           PDEVICE_OBJECT upper = driver.Create(nullptr);
           IoAttachDeviceToDeviceStack(upper, lower);
           driver.Handle(upper, [lower](PDEVICE_OBJECT, PIRP irp) {
             IoCopyCurrentIrpStackLocationToNext(irp);
             IoSetCompletionRoutine(
                 irp, [](PDEVICE_OBJECT, PIRP, PVOID) { return STATUS_SUCCESS; }, nullptr, TRUE,
                 TRUE, TRUE);
             return IoCallDriver(lower, irp);
           });
           PFILE_OBJECT file = Open(u"\\Device\\Lower");
           driver.Handle(lower, Park(parked));
           Spawn([&] { Complete(parked.at(0), STATUS_SUCCESS); });
           FileFlush(file, UserMode);
         });
       },
       "FATAL \\[io.pending-not-marked\\]"},
      {"information above the output length",
       [] {
         ControlOn([](PDEVICE_OBJECT, PIRP irp) { return Complete(irp, STATUS_SUCCESS, 528); }, 16);
       },
       "FATAL \\[io.information-too-large\\].*Information 528, above the output length of the "
       "device control \\(16\\)"},
      {"information above the read length",
       [] {
         OnFreshMachine([](TestDriver& driver, plat::ke::Kernel&) {
           driver.Create(u"\\Device\\Faulty", [](PDEVICE_OBJECT, PIRP irp) {
             return Complete(
                 irp, STATUS_SUCCESS,
                 IoGetCurrentIrpStackLocation(irp)->MajorFunction == IRP_MJ_READ ? 9 : 0);
           });
           PFILE_OBJECT file = Open(u"\\Device\\Faulty");
           std::byte out[8];
           FileRead(file, UserMode, out);
         });
       },
       "FATAL \\[io.information-too-large\\].*above the length of the read \\(8\\)"},
      {"no stack location left",
       [] {
         OnFreshMachine([](TestDriver& driver, plat::ke::Kernel&) {
           PDEVICE_OBJECT lower = driver.Create(u"\\Device\\Lower");
           driver.Create(u"\\Device\\Upper", [lower](PDEVICE_OBJECT, PIRP irp) {
             IoCopyCurrentIrpStackLocationToNext(irp);  // no attachment: no room below
             return IoCallDriver(lower, irp);
           });
           PFILE_OBJECT file = Open(u"\\Device\\Upper");
           (void)file;
         });
       },
       "FATAL \\[io.no-stack-location\\]"},
      {"freeing a request not completed",
       [] {
         OnFreshMachine([](TestDriver& driver, plat::ke::Kernel&) {
           std::vector<PIRP> parked;
           PDEVICE_OBJECT device = driver.Create(u"\\Device\\Keeper", Park(parked));
           PIRP irp = IoAllocateIrp(device->StackSize, FALSE);
           IoGetNextIrpStackLocation(irp)->MajorFunction = IRP_MJ_FLUSH_BUFFERS;
           IoCallDriver(device, irp);
           IoFreeIrp(irp);
         });
       },
       "FATAL \\[io.free-not-completed\\].*device 1 \\\\Device\\\\Keeper still holds"},
      {"deleting a device with a request outstanding",
       [] {
         OnFreshMachine([](TestDriver& driver, plat::ke::Kernel&) {
           std::vector<PIRP> parked;
           PDEVICE_OBJECT device = driver.Create(u"\\Device\\Keeper");
           PFILE_OBJECT file = Open(u"\\Device\\Keeper");
           driver.Handle(device, Park(parked));
           Spawn([file] { FileFlush(file, UserMode); });
           SleepMs(1);
           IoDeleteDevice(device);
         });
       },
       "FATAL \\[io.outstanding-on-deleted-device\\]"},
      {"a request outstanding at shutdown",
       [] {
         plat::Simulation sim;
         plat::ke::Kernel& machine = sim.AddMachine("M");
         std::vector<PIRP> parked;
         KEVENT event;
         IO_STATUS_BLOCK iosb;
         sim.RunUserThread(machine, "test", [&] {
           TestDriver driver;
           PDEVICE_OBJECT device = driver.Create(u"\\Device\\Keeper", Park(parked));
           KeInitializeEvent(&event, NotificationEvent, FALSE);
           IoCallDriver(device, IoBuildDeviceIoControlRequest(kTestCode, device, nullptr, 0,
                                                              nullptr, 0, FALSE, &event, &iosb));
         });
         machine.Shutdown();
       },
       "FATAL \\[io.outstanding-at-shutdown\\]: request 1 is still outstanding on device 1"},
      {"returning without completing",
       [] { ControlOn([](PDEVICE_OBJECT, PIRP) { return STATUS_SUCCESS; }); },
       "FATAL \\[io.returned-without-completing\\]"},
      {"a direct-I/O control code",
       [] {
         OnFreshMachine([](TestDriver& driver, plat::ke::Kernel&) {
           PDEVICE_OBJECT device = driver.Create(u"\\Device\\Target");
           IoBuildDeviceIoControlRequest(CTL_CODE(0x22, 0x801, METHOD_OUT_DIRECT, 0), device,
                                         nullptr, 0, nullptr, 0, FALSE, nullptr, nullptr);
         });
       },
       "FATAL \\[io.unsupported-transfer\\]"},
      {"a read on a device without buffered I/O",
       [] {
         OnFreshMachine([](TestDriver& driver, plat::ke::Kernel&) {
           PDEVICE_OBJECT device = driver.Create(u"\\Device\\Target");
           device->Flags &= ~DO_BUFFERED_IO;
           PFILE_OBJECT file = Open(u"\\Device\\Target");
           std::byte out[4];
           FileRead(file, UserMode, out);
         });
       },
       "FATAL \\[io.unsupported-transfer\\].*no DO_BUFFERED_IO"},
      {"a failed load leaving a device",
       [] {
         plat::Simulation sim;
         plat::ke::Kernel& machine = sim.AddMachine("M");
         sim.RunUserThread(machine, "test", [] {
           PDRIVER_OBJECT driver;
           LoadDriver(DriverImage{u"leaky",
                                  [](PDRIVER_OBJECT d, PUNICODE_STRING) {
                                    PDEVICE_OBJECT device;
                                    IoCreateDevice(d, 0, nullptr, FILE_DEVICE_UNKNOWN, 0, FALSE,
                                                   &device);
                                    return STATUS_UNSUCCESSFUL;
                                  }},
                      &driver);
         });
       },
       "FATAL \\[io.devices-left-after-failed-load\\]"},
      {"a dispatch routine returning at a raised level",
       [] {
         ControlOn([](PDEVICE_OBJECT, PIRP irp) {
           KIRQL old;
           KeRaiseIrql(DISPATCH_LEVEL, &old);
           return Complete(irp, STATUS_SUCCESS);
         });
       },
       "FATAL \\[io.dispatch-changed-level\\].*DEVICE_CONTROL returned at IRQL 2, not at IRQL 0"},
      {"a dispatch routine returning with a spin lock",
       [] {
         OnFreshMachine([](TestDriver& driver, plat::ke::Kernel&) {
           KSPIN_LOCK lock;
           KeInitializeSpinLock(&lock);
           PDEVICE_OBJECT device =
               driver.Create(u"\\Device\\Locker", [&lock](PDEVICE_OBJECT, PIRP irp) {
                 KeAcquireSpinLockAtDpcLevel(&lock);
                 return Complete(irp, STATUS_SUCCESS);
               });
           PIRP irp = IoAllocateIrp(1, FALSE);
           IoGetNextIrpStackLocation(irp)->MajorFunction = IRP_MJ_FLUSH_BUFFERS;
           KIRQL old;
           KeRaiseIrql(DISPATCH_LEVEL, &old);  // sent from DISPATCH_LEVEL, as a DPC would
           IoCallDriver(device, irp);
         });
       },
       "FATAL \\[io.dispatch-holds-spin-lock\\]: the dispatch routine of device 1 "
       "\\\\Device\\\\Locker for FLUSH returned holding a spin lock"},
      {"a passive-level service at DISPATCH_LEVEL",
       [] {
         OnFreshMachine([](TestDriver& driver, plat::ke::Kernel&) {
           KIRQL old;
           KeRaiseIrql(DISPATCH_LEVEL, &old);
           PDEVICE_OBJECT device;
           IoCreateDevice(driver.object(), 0, nullptr, FILE_DEVICE_UNKNOWN, 0, FALSE, &device);
         });
       },
       "FATAL \\[irql.not-passive\\]: IoCreateDevice called at IRQL 2"},
      {"a cancel routine keeping the cancel spin lock",
       [] {
         ControlOn([](PDEVICE_OBJECT, PIRP irp) {
           IoMarkIrpPending(irp);
           IoSetCancelRoutine(irp, [](PDEVICE_OBJECT, PIRP irp) {
             irp->CancelRoutine = nullptr;  // no release
           });
           IoCancelIrp(irp);
           return STATUS_PENDING;
         });
       },
       "FATAL \\[io.cancel-lock-kept\\]"},
  };
  for (const DeathCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_DEATH(c.scenario(), c.pattern);
  }
}

}  // namespace
}  // namespace plat::io::testing
