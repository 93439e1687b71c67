// The start request, which takes the controller's resources in thirteen
// steps, and the stop request, which gives them back. A start that fails at
// any step releases everything it took, in reverse order, and leaves the
// driver stopped.
#include <cstring>
#include <utility>

#include "afe/windows/afe_state.h"
#include "platform/ex/expool.h"
#include "platform/reg/regroutines.h"

namespace afe {
namespace {

template <class T>
T* AllocateArray(UCHAR count) {
  void* block = ExAllocatePoolWithTag(PagedPool, sizeof(T) * count, kAfeTag);
  if (block != nullptr) std::memset(block, 0, sizeof(T) * count);
  return static_cast<T*>(block);
}

template <class T>
void FreeArray(T*& array) {
  if (array != nullptr) ExFreePool(array);
  array = nullptr;
}

bool AllocateResourceArrays(AfeDeviceExtension& e) {
  e.PortBusAddresses = AllocateArray<PHYSICAL_ADDRESS>(e.PortCount);
  e.PortLengths = AllocateArray<ULONG>(e.PortCount);
  e.PortAddresses = AllocateArray<PVOID>(e.PortCount);
  e.PortInMemory = AllocateArray<UCHAR>(e.PortCount);
  e.MemoryBusAddresses = AllocateArray<PHYSICAL_ADDRESS>(e.MemoryCount);
  e.MemoryLengths = AllocateArray<ULONG>(e.MemoryCount);
  e.MemoryAddresses = AllocateArray<PVOID>(e.MemoryCount);
  return e.PortBusAddresses != nullptr && e.PortLengths != nullptr && e.PortAddresses != nullptr &&
         e.PortInMemory != nullptr && e.MemoryBusAddresses != nullptr &&
         e.MemoryLengths != nullptr && e.MemoryAddresses != nullptr;
}

NTSTATUS MapRanges(AfeDeviceExtension& e) {
  for (UCHAR i = 0; i < e.MemoryCount; ++i) {
    e.MemoryAddresses[i] = MmMapIoSpace(e.MemoryBusAddresses[i], e.MemoryLengths[i], MmNonCached);
    if (e.MemoryAddresses[i] == nullptr) return STATUS_NO_MEMORY;
  }
  for (UCHAR i = 0; i < e.PortCount; ++i) {
    if (e.PortInMemory[i] != 0) {
      e.PortAddresses[i] = MmMapIoSpace(e.PortBusAddresses[i], e.PortLengths[i], MmNonCached);
      if (e.PortAddresses[i] == nullptr) return STATUS_NO_MEMORY;
    } else {
      e.PortAddresses[i] = reinterpret_cast<PVOID>(ULONG_PTR{e.PortBusAddresses[i].u.LowPart});
    }
  }
  return STATUS_SUCCESS;
}

NTSTATUS TakeCommonBuffers(AfeDeviceExtension& e) {
  if (e.CommonBufferSize == 0) return STATUS_SUCCESS;
  DEVICE_DESCRIPTION description{};
  description.Version = DEVICE_DESCRIPTION_VERSION;
  description.Master = TRUE;
  description.Dma32BitAddresses = TRUE;
  description.BusNumber = e.PciBus;
  description.InterfaceType = PCIBus;
  description.MaximumLength = e.CommonBufferSize;
  e.Adapter = HalGetAdapter(&description, &e.MapRegisters);
  if (e.Adapter == nullptr) return STATUS_UNSUCCESSFUL;
  e.TransmitVirtual =
      HalAllocateCommonBuffer(e.Adapter, e.CommonBufferSize, &e.TransmitLogical, FALSE);
  if (e.TransmitVirtual == nullptr) return STATUS_UNSUCCESSFUL;
  e.ReceiveVirtual =
      HalAllocateCommonBuffer(e.Adapter, e.CommonBufferSize, &e.ReceiveLogical, FALSE);
  if (e.ReceiveVirtual == nullptr) return STATUS_UNSUCCESSFUL;
  return STATUS_SUCCESS;
}

void DeleteStartedDevices(AfeDeviceExtension& e) {
  if (e.DiagnosticDevice != nullptr) DeleteDiagnosticDevice(e.DiagnosticDevice);
  e.DiagnosticDevice = nullptr;
  // The sound path finds no device from here on, while the removal waits
  // for the commands already inside it.
  if (PDEVICE_OBJECT sound = std::exchange(e.SoundDevice, nullptr)) DeleteSoundDevice(sound);
}

// IOCTL_SET_EVENT's reference, once no deferred call can set the event.
void ReleaseClientBlockEvent(AfeDeviceExtension& e) {
  if (e.ClientBlockEvent != nullptr) ObDereferenceObject(e.ClientBlockEvent);
  e.ClientBlockEvent = nullptr;
}

// Everything a start took, newest first; the driver is stopped again.
NTSTATUS UnwindStart(AfeDeviceExtension& e, NTSTATUS status) {
  ReleaseAfeResource(e, AfeResource::kInterrupt);
  DeleteStartedDevices(e);
  ReleaseAfeResource(e, AfeResource::kCommonBuffers);
  ReleaseAfeResource(e, AfeResource::kPortMappings);
  ReleaseAfeResource(e, AfeResource::kMemoryMappings);
  ReleaseAfeResource(e, AfeResource::kMemoryArrays);
  ReleaseAfeResource(e, AfeResource::kPortArrays);
  e.StartState = kAfeStopped;
  return status;
}

BOOLEAN StopDmaSynchronized(PVOID argument) {
  AfeInterface& table = *static_cast<AfeInterface*>(argument);
  table.AfeStopDma(table.Context);
  return TRUE;
}

}  // namespace

void FreeResourceArrays(AfeDeviceExtension& e) {
  FreeArray(e.PortBusAddresses);
  FreeArray(e.PortLengths);
  FreeArray(e.PortAddresses);
  FreeArray(e.PortInMemory);
  FreeArray(e.MemoryBusAddresses);
  FreeArray(e.MemoryLengths);
  FreeArray(e.MemoryAddresses);
}

void ReleaseAfeResource(AfeDeviceExtension& e, AfeResource kind) {
  switch (kind) {
    case AfeResource::kMemoryArrays:
      FreeArray(e.MemoryBusAddresses);
      FreeArray(e.MemoryLengths);
      FreeArray(e.MemoryAddresses);
      return;
    case AfeResource::kPortArrays:
      FreeArray(e.PortBusAddresses);
      FreeArray(e.PortLengths);
      FreeArray(e.PortAddresses);
      FreeArray(e.PortInMemory);
      return;
    case AfeResource::kMemoryMappings:
      for (UCHAR i = 0; e.MemoryAddresses != nullptr && i < e.MemoryCount; ++i) {
        if (e.MemoryAddresses[i] != nullptr)
          MmUnmapIoSpace(e.MemoryAddresses[i], e.MemoryLengths[i]);
        e.MemoryAddresses[i] = nullptr;
      }
      return;
    case AfeResource::kPortMappings:
      for (UCHAR i = 0; e.PortAddresses != nullptr && e.PortInMemory != nullptr && i < e.PortCount;
           ++i) {
        if (e.PortInMemory[i] != 0 && e.PortAddresses[i] != nullptr) {
          MmUnmapIoSpace(e.PortAddresses[i], e.PortLengths[i]);
        }
        e.PortAddresses[i] = nullptr;
      }
      return;
    case AfeResource::kInterrupt:
      if (e.Interrupt != nullptr) {
        IoDisconnectInterrupt(e.Interrupt);
        // A deferred call the last interrupt queued must not outlive the device.
        KeRemoveQueueDpc(&e.DeviceObject->Dpc);
      }
      e.Interrupt = nullptr;
      return;
    case AfeResource::kCommonBuffers:
      if (e.CommonBufferSize == 0) return;
      if (e.TransmitVirtual != nullptr) {
        HalFreeCommonBuffer(e.Adapter, e.CommonBufferSize, e.TransmitLogical, e.TransmitVirtual,
                            FALSE);
      }
      if (e.ReceiveVirtual != nullptr) {
        HalFreeCommonBuffer(e.Adapter, e.CommonBufferSize, e.ReceiveLogical, e.ReceiveVirtual,
                            FALSE);
      }
      e.TransmitVirtual = e.ReceiveVirtual = nullptr;
      e.TransmitLogical.QuadPart = e.ReceiveLogical.QuadPart = 0;
      return;
  }
}

NTSTATUS StartAfe(AfeDeviceExtension& e, PIRP irp) {
  std::memcpy(&e.EventBlock, irp->AssociatedIrp.SystemBuffer, sizeof e.EventBlock);
  e.StartState = kAfeStarting;
  e.SoundDevice = e.DiagnosticDevice = nullptr;

  if (!NT_SUCCESS(ProbeAfeController(e))) return UnwindStart(e, STATUS_UNSUCCESSFUL);
  if (!AllocateResourceArrays(e)) return UnwindStart(e, STATUS_NO_MEMORY);
  if (const NTSTATUS status = FindPciDevice(e); !NT_SUCCESS(status)) {
    return UnwindStart(e, status);
  }
  if (const NTSTATUS status = MapRanges(e); !NT_SUCCESS(status)) return UnwindStart(e, status);
  if (const NTSTATUS status = TakeCommonBuffers(e); !NT_SUCCESS(status)) {
    return UnwindStart(e, status);
  }
  AfeInterface& table = e.Interface;
  table.AfeSetResources(table.Context, e.MemoryAddresses, e.PortAddresses, e.TransmitLogical,
                        e.TransmitVirtual, e.ReceiveLogical, e.ReceiveVirtual);
  if (table.AfeInit(table.Context) == 0) return UnwindStart(e, STATUS_NO_SUCH_DEVICE);

  CreateSoundDevice(e.DriverObject, &e.SoundDevice);
  if (const NTSTATUS status = CreateDiagnosticDevice(e.DriverObject, &e, &e.DiagnosticDevice);
      !NT_SUCCESS(status)) {
    return UnwindStart(e, status);
  }
  IoInitializeDpcRequest(e.DeviceObject, AfeDpc);
  if (const NTSTATUS status =
          IoConnectInterrupt(&e.Interrupt, AfeIsr, &e, nullptr, e.InterruptVector, e.InterruptLevel,
                             e.InterruptLevel, e.InterruptLatched != 0 ? Latched : LevelSensitive,
                             e.InterruptShared, e.InterruptAffinity, FALSE);
      !NT_SUCCESS(status)) {
    e.Interrupt = nullptr;
    return UnwindStart(e, status);
  }

  e.PreviousStartState = kAfeStarting;
  e.StartState = kAfeStarted;
  AfeInterface* answer = &e.Interface;
  std::memcpy(irp->AssociatedIrp.SystemBuffer, &answer, sizeof answer);
  return STATUS_SUCCESS;
}

NTSTATUS StopAfe(AfeDeviceExtension& e, PIRP irp) {
  if (e.StartState == kAfeStarted) {
    KeSynchronizeExecution(e.Interrupt, StopDmaSynchronized, &e.Interface);
    DeleteStartedDevices(e);
    ReleaseAfeResource(e, AfeResource::kInterrupt);
    ReleaseClientBlockEvent(e);
    ReleaseAfeResource(e, AfeResource::kMemoryMappings);
    ReleaseAfeResource(e, AfeResource::kPortMappings);
    ReleaseAfeResource(e, AfeResource::kMemoryArrays);
    ReleaseAfeResource(e, AfeResource::kPortArrays);
    ReleaseAfeResource(e, AfeResource::kCommonBuffers);
    e.PreviousStartState = kAfeStarted;
    e.StartState = kAfeStopped;
  }
  return irp != nullptr ? CompleteAfeRequest(irp, STATUS_SUCCESS, 0) : STATUS_SUCCESS;
}

NTSTATUS RemoveAfe(AfeDeviceExtension& e, PIRP irp) {
  if (e.RegistryKey != 0) ZwClose(e.RegistryKey);
  e.RegistryKey = 0;
  if (e.RegistryPath.Buffer != nullptr) ExFreePool(e.RegistryPath.Buffer);
  e.RegistryPath = {};
  UNICODE_STRING link;
  RtlInitUnicodeString(&link, kAfeLinkName);
  IoDeleteSymbolicLink(&link);
  const NTSTATUS status = StopAfe(e, irp);
  DeleteStartedDevices(e);
  if (e.LowerDevice != nullptr) IoDetachDevice(e.LowerDevice);
  // The context outlives the device: nothing may reach the extension through it.
  if (e.Interface.Context != nullptr) e.Interface.Context->Owner = nullptr;
  IoDeleteDevice(e.DeviceObject);
  return status;
}

}  // namespace afe
