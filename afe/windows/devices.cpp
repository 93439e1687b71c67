// The devices the start creates beside the AFE device, each with its DOS
// link.
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

}  // namespace afe
