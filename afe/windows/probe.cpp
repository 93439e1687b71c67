// Finding the controller: the table scan through the configuration ports,
// the function on the PCI buses with its slot resources, and configuration
// access for the context.
#include "afe/windows/afe_state.h"
#include "afe/windows/controller_table.h"
#include "afe/windows/pci_config_ports.h"
#include "platform/ex/expool.h"
#include "platform/hal/hal_calls.h"

namespace afe {
namespace {

constexpr ULONG kConfigAddressPort = 0xCF8;
constexpr ULONG kConfigDataPort = 0xCFC;
constexpr ULONG kSearchedBuses = 5;
constexpr ULONG kSearchedSlots = 255;
constexpr ULONG kConfigBytes = 256;

// Fills the next of `count` range entries; false when all are filled already.
bool TakeRange(UCHAR& filled, UCHAR count, PHYSICAL_ADDRESS* addresses, ULONG* lengths,
               PHYSICAL_ADDRESS start, ULONG length) {
  if (filled >= count) return false;
  addresses[filled] = start;
  lengths[filled] = length;
  ++filled;
  return true;
}

NTSTATUS ClaimSlotResources(AfeDeviceExtension& extension, ULONG bus, ULONG slot) {
  UCHAR config[kConfigBytes];
  HalGetBusData(PCIConfiguration, bus, slot, config, kConfigBytes);
  extension.PciBus = bus;
  extension.PciSlot = slot;
  PCM_RESOURCE_LIST list = nullptr;
  const NTSTATUS assigned =
      HalAssignSlotResources(&extension.RegistryPath, nullptr, extension.DriverObject,
                             extension.DeviceObject, PCIBus, bus, slot, &list);
  HalGetBusData(PCIConfiguration, bus, slot, config, kConfigBytes);
  if (!NT_SUCCESS(assigned) || list == nullptr || list->Count == 0 ||
      list->List[0].PartialResourceList.Count == 0) {
    if (list != nullptr) ExFreePool(list);
    return STATUS_RESOURCE_DATA_NOT_FOUND;
  }
  NTSTATUS status = STATUS_SUCCESS;
  UCHAR ports = 0;
  UCHAR memories = 0;
  const CM_PARTIAL_RESOURCE_LIST& partials = list->List[0].PartialResourceList;
  for (ULONG i = 0; i < partials.Count; ++i) {
    const CM_PARTIAL_RESOURCE_DESCRIPTOR& d = partials.PartialDescriptors[i];
    if (d.Type == CmResourceTypePort) {
      const UCHAR index = ports;
      if (!TakeRange(ports, extension.PortCount, extension.PortBusAddresses, extension.PortLengths,
                     d.u.Port.Start, d.u.Port.Length)) {
        status = STATUS_INSUFFICIENT_RESOURCES;
        continue;
      }
      extension.PortInMemory[index] = (d.Flags & CM_RESOURCE_PORT_IO) == 0;
    } else if (d.Type == CmResourceTypeInterrupt) {
      extension.InterruptVector =
          HalGetInterruptVector(PCIBus, bus, d.u.Interrupt.Level, d.u.Interrupt.Vector,
                                &extension.InterruptLevel, &extension.InterruptAffinity);
      extension.InterruptLatched = (d.Flags & CM_RESOURCE_INTERRUPT_LATCHED) != 0;
      extension.InterruptShared = d.ShareDisposition == CmResourceShareShared;
    } else if (d.Type == CmResourceTypeMemory) {
      if (!TakeRange(memories, extension.MemoryCount, extension.MemoryBusAddresses,
                     extension.MemoryLengths, d.u.Memory.Start, d.u.Memory.Length)) {
        status = STATUS_INSUFFICIENT_RESOURCES;
      }
    }
  }
  ExFreePool(list);
  if (ports != extension.PortCount || memories != extension.MemoryCount) {
    status = STATUS_INSUFFICIENT_RESOURCES;
  }
  return status;
}

}  // namespace

ULONG ReadConfigDword(ULONG address) {
  WRITE_PORT_ULONG(reinterpret_cast<PULONG>(ULONG_PTR{kConfigAddressPort}), address);
  return READ_PORT_ULONG(reinterpret_cast<PULONG>(ULONG_PTR{kConfigDataPort}));
}

std::optional<ULONG> ScanAfeControllers() {
  std::optional<ULONG> wildcard;
  for (ULONG i = 0; i < kProbedFunctions; ++i) {
    const ULONG identity = ReadConfigDword(ConfigAddress(i));
    if (identity == kAbsentFunction) continue;
    const ULONG subsystem = ReadConfigDword(ConfigAddress(i, kConfigSubsystem));
    for (ULONG entry = 0; entry < AfeControllerTable.size(); ++entry) {
      const AfeControllerEntry& e = AfeControllerTable[entry];
      if (e.VendorId != (identity & 0xFFFF) || e.DeviceId != identity >> 16) continue;
      if (e.Subsystem == subsystem) return entry;
      if (e.Subsystem == kAnySubsystem) wildcard = entry;
    }
  }
  return wildcard;
}

NTSTATUS ProbeAfeController(AfeDeviceExtension& extension) {
  AfeInterface& table = extension.Interface;
  table.SoundPathRequest = SoundPathRequest;
  table.Context = &Globals().Context;
  KeInitializeSpinLock(&table.Lock);
  if (!ScanAfeControllers()) return STATUS_UNSUCCESSFUL;
  FillAfeInterface(table);
  InitAfeContext(extension);
  return STATUS_SUCCESS;
}

NTSTATUS FindPciDevice(AfeDeviceExtension& extension) {
  const AfeContext& context = *extension.Interface.Context;
  for (ULONG bus = 0; bus < kSearchedBuses; ++bus) {
    for (ULONG slot = 0; slot < kSearchedSlots; ++slot) {
      USHORT identity[2] = {};
      if (HalGetBusData(PCIConfiguration, bus, slot, identity, sizeof identity) !=
              sizeof identity ||
          identity[0] != context.VendorId || identity[1] != context.DeviceId) {
        continue;
      }
      return ClaimSlotResources(extension, bus, slot);
    }
  }
  return STATUS_UNSUCCESSFUL;
}

ULONG PciConfigAccess(AfeDeviceExtension* owner, ULONG write, PVOID buffer, ULONG offset,
                      ULONG length) {
  if (write != 0) {
    HalSetBusDataByOffset(PCIConfiguration, owner->PciBus, owner->PciSlot, buffer, offset, length);
  } else {
    HalGetBusDataByOffset(PCIConfiguration, owner->PciBus, owner->PciSlot, buffer, offset, length);
  }
  return 0;
}

}  // namespace afe
