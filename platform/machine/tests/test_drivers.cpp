#include "platform/machine/tests/test_drivers.h"

#include "platform/ex/expool.h"
#include "platform/ex/ob.h"
#include "platform/ex/rtlstring.h"
#include "platform/hal/hal_calls.h"
#include "platform/ke/dpc.h"
#include "platform/ke/interrupt.h"
#include "platform/ke/kernel.h"
#include "platform/reg/regroutines.h"
#include "platform/sim/controller_function.h"
#include "platform/sim/registers.h"

namespace plat::machine::testing {
namespace {

namespace reg = sim::reg;

// What a driver took of the controller, in its machine's slots.
struct FrontEnd {
  PHYSICAL_ADDRESS window{};
  ULONG window_length = 0;
  ULONG vector = 0;
  KIRQL irql = 0;
  KAFFINITY affinity = 0;
  volatile UCHAR* registers = nullptr;
  PADAPTER_OBJECT adapter = nullptr;
  PVOID buffers[2] = {};
  PHYSICAL_ADDRESS logical[2] = {};
  PKINTERRUPT interrupt = nullptr;
  HANDLE key = 0;
  KTIMER timer{};
  PIRP request = nullptr;

  void Write(ULONG r, UCHAR v) const { WRITE_REGISTER_UCHAR(registers + r, v); }
  void Write32(ULONG r, ULONG v) const {
    WRITE_REGISTER_ULONG(reinterpret_cast<volatile ULONG*>(registers + r), v);
  }
};

FrontEnd& Globals() { return ke::CurrentKernel().slots().Get<FrontEnd>(); }
constexpr ULONG kBufferBytes = kRingWords * 4;

NTSTATUS ClaimController(FrontEnd& fe) {
  const ULONG slot = sim::kControllerLocation.device | sim::kControllerLocation.function << 5;
  UNICODE_STRING path{};
  PCM_RESOURCE_LIST list = nullptr;
  NTSTATUS status = HalAssignSlotResources(&path, nullptr, nullptr, nullptr, PCIBus,
                                           sim::kControllerLocation.bus, slot, &list);
  if (!NT_SUCCESS(status)) return status;
  const CM_PARTIAL_RESOURCE_LIST& partials = list->List[0].PartialResourceList;
  for (ULONG i = 0; i < partials.Count; ++i) {
    const CM_PARTIAL_RESOURCE_DESCRIPTOR& d = partials.PartialDescriptors[i];
    if (d.Type == CmResourceTypeMemory) {
      fe.window = d.u.Memory.Start;
      fe.window_length = d.u.Memory.Length;
    } else if (d.Type == CmResourceTypeInterrupt) {
      fe.vector = HalGetInterruptVector(PCIBus, sim::kControllerLocation.bus, d.u.Interrupt.Level,
                                        d.u.Interrupt.Vector, &fe.irql, &fe.affinity);
    }
  }
  ExFreePool(list);
  fe.registers =
      static_cast<volatile UCHAR*>(MmMapIoSpace(fe.window, fe.window_length, MmNonCached));
  return fe.registers != nullptr ? STATUS_SUCCESS : STATUS_INSUFFICIENT_RESOURCES;
}

NTSTATUS TakeBuffers(FrontEnd& fe) {
  DEVICE_DESCRIPTION description{};
  description.Master = TRUE;
  description.Dma32BitAddresses = TRUE;
  description.InterfaceType = PCIBus;
  description.MaximumLength = kBufferBytes;
  ULONG map_registers = 0;
  fe.adapter = HalGetAdapter(&description, &map_registers);
  if (fe.adapter == nullptr) return STATUS_INSUFFICIENT_RESOURCES;
  for (int i = 0; i < 2; ++i) {
    fe.buffers[i] = HalAllocateCommonBuffer(fe.adapter, kBufferBytes, &fe.logical[i], FALSE);
    if (fe.buffers[i] == nullptr) return STATUS_INSUFFICIENT_RESOURCES;
  }
  return STATUS_SUCCESS;
}

// Receive ring in buffer 0, transmit ring in buffer 1; no period interrupts.
void StartRing(FrontEnd& fe) {
  for (auto [base, i] : {std::pair{reg::kRxBase, 0}, {reg::kTxBase, 1}}) {
    const ULONG start = fe.logical[i].u.LowPart;
    fe.Write32(base, start);
    fe.Write32(base + 4, start + kBufferBytes - 4);
    fe.Write32(base + 8, start);
  }
  fe.Write(reg::kDmaControl, reg::kDmaRewind);
  fe.Write(reg::kDmaControl, 0);
  fe.Write(reg::kHook, reg::kOffHook);
  fe.Write(reg::kRun, reg::kRunEngines);
}

void ReleaseController(FrontEnd& fe, bool unmap, bool free_buffers) {
  if (free_buffers) {
    for (int i = 0; i < 2; ++i) {
      if (fe.buffers[i] != nullptr) {
        HalFreeCommonBuffer(fe.adapter, kBufferBytes, fe.logical[i], fe.buffers[i], FALSE);
      }
    }
  }
  if (unmap) MmUnmapIoSpace(const_cast<UCHAR*>(fe.registers), fe.window_length);
}

void ImpulseUnload(PDRIVER_OBJECT driver) {
  FrontEnd& fe = Globals();
  fe.Write(reg::kRun, 0);
  fe.Write(reg::kHook, 0);
  ReleaseController(fe, true, true);
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
  ReleaseController(fe, leak != Leak::kMapping, leak != Leak::kCommonBuffer);
  IoDeleteDevice(driver->DeviceObject);
}

}  // namespace

NTSTATUS ImpulseDriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING) {
  FrontEnd& fe = Globals();
  NTSTATUS status = CreateDevice(driver, u"\\Device\\ImpulseTest");
  if (!NT_SUCCESS(status)) return status;
  if (NT_SUCCESS(status = ClaimController(fe))) status = TakeBuffers(fe);
  if (!NT_SUCCESS(status)) {
    IoDeleteDevice(driver->DeviceObject);
    return status;
  }
  static_cast<ULONG*>(fe.buffers[1])[kImpulseWord] = static_cast<std::uint16_t>(kImpulse);
  StartRing(fe);
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
  ClaimController(fe);
  TakeBuffers(fe);
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
