#include "platform/machine/testing/claimed_controller.h"

#include "platform/ex/expool.h"
#include "platform/sim/controller_function.h"
#include "platform/sim/registers.h"

namespace plat::testing {

namespace reg = sim::reg;

NTSTATUS ClaimController(ClaimedController& c) {
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
      c.window = d.u.Memory.Start;
      c.window_length = d.u.Memory.Length;
    } else if (d.Type == CmResourceTypeInterrupt) {
      c.vector = HalGetInterruptVector(PCIBus, sim::kControllerLocation.bus, d.u.Interrupt.Level,
                                       d.u.Interrupt.Vector, &c.irql, &c.affinity);
    }
  }
  ExFreePool(list);
  c.registers = static_cast<volatile UCHAR*>(MmMapIoSpace(c.window, c.window_length, MmNonCached));
  return c.registers != nullptr ? STATUS_SUCCESS : STATUS_INSUFFICIENT_RESOURCES;
}

NTSTATUS TakeBuffers(ClaimedController& c, ULONG ring_words) {
  c.buffer_bytes = ring_words * 4;
  DEVICE_DESCRIPTION description{};
  description.Master = TRUE;
  description.Dma32BitAddresses = TRUE;
  description.InterfaceType = PCIBus;
  description.MaximumLength = c.buffer_bytes;
  ULONG map_registers = 0;
  c.adapter = HalGetAdapter(&description, &map_registers);
  if (c.adapter == nullptr) return STATUS_INSUFFICIENT_RESOURCES;
  for (int i = 0; i < 2; ++i) {
    c.buffers[i] = HalAllocateCommonBuffer(c.adapter, c.buffer_bytes, &c.logical[i], FALSE);
    if (c.buffers[i] == nullptr) return STATUS_INSUFFICIENT_RESOURCES;
  }
  return STATUS_SUCCESS;
}

void StartRing(ClaimedController& c, bool off_hook) {
  for (auto [base, i] : {std::pair{reg::kRxBase, 0}, {reg::kTxBase, 1}}) {
    const ULONG start = c.logical[i].u.LowPart;
    c.Write32(base, start);
    c.Write32(base + 4, start + c.buffer_bytes - 4);
    c.Write32(base + 8, start);
  }
  c.Write(reg::kDmaControl, reg::kDmaRewind);
  c.Write(reg::kDmaControl, 0);
  c.Write(reg::kHook, off_hook ? reg::kOffHook : 0);
  c.Write(reg::kRun, reg::kRunEngines);
}

void ReleaseController(ClaimedController& c, bool unmap, bool free_buffers) {
  if (free_buffers) {
    for (int i = 0; i < 2; ++i) {
      if (c.buffers[i] != nullptr) {
        HalFreeCommonBuffer(c.adapter, c.buffer_bytes, c.logical[i], c.buffers[i], FALSE);
      }
    }
  }
  if (unmap) MmUnmapIoSpace(const_cast<UCHAR*>(c.registers), c.window_length);
}

}  // namespace plat::testing
