#include "platform/machine/tests/test_drivers.h"

#include "platform/ex/expool.h"
#include "platform/ex/ob.h"
#include "platform/ex/rtlstring.h"
#include "platform/hal/hal_calls.h"
#include "platform/ke/dpc.h"
#include "platform/ke/interrupt.h"
#include "platform/ke/kernel.h"
#include "platform/machine/testing/claimed_controller.h"
#include "platform/reg/regroutines.h"
#include "platform/sim/registers.h"

namespace plat::machine::testing {
namespace {

namespace reg = sim::reg;

// What a driver took of the controller, in its machine's slots.
struct FrontEnd : plat::testing::ClaimedController {
  HANDLE key = 0;
  KTIMER timer{};
  PIRP request = nullptr;
  PKINTERRUPT interrupt = nullptr;
};

FrontEnd& Globals() { return ke::CurrentKernel().slots().Get<FrontEnd>(); }

void ImpulseUnload(PDRIVER_OBJECT driver) {
  FrontEnd& fe = Globals();
  fe.Write(reg::kRun, 0);
  fe.Write(reg::kHook, 0);
  plat::testing::ReleaseController(fe, true, true);
  IoDeleteDevice(driver->DeviceObject);
}

NTSTATUS CreateDevice(PDRIVER_OBJECT driver, const char16_t* name) {
  UNICODE_STRING device_name;
  RtlInitUnicodeString(&device_name, name);
  PDEVICE_OBJECT device = nullptr;
  return IoCreateDevice(driver, 0, &device_name, 0x22, 0, FALSE, &device);
}

BOOLEAN NoInterrupt(PKINTERRUPT, PVOID) { return FALSE; }
void NeverEnds(PVOID) {
  KEVENT never;
  KeInitializeEvent(&never, NotificationEvent, FALSE);
  KeWaitForSingleObject(&never, Executive, KernelMode, FALSE, nullptr);
}

void LeakUnload(PDRIVER_OBJECT driver) {
  FrontEnd& fe = Globals();
  const Leak leak = ke::CurrentKernel().slots().Get<LeakChoice>().leak;
  if (leak != Leak::kHandle && fe.key != 0) ZwClose(fe.key);
  if (leak != Leak::kTimer) KeCancelTimer(&fe.timer);
  if (leak != Leak::kRequest && fe.request != nullptr) IoFreeIrp(fe.request);
  if (leak != Leak::kLink) {
    UNICODE_STRING link;
    RtlInitUnicodeString(&link, u"\\DosDevices\\LeakTest");
    IoDeleteSymbolicLink(&link);
  }
  if (leak != Leak::kInterrupt) IoDisconnectInterrupt(fe.interrupt);
  plat::testing::ReleaseController(fe, leak != Leak::kMapping, leak != Leak::kCommonBuffer);
  IoDeleteDevice(driver->DeviceObject);
}

}  // namespace

NTSTATUS ImpulseDriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING) {
  FrontEnd& fe = Globals();
  NTSTATUS status = CreateDevice(driver, u"\\Device\\ImpulseTest");
  if (!NT_SUCCESS(status)) return status;
  if (NT_SUCCESS(status = plat::testing::ClaimController(fe))) {
    status = plat::testing::TakeBuffers(fe, kRingWords);
  }
  if (!NT_SUCCESS(status)) {
    IoDeleteDevice(driver->DeviceObject);
    return status;
  }
  static_cast<ULONG*>(fe.buffers[1])[kImpulseWord] = static_cast<std::uint16_t>(kImpulse);
  plat::testing::StartRing(fe);
  driver->DriverUnload = ImpulseUnload;
  return STATUS_SUCCESS;
}

NTSTATUS LeakDriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING) {
  FrontEnd& fe = Globals();
  const Leak leak = ke::CurrentKernel().slots().Get<LeakChoice>().leak;
  NTSTATUS status = CreateDevice(driver, u"\\Device\\LeakTest");
  if (!NT_SUCCESS(status)) return status;
  UNICODE_STRING link, target;
  RtlInitUnicodeString(&link, u"\\DosDevices\\LeakTest");
  RtlInitUnicodeString(&target, u"\\Device\\LeakTest");
  IoCreateSymbolicLink(&link, &target);
  plat::testing::ClaimController(fe);
  plat::testing::TakeBuffers(fe, kRingWords);
  IoConnectInterrupt(&fe.interrupt, NoInterrupt, &fe, nullptr, fe.vector, fe.irql, fe.irql,
                     LevelSensitive, TRUE, fe.affinity, FALSE);
  UNICODE_STRING key;
  RtlInitUnicodeString(&key,
                       u"\\Registry\\Machine\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion");
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &key, OBJ_CASE_INSENSITIVE, 0, nullptr);
  ZwOpenKey(&fe.key, KEY_READ, &attributes);
  KeInitializeTimer(&fe.timer);
  LARGE_INTEGER due;
  due.QuadPart = -3600LL * 10'000'000;  // an hour: still queued at shutdown
  KeSetTimer(&fe.timer, due, nullptr);
  fe.request = IoAllocateIrp(1, FALSE);
  if (leak == Leak::kPoolBlock) ExAllocatePoolWithTag(NonPagedPool, 24, ex::PoolTag("Leak"));
  if (leak == Leak::kThread) {
    HANDLE thread = 0;
    PsCreateSystemThread(&thread, THREAD_ALL_ACCESS, nullptr, 0, nullptr, NeverEnds, nullptr);
    ZwClose(thread);
  }
  driver->DriverUnload = LeakUnload;
  return STATUS_SUCCESS;
}

NTSTATUS FailingDriverEntry(PDRIVER_OBJECT, PUNICODE_STRING) { return STATUS_NO_SUCH_DEVICE; }

}  // namespace plat::machine::testing
