// The HAL and memory-manager calls that driver code makes: port and
// register access, PCI configuration data, slot resources, interrupt
// vectors, the DMA adapter with its common buffers, and device memory
// mappings. Each acts on the HAL of the calling context's machine (see
// machine_hal.h), at the machine's current virtual instant; a machine
// without a HAL is a fatal "hal-not-installed" diagnostic.
//
// Ports are numbers passed as pointers, as on the original:
//   WRITE_PORT_ULONG(reinterpret_cast<PULONG>(0xCF8), address);
// Registers are addresses inside a mapping MmMapIoSpace returned; they must
// be reached through READ_/WRITE_REGISTER_*, since touching the mapping
// directly faults.
#pragma once

#include "platform/ex/rtlstring.h"
#include "platform/ke/irql.h"
#include "platform/nt/ntdef.h"
#include "platform/nt/resources.h"

struct DEVICE_OBJECT;
struct DRIVER_OBJECT;
using PDEVICE_OBJECT = DEVICE_OBJECT*;
using PDRIVER_OBJECT = DRIVER_OBJECT*;

// ---- ports and registers ----
UCHAR READ_PORT_UCHAR(PUCHAR Port);
USHORT READ_PORT_USHORT(PUSHORT Port);
ULONG READ_PORT_ULONG(PULONG Port);
void WRITE_PORT_UCHAR(PUCHAR Port, UCHAR Value);
void WRITE_PORT_USHORT(PUSHORT Port, USHORT Value);
void WRITE_PORT_ULONG(PULONG Port, ULONG Value);

UCHAR READ_REGISTER_UCHAR(volatile UCHAR* Register);
USHORT READ_REGISTER_USHORT(volatile USHORT* Register);
ULONG READ_REGISTER_ULONG(volatile ULONG* Register);
void WRITE_REGISTER_UCHAR(volatile UCHAR* Register, UCHAR Value);
void WRITE_REGISTER_USHORT(volatile USHORT* Register, USHORT Value);
void WRITE_REGISTER_ULONG(volatile ULONG* Register, ULONG Value);

// ---- PCI configuration data ----
// Slot numbers are device | function << 5. Reading an absent function gives
// the 2 bytes of vendor id 0xFFFF, an absent bus 0 bytes; data types other
// than PCIConfiguration give 0 bytes. The result is the count transferred.
ULONG HalGetBusData(BUS_DATA_TYPE BusDataType, ULONG BusNumber, ULONG SlotNumber, PVOID Buffer,
                    ULONG Length);
ULONG HalGetBusDataByOffset(BUS_DATA_TYPE BusDataType, ULONG BusNumber, ULONG SlotNumber,
                            PVOID Buffer, ULONG Offset, ULONG Length);
ULONG HalSetBusData(BUS_DATA_TYPE BusDataType, ULONG BusNumber, ULONG SlotNumber, PVOID Buffer,
                    ULONG Length);
ULONG HalSetBusDataByOffset(BUS_DATA_TYPE BusDataType, ULONG BusNumber, ULONG SlotNumber,
                            PVOID Buffer, ULONG Offset, ULONG Length);

// ---- slot resources and interrupts ----
// PASSIVE_LEVEL. On success *AllocatedResources is a paged-pool list the
// caller frees with ExFreePool: one full descriptor for the PCI bus holding
// the slot's port ranges (CM_RESOURCE_PORT_IO), memory ranges and its
// interrupt (level = vector = the bus line, affinity 1, level-sensitive,
// shared). The registry path, class name, driver and device are not used.
NTSTATUS HalAssignSlotResources(PUNICODE_STRING RegistryPath, PUNICODE_STRING DriverClassName,
                                PDRIVER_OBJECT DriverObject, PDEVICE_OBJECT DeviceObject,
                                INTERFACE_TYPE BusType, ULONG BusNumber, ULONG SlotNumber,
                                PCM_RESOURCE_LIST* AllocatedResources);

// PCI line n gives vector 0x30 + n at IRQL 27 - n, affinity 1; 0 (with IRQL
// and affinity 0) for a line that does not exist or another bus type.
ULONG HalGetInterruptVector(INTERFACE_TYPE InterfaceType, ULONG BusNumber, ULONG BusInterruptLevel,
                            ULONG BusInterruptVector, PKIRQL Irql, PKAFFINITY Affinity);

// ---- DMA ----
inline constexpr ULONG DEVICE_DESCRIPTION_VERSION = 0;
inline constexpr ULONG DEVICE_DESCRIPTION_VERSION1 = 1;

// What a driver asks of a DMA adapter. The machine has no system DMA
// controller: only a bus master on the PCI bus gets an adapter.
struct DEVICE_DESCRIPTION {
  ULONG Version;
  BOOLEAN Master;
  BOOLEAN ScatterGather;
  BOOLEAN Dma32BitAddresses;
  BOOLEAN Dma64BitAddresses;
  ULONG BusNumber;
  INTERFACE_TYPE InterfaceType;
  ULONG MaximumLength;
};
using PDEVICE_DESCRIPTION = DEVICE_DESCRIPTION*;

// Owned by the machine's HAL for the machine's life; drivers never free it.
struct ADAPTER_OBJECT;
using PADAPTER_OBJECT = ADAPTER_OBJECT*;

// PASSIVE_LEVEL. A 32-bit bus master adapter; map registers = maximum length / 4096 + 1.
PADAPTER_OBJECT HalGetAdapter(PDEVICE_DESCRIPTION DeviceDescription, PULONG NumberOfMapRegisters);
// PASSIVE_LEVEL. Zero-filled, 4096-aligned memory; *LogicalAddress is its
// 32-bit bus address in the machine's DMA window, lowest free first. Null
// (and a logical address of 0) on failure.
PVOID HalAllocateCommonBuffer(PADAPTER_OBJECT AdapterObject, ULONG Length,
                              PPHYSICAL_ADDRESS LogicalAddress, BOOLEAN CacheEnabled);
// PASSIVE_LEVEL. Fatal unless length, logical and virtual address name a live buffer.
void HalFreeCommonBuffer(PADAPTER_OBJECT AdapterObject, ULONG Length,
                         PHYSICAL_ADDRESS LogicalAddress, PVOID VirtualAddress,
                         BOOLEAN CacheEnabled);

// ---- device memory ----
enum MEMORY_CACHING_TYPE : int { MmNonCached = 0, MmCached = 1, MmWriteCombined = 2 };

// A mapping of device memory; null when it cannot be made.
PVOID MmMapIoSpace(PHYSICAL_ADDRESS PhysicalAddress, SIZE_T NumberOfBytes,
                   MEMORY_CACHING_TYPE CacheType);
// Fatal unless (BaseAddress, NumberOfBytes) names a live mapping.
void MmUnmapIoSpace(PVOID BaseAddress, SIZE_T NumberOfBytes);
