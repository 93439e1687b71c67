// The probe device and the statistics device, each with its link.
#include <new>

#include "layer2/corecode/mt/frame/frame.h"
#include "layer2/corecode/mt/stats/perfmon.h"

namespace vxctl {
namespace {

// A device with its link; the device goes again when the link fails.
NTSTATUS CreateLinkedDevice(PDRIVER_OBJECT driver, PCWSTR device_name, PCWSTR link_name,
                            ULONG extension_size, DEVICE_TYPE type, PDEVICE_OBJECT* device) {
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, device_name);
  NTSTATUS status = IoCreateDevice(driver, extension_size, &name, type, 0, TRUE, device);
  if (!NT_SUCCESS(status)) {
    *device = nullptr;
    return status;
  }
  UNICODE_STRING link;
  RtlInitUnicodeString(&link, link_name);
  status = IoCreateSymbolicLink(&link, &name);
  if (!NT_SUCCESS(status)) {
    IoDeleteDevice(*device);
    *device = nullptr;
  }
  return status;
}

}  // namespace

NTSTATUS ntdrv_create_probe_device(PDRIVER_OBJECT driver) {
  return CreateLinkedDevice(driver, kProbeDeviceName, kProbeLinkName,
                            sizeof(SerialDeviceExtension), kProbeDeviceType,
                            &ctl_globals().probe);
}

NTSTATUS ntdrv_create_perf_device(PDRIVER_OBJECT driver) {
  CtlGlobals& globals = ctl_globals();
  const NTSTATUS status =
      CreateLinkedDevice(driver, kPerfDeviceName, kPerfLinkName, sizeof(PerfDeviceExtension),
                         kPerfDeviceType, &globals.statistics);
  if (!NT_SUCCESS(status)) return status;
  perfmon_init();
  auto& e = *new (globals.statistics->DeviceExtension) PerfDeviceExtension{};
  e.kind = kStatisticsDevice;
  e.device = globals.statistics;
  RtlInitUnicodeString(&e.link_name, kPerfLinkName);
  e.flag = 0;
  globals.statistics->Flags |= DO_BUFFERED_IO;
  globals.statistics->Flags &= ~DO_DEVICE_INITIALIZING;
  return STATUS_SUCCESS;
}

}  // namespace vxctl
