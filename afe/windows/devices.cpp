// The devices the start creates beside the AFE device, each with its DOS
// link; the Diagnostic device, and what it answers until its own services
// arrive.
#include "afe/windows/afe_device.h"

namespace afe {

NTSTATUS CreateLinkedDevice(PDRIVER_OBJECT driver, ULONG extension_size, PCWSTR name, PCWSTR link,
                            DEVICE_TYPE type, PDEVICE_OBJECT* device) {
  UNICODE_STRING device_name;
  UNICODE_STRING link_name;
  RtlInitUnicodeString(&device_name, name);
  RtlInitUnicodeString(&link_name, link);
  NTSTATUS status = IoCreateDevice(driver, extension_size, &device_name, type, 0, FALSE, device);
  if (!NT_SUCCESS(status)) {
    *device = nullptr;
    return status;
  }
  status = IoCreateSymbolicLink(&link_name, &device_name);
  if (!NT_SUCCESS(status)) {
    IoDeleteDevice(*device);
    *device = nullptr;
    return status;
  }
  (*device)->Flags |= DO_BUFFERED_IO;
  (*device)->Flags &= ~DO_DEVICE_INITIALIZING;
  return STATUS_SUCCESS;
}

NTSTATUS DeleteLinkedDevice(PDEVICE_OBJECT device, PCWSTR link) {
  UNICODE_STRING link_name;
  RtlInitUnicodeString(&link_name, link);
  const NTSTATUS status = IoDeleteSymbolicLink(&link_name);
  IoDeleteDevice(device);
  return status;
}

NTSTATUS CreateDiagnosticDevice(PDRIVER_OBJECT driver, AfeDeviceExtension* afe,
                                PDEVICE_OBJECT* device) {
  if (driver == nullptr || afe == nullptr || device == nullptr) return STATUS_UNSUCCESSFUL;
  const NTSTATUS status =
      CreateLinkedDevice(driver, sizeof(DiagnosticDeviceExtension), kDiagnosticDeviceName,
                         kDiagnosticLinkName, kDiagnosticDeviceType, device);
  if (!NT_SUCCESS(status)) return status;
  auto& extension = *static_cast<DiagnosticDeviceExtension*>((*device)->DeviceExtension);
  extension.DeviceObject = *device;
  extension.DriverObject = driver;
  extension.Afe = afe;
  return STATUS_SUCCESS;
}

NTSTATUS DeleteDiagnosticDevice(PDEVICE_OBJECT device) {
  if (device == nullptr || device->DeviceExtension == nullptr) return STATUS_UNSUCCESSFUL;
  return DeleteLinkedDevice(device, kDiagnosticLinkName);
}

NTSTATUS DiagnosticControl(PDEVICE_OBJECT, PIRP irp) {
  return CompleteAfeRequest(irp, STATUS_SUCCESS, 0);
}

}  // namespace afe
