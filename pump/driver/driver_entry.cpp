// vxdsp's entry: the version check, the DSP device with its link, and its
// attachment to the front end's AFE device.
#include <cstring>
#include <new>

#include "platform/ex/expool.h"
#include "platform/ke/kernel.h"
#include "platform/reg/regroutines.h"
#include "platform/reg/system_version.h"
#include "pump/driver/dsp_device.h"
#include "pump/driver/sound_path_callbacks.h"

namespace pump {
namespace {

// A zero-filled 256-byte paged copy; none (an empty string) when the pool
// refuses or the path does not fit.
UNICODE_STRING CopyRegistryPath(const UNICODE_STRING& path) {
  UNICODE_STRING copy{};
  if (path.Buffer == nullptr || ULONG{path.Length} + sizeof(WCHAR) > kRegistryPathBytes) {
    return copy;
  }
  auto* buffer = static_cast<PWSTR>(ExAllocatePoolWithTag(PagedPool, kRegistryPathBytes, kDspTag));
  if (buffer == nullptr) return copy;
  std::memset(buffer, 0, kRegistryPathBytes);
  std::memcpy(buffer, path.Buffer, path.Length);
  copy.Buffer = buffer;
  copy.Length = path.Length;
  copy.MaximumLength = kRegistryPathBytes;
  return copy;
}

void FreeString(UNICODE_STRING& string) {
  if (string.Buffer != nullptr) ExFreePool(string.Buffer);
  string = {};
}

HANDLE OpenServiceKey(UNICODE_STRING& path) {
  if (path.Buffer == nullptr) return 0;
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &path, OBJ_CASE_INSENSITIVE, 0, nullptr);
  HANDLE key = 0;
  return NT_SUCCESS(ZwOpenKey(&key, KEY_QUERY_VALUE | KEY_SET_VALUE, &attributes)) ? key : 0;
}

NTSTATUS CreateDspDevice(PDRIVER_OBJECT driver) {
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, kDspDeviceName);
  PDEVICE_OBJECT device = nullptr;
  NTSTATUS status =
      IoCreateDevice(driver, sizeof(DspDeviceExtension), &name, kDspDeviceType, 0, FALSE, &device);
  if (!NT_SUCCESS(status)) return status;
  // Value-initialised: the context's start relies on zeroed fields.
  DspDeviceExtension& e = *new (device->DeviceExtension) DspDeviceExtension{};
  e.driver = driver;
  e.caller_value = 0;
  e.device = device;
  DspGlobals& globals = Globals();
  e.registry_path = CopyRegistryPath(globals.registry_path);
  e.service_key = OpenServiceKey(globals.registry_path);
  FreeString(globals.registry_path);

  e.events.DspContext = &e.context;
  e.events.RunBlockWork = RunBlockWork;
  InstallSoundPathCallbacks(e.events);
  KeInitializeEvent(&e.events.PerBlockEvent, SynchronizationEvent, FALSE);
  InitDspExclusion(e.exclusion);

  // Without the front end's device the start has nowhere to go; the load
  // still succeeds.
  UNICODE_STRING afe_name;
  RtlInitUnicodeString(&afe_name, kAfeDeviceName);
  IoAttachDevice(device, &afe_name, &e.lower);
  e.device_name = name;
  UNICODE_STRING link;
  RtlInitUnicodeString(&link, kDspLinkName);
  status = IoCreateSymbolicLink(&link, &name);
  if (!NT_SUCCESS(status)) return status;
  device->Flags |= DO_BUFFERED_IO;
  device->Flags &= ~DO_DEVICE_INITIALIZING;
  return STATUS_SUCCESS;
}

}  // namespace

DspGlobals& Globals() { return plat::ke::CurrentKernel().slots().Get<DspGlobals>(); }

NTSTATUS DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registry_path) {
  if (RegSystemVersionMajor() != u'4') return STATUS_UNSUCCESSFUL;
  DspGlobals& globals = Globals();
  globals.registry_path = CopyRegistryPath(*registry_path);
  driver->DriverUnload = DspUnload;
  driver->MajorFunction[IRP_MJ_CREATE] = DspCreateClose;
  driver->MajorFunction[IRP_MJ_CLOSE] = DspCreateClose;
  driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DspDeviceControl;
  CreateDspDevice(driver);
  // A device that could not be made leaves the driver's copy behind.
  FreeString(globals.registry_path);
  return STATUS_SUCCESS;
}

}  // namespace pump
