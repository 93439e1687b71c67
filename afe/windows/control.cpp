// The driver's entry and dispatch: the AFE device with its link, and the
// routines that tell the three devices apart by type.
#include <cstring>

#include "afe/windows/afe_state.h"
#include "platform/ex/expool.h"
#include "platform/ke/interlocked.h"
#include "platform/reg/regroutines.h"
#include "platform/reg/system_version.h"

namespace afe {
namespace {

// A zero-filled paged-pool copy, two bytes longer than the source.
NTSTATUS CopyRegistryPath(UNICODE_STRING& copy, PCUNICODE_STRING source) {
  const ULONG bytes = ULONG{source->Length} + sizeof(WCHAR);
  auto* buffer = static_cast<PWSTR>(ExAllocatePoolWithTag(PagedPool, bytes, kAfeTag));
  if (buffer == nullptr) return STATUS_NO_MEMORY;
  std::memset(buffer, 0, bytes);
  std::memcpy(buffer, source->Buffer, source->Length);
  copy.Buffer = buffer;
  copy.Length = source->Length;
  copy.MaximumLength = static_cast<USHORT>(bytes);
  return STATUS_SUCCESS;
}

void FreeString(UNICODE_STRING& string) {
  if (string.Buffer != nullptr) ExFreePool(string.Buffer);
  string = {};
}

NTSTATUS CreateAfeDevice(PDRIVER_OBJECT driver) {
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, kAfeDeviceName);
  PDEVICE_OBJECT device = nullptr;
  NTSTATUS status =
      IoCreateDevice(driver, sizeof(AfeDeviceExtension), &name, kAfeDeviceType, 0, FALSE, &device);
  if (!NT_SUCCESS(status)) return status;
  AfeDeviceExtension& e = *AfeExtension(device);
  e.DriverObject = driver;
  e.CreationValue = 0;
  e.DeviceObject = device;
  e.DeviceName = name;
  AfeGlobals& globals = Globals();
  if (!NT_SUCCESS(CopyRegistryPath(e.RegistryPath, &globals.RegistryPath))) return STATUS_NO_MEMORY;
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &e.RegistryPath, OBJ_CASE_INSENSITIVE, 0, nullptr);
  if (!NT_SUCCESS(ZwOpenKey(&e.RegistryKey, KEY_READ, &attributes))) e.RegistryKey = 0;
  FreeString(globals.RegistryPath);
  e.SoundDevice = e.DiagnosticDevice = nullptr;
  e.StartState = kAfeStopped;
  e.Started = 0;
  UNICODE_STRING link;
  RtlInitUnicodeString(&link, kAfeLinkName);
  status = IoCreateSymbolicLink(&link, &name);
  if (!NT_SUCCESS(status)) return status;
  device->Flags |= DO_BUFFERED_IO;
  device->Flags &= ~DO_DEVICE_INITIALIZING;
  return STATUS_SUCCESS;
}

AfeDeviceExtension& AfeOfDiagnostic(PDEVICE_OBJECT device) {
  return *static_cast<DiagnosticDeviceExtension*>(device->DeviceExtension)->Afe;
}

bool StartedAfeDevice(PDEVICE_OBJECT device) {
  return device->DeviceType == kAfeDeviceType && AfeExtension(device)->Started != 0;
}

// Start and stop hand addresses across and delete devices: only the data
// pump, a kernel-mode requestor, may send them.
NTSTATUS StartOrStop(AfeDeviceExtension& e, PIRP irp, ULONG code) {
  if (irp->RequestorMode != KernelMode) return CompleteAfeRequest(irp, STATUS_ACCESS_DENIED, 0);
  if (code == IOCTL_MODEM_STOP) return RemoveAfe(e, irp);
  const PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  if (stack->Parameters.DeviceIoControl.InputBufferLength < kStartBufferBytes ||
      stack->Parameters.DeviceIoControl.OutputBufferLength < kStartBufferBytes) {
    return CompleteAfeRequest(irp, STATUS_INVALID_PARAMETER, 0);
  }
  // One start per load: a second would take the controller a second time.
  if (e.StartState != kAfeStopped || e.Started != 0) {
    return CompleteAfeRequest(irp, STATUS_INVALID_DEVICE_STATE, 0);
  }
  const NTSTATUS status = StartAfe(e, irp);
  if (!NT_SUCCESS(status)) return CompleteAfeRequest(irp, status, 0);
  e.Started = 1;
  return CompleteAfeRequest(irp, status, kStartBufferBytes);
}

}  // namespace

NTSTATUS CompleteAfeRequest(PIRP irp, NTSTATUS status, ULONG_PTR information) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

NTSTATUS DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registry_path) {
  if (RegSystemVersionMajor() != u'4') return STATUS_UNSUCCESSFUL;
  AfeGlobals& globals = Globals();
  if (!NT_SUCCESS(CopyRegistryPath(globals.RegistryPath, registry_path))) return STATUS_NO_MEMORY;
  driver->DriverUnload = AfeUnload;
  driver->MajorFunction[IRP_MJ_CREATE] = AfeCreate;
  driver->MajorFunction[IRP_MJ_CLOSE] = AfeClose;
  driver->MajorFunction[IRP_MJ_READ] = AfeRead;
  driver->MajorFunction[IRP_MJ_WRITE] = AfeWrite;
  driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = AfeDeviceControl;
  CreateAfeDevice(driver);
  // A device that could not be made leaves the driver's copy behind.
  FreeString(globals.RegistryPath);
  return STATUS_SUCCESS;
}

void AfeUnload(PDRIVER_OBJECT driver) {
  // Normally the data pump's stop request has removed every device. When
  // it never came, the unload takes the devices and resources down itself.
  for (PDEVICE_OBJECT device = driver->DeviceObject; device != nullptr;
       device = device->NextDevice) {
    if (device->DeviceType == kAfeDeviceType) {
      RemoveAfe(*AfeExtension(device), nullptr);
      return;
    }
  }
}

NTSTATUS AfeCreate(PDEVICE_OBJECT device, PIRP irp) {
  if (device->DeviceType == kDiagnosticDeviceType) {
    AfeDeviceExtension& afe = AfeOfDiagnostic(device);
    // Only while nobody holds the AFE device, and only one owner at a time.
    if (InterlockedCompareExchange(&afe.OpenCount, 1, 0) != 0) {
      return CompleteAfeRequest(irp, STATUS_UNSUCCESSFUL, 0);
    }
    afe.DiagnosticOwner = 1;
  } else if (device->DeviceType == kAfeDeviceType) {
    InterlockedIncrement(&AfeExtension(device)->OpenCount);
  }
  return CompleteAfeRequest(irp, STATUS_SUCCESS, 0);
}

NTSTATUS AfeClose(PDEVICE_OBJECT device, PIRP irp) {
  if (device->DeviceType == kDiagnosticDeviceType) {
    AfeDeviceExtension& afe = AfeOfDiagnostic(device);
    afe.DiagnosticOwner = 0;
    InterlockedDecrement(&afe.OpenCount);
  } else if (device->DeviceType == kAfeDeviceType) {
    InterlockedDecrement(&AfeExtension(device)->OpenCount);
  }
  return CompleteAfeRequest(irp, STATUS_SUCCESS, 0);
}

NTSTATUS AfeRead(PDEVICE_OBJECT device, PIRP irp) {
  if (!StartedAfeDevice(device)) return CompleteAfeRequest(irp, STATUS_SUCCESS, 0);
  AfeInterface& table = AfeExtension(device)->Interface;
  const ULONG length = IoGetCurrentIrpStackLocation(irp)->Parameters.Read.Length;
  const ULONG copied = table.AfeReadBlock(table.Context, irp->AssociatedIrp.SystemBuffer, length);
  return CompleteAfeRequest(irp, STATUS_SUCCESS, copied);
}

NTSTATUS AfeWrite(PDEVICE_OBJECT device, PIRP irp) {
  if (!StartedAfeDevice(device)) return CompleteAfeRequest(irp, STATUS_SUCCESS, 0);
  AfeInterface& table = AfeExtension(device)->Interface;
  const ULONG length = IoGetCurrentIrpStackLocation(irp)->Parameters.Write.Length;
  const ULONG copied = table.AfeWriteBlock(table.Context, irp->AssociatedIrp.SystemBuffer, length);
  return CompleteAfeRequest(irp, STATUS_SUCCESS, copied);
}

NTSTATUS AfeDeviceControl(PDEVICE_OBJECT device, PIRP irp) {
  if (device->DeviceType == kSoundDeviceType) return SoundControl(device, irp);
  if (device->DeviceType == kDiagnosticDeviceType) return DiagnosticControl(device, irp);
  const ULONG code = IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.IoControlCode;
  if (code == IOCTL_MODEM_START || code == IOCTL_MODEM_STOP) {
    return StartOrStop(*AfeExtension(device), irp, code);
  }
  if (IsControlAfeCode(code)) return ControlAfe(*AfeExtension(device), irp);
  return CompleteAfeRequest(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
}

}  // namespace afe
