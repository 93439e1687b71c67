// The driver-facing HAL calls over the calling machine's Hal.
#include "platform/hal/hal_calls.h"

#include <cstdint>
#include <cstring>
#include <limits>
#include <span>

#include "platform/ex/expool.h"
#include "platform/hal/machine_hal.h"
#include "platform/ke/context.h"

namespace {

using plat::hal::Hal;
using plat::hal::Instant;
using plat::hal::MachineHal;

constexpr ULONG kResourceListTag = plat::ex::PoolTag("Hal ");
constexpr USHORT kResourceListVersion = 1;

MachineHal& Here() { return plat::hal::HalOf(plat::ke::CurrentKernel()); }

// Runs one device access at the machine's present. When the access asserted
// an interrupt line, the CPU takes the interrupt at once if its level allows,
// as hardware would before the next instruction.
template <typename Access>
std::uint32_t DeviceAccess(Access access) {
  MachineHal& machine = Here();
  const std::uint64_t edges = machine.rising_edges();
  const std::uint32_t value = access(machine.hal(), machine.kernel().Now());
  if (machine.rising_edges() != edges) {
    plat::ke::Context* self = plat::ke::CurrentContextOrNull();
    if (self != nullptr && self->IsThread()) machine.kernel().SwitchPoint(*self);
  }
  return value;
}

// A port number passed as a pointer; beyond 32 bits no device decodes it.
std::uint32_t PortNumber(const void* port) {
  const auto number = reinterpret_cast<std::uintptr_t>(port);
  return number <= std::numeric_limits<std::uint32_t>::max()
             ? static_cast<std::uint32_t>(number)
             : std::numeric_limits<std::uint32_t>::max();
}

template <typename T>
T ReadPort(T* port) {
  return static_cast<T>(DeviceAccess(
      [port](Hal& hal, Instant now) { return hal.ReadPort(now, PortNumber(port), sizeof(T)); }));
}

template <typename T>
void WritePort(T* port, T value) {
  DeviceAccess([port, value](Hal& hal, Instant now) {
    hal.WritePort(now, PortNumber(port), sizeof(T), value);
    return 0u;
  });
}

template <typename T>
T ReadRegister(volatile T* address) {
  return static_cast<T>(DeviceAccess(
      [address](Hal& hal, Instant now) { return hal.ReadRegister(now, address, sizeof(T)); }));
}

template <typename T>
void WriteRegister(volatile T* address, T value) {
  DeviceAccess([address, value](Hal& hal, Instant now) {
    hal.WriteRegister(now, address, sizeof(T), value);
    return 0u;
  });
}

std::span<std::uint8_t> Bytes(PVOID buffer, ULONG length) {
  return {static_cast<std::uint8_t*>(buffer), length};
}

// The machine's PCI buses when the data type addresses them, else null.
plat::hal::PciBus* ConfigurationBus(BUS_DATA_TYPE type) {
  MachineHal& machine = Here();
  return type == PCIConfiguration ? &machine.hal().Bus() : nullptr;
}

CM_PARTIAL_RESOURCE_DESCRIPTOR Partial(const plat::hal::ResourceDescriptor& entry) {
  CM_PARTIAL_RESOURCE_DESCRIPTOR partial{};
  partial.ShareDisposition = entry.shared ? CmResourceShareShared : CmResourceShareDeviceExclusive;
  switch (entry.type) {
    case plat::hal::ResourceType::kPort:
      partial.Type = CmResourceTypePort;
      partial.Flags = entry.io_port ? CM_RESOURCE_PORT_IO : CM_RESOURCE_PORT_MEMORY;
      partial.u.Port.Start.QuadPart = static_cast<LONGLONG>(entry.start);
      partial.u.Port.Length = entry.length;
      break;
    case plat::hal::ResourceType::kMemory:
      partial.Type = CmResourceTypeMemory;
      partial.Flags = CM_RESOURCE_MEMORY_READ_WRITE;
      partial.u.Memory.Start.QuadPart = static_cast<LONGLONG>(entry.start);
      partial.u.Memory.Length = entry.length;
      break;
    case plat::hal::ResourceType::kInterrupt:
      partial.Type = CmResourceTypeInterrupt;
      partial.Flags = entry.level_sensitive ? CM_RESOURCE_INTERRUPT_LEVEL_SENSITIVE
                                            : CM_RESOURCE_INTERRUPT_LATCHED;
      partial.u.Interrupt.Level = entry.level;
      partial.u.Interrupt.Vector = entry.vector;
      partial.u.Interrupt.Affinity = static_cast<KAFFINITY>(entry.affinity);
      break;
  }
  return partial;
}

}  // namespace

UCHAR READ_PORT_UCHAR(PUCHAR Port) { return ReadPort(Port); }
USHORT READ_PORT_USHORT(PUSHORT Port) { return ReadPort(Port); }
ULONG READ_PORT_ULONG(PULONG Port) { return ReadPort(Port); }
void WRITE_PORT_UCHAR(PUCHAR Port, UCHAR Value) { WritePort(Port, Value); }
void WRITE_PORT_USHORT(PUSHORT Port, USHORT Value) { WritePort(Port, Value); }
void WRITE_PORT_ULONG(PULONG Port, ULONG Value) { WritePort(Port, Value); }

UCHAR READ_REGISTER_UCHAR(volatile UCHAR* Register) { return ReadRegister(Register); }
USHORT READ_REGISTER_USHORT(volatile USHORT* Register) { return ReadRegister(Register); }
ULONG READ_REGISTER_ULONG(volatile ULONG* Register) { return ReadRegister(Register); }
void WRITE_REGISTER_UCHAR(volatile UCHAR* Register, UCHAR Value) { WriteRegister(Register, Value); }
void WRITE_REGISTER_USHORT(volatile USHORT* Register, USHORT Value) {
  WriteRegister(Register, Value);
}
void WRITE_REGISTER_ULONG(volatile ULONG* Register, ULONG Value) { WriteRegister(Register, Value); }

ULONG HalGetBusData(BUS_DATA_TYPE BusDataType, ULONG BusNumber, ULONG SlotNumber, PVOID Buffer,
                    ULONG Length) {
  return HalGetBusDataByOffset(BusDataType, BusNumber, SlotNumber, Buffer, 0, Length);
}

ULONG HalGetBusDataByOffset(BUS_DATA_TYPE BusDataType, ULONG BusNumber, ULONG SlotNumber,
                            PVOID Buffer, ULONG Offset, ULONG Length) {
  plat::hal::PciBus* bus = ConfigurationBus(BusDataType);
  return bus ? bus->GetBusData(BusNumber, SlotNumber, Bytes(Buffer, Length), Offset) : 0;
}

ULONG HalSetBusData(BUS_DATA_TYPE BusDataType, ULONG BusNumber, ULONG SlotNumber, PVOID Buffer,
                    ULONG Length) {
  return HalSetBusDataByOffset(BusDataType, BusNumber, SlotNumber, Buffer, 0, Length);
}

ULONG HalSetBusDataByOffset(BUS_DATA_TYPE BusDataType, ULONG BusNumber, ULONG SlotNumber,
                            PVOID Buffer, ULONG Offset, ULONG Length) {
  plat::hal::PciBus* bus = ConfigurationBus(BusDataType);
  return bus ? bus->SetBusData(BusNumber, SlotNumber, Bytes(Buffer, Length), Offset) : 0;
}

NTSTATUS HalAssignSlotResources(PUNICODE_STRING, PUNICODE_STRING, PDRIVER_OBJECT, PDEVICE_OBJECT,
                                INTERFACE_TYPE BusType, ULONG BusNumber, ULONG SlotNumber,
                                PCM_RESOURCE_LIST* AllocatedResources) {
  plat::ke::RequirePassiveLevel("HalAssignSlotResources");
  MachineHal& machine = Here();
  *AllocatedResources = nullptr;
  if (BusType != PCIBus) return STATUS_NOT_IMPLEMENTED;
  const plat::hal::SlotResources assigned =
      machine.hal().AssignSlotResources(BusNumber, SlotNumber);
  if (!NT_SUCCESS(assigned.status)) return assigned.status;

  const auto count = static_cast<ULONG>(assigned.list.size());
  const SIZE_T bytes = CmResourceListBytes(count);
  auto* list =
      static_cast<PCM_RESOURCE_LIST>(ExAllocatePoolWithTag(PagedPool, bytes, kResourceListTag));
  if (list == nullptr) return STATUS_INSUFFICIENT_RESOURCES;
  std::memset(list, 0, bytes);
  list->Count = 1;
  CM_FULL_RESOURCE_DESCRIPTOR& full = list->List[0];
  full.InterfaceType = PCIBus;
  full.BusNumber = BusNumber;
  full.PartialResourceList.Version = kResourceListVersion;
  full.PartialResourceList.Revision = kResourceListVersion;
  full.PartialResourceList.Count = count;
  CM_PARTIAL_RESOURCE_DESCRIPTOR* partials = full.PartialResourceList.PartialDescriptors;
  for (ULONG i = 0; i < count; ++i) partials[i] = Partial(assigned.list[i]);
  *AllocatedResources = list;
  return STATUS_SUCCESS;
}

ULONG HalGetInterruptVector(INTERFACE_TYPE InterfaceType, ULONG BusNumber, ULONG,
                            ULONG BusInterruptVector, PKIRQL Irql, PKAFFINITY Affinity) {
  plat::hal::InterruptVector vector;
  if (InterfaceType == PCIBus && BusNumber < plat::hal::kPciBusCount) {
    vector = plat::hal::InterruptVectorFor(BusInterruptVector);
  }
  *Irql = vector.irql;
  *Affinity = static_cast<KAFFINITY>(vector.affinity);
  return vector.vector;
}

PADAPTER_OBJECT HalGetAdapter(PDEVICE_DESCRIPTION DeviceDescription, PULONG NumberOfMapRegisters) {
  plat::ke::RequirePassiveLevel("HalGetAdapter");
  MachineHal& machine = Here();
  if (!DeviceDescription->Master || DeviceDescription->InterfaceType != PCIBus) return nullptr;
  const auto grant = machine.hal().GetAdapter(DeviceDescription->MaximumLength);
  if (!grant) return nullptr;
  *NumberOfMapRegisters = grant->map_registers;
  return machine.AddAdapter(DeviceDescription->MaximumLength, grant->map_registers);
}

PVOID HalAllocateCommonBuffer(PADAPTER_OBJECT AdapterObject, ULONG Length,
                              PPHYSICAL_ADDRESS LogicalAddress, BOOLEAN) {
  plat::ke::RequirePassiveLevel("HalAllocateCommonBuffer");
  MachineHal& machine = Here();
  machine.RequireAdapter(AdapterObject, "HalAllocateCommonBuffer");
  const auto buffer = machine.hal().AllocateCommonBuffer(Length);
  LogicalAddress->QuadPart = buffer ? buffer->bus_address : 0;
  return buffer ? buffer->host : nullptr;
}

void HalFreeCommonBuffer(PADAPTER_OBJECT AdapterObject, ULONG Length,
                         PHYSICAL_ADDRESS LogicalAddress, PVOID VirtualAddress, BOOLEAN) {
  plat::ke::RequirePassiveLevel("HalFreeCommonBuffer");
  MachineHal& machine = Here();
  machine.RequireAdapter(AdapterObject, "HalFreeCommonBuffer");
  machine.hal().FreeCommonBuffer(VirtualAddress,
                                 static_cast<std::uint64_t>(LogicalAddress.QuadPart), Length);
}

PVOID MmMapIoSpace(PHYSICAL_ADDRESS PhysicalAddress, SIZE_T NumberOfBytes, MEMORY_CACHING_TYPE) {
  MachineHal& machine = Here();
  if (NumberOfBytes > std::numeric_limits<std::uint32_t>::max()) return nullptr;
  return machine.hal().MapIoSpace(static_cast<std::uint64_t>(PhysicalAddress.QuadPart),
                                  static_cast<std::uint32_t>(NumberOfBytes));
}

void MmUnmapIoSpace(PVOID BaseAddress, SIZE_T NumberOfBytes) {
  Here().hal().UnmapIoSpace(BaseAddress, NumberOfBytes);
}
