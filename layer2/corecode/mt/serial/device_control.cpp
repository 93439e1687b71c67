// Device control: the private country requests, the statistics device's
// requests, and the serial requests.
#include "layer2/corecode/mt/serial/serial_dispatch.h"
#include "layer2/corecode/mt/stats/perfmon.h"

namespace vxctl {

NTSTATUS ntdrv_device_control(PDEVICE_OBJECT device, PIRP irp) {
  const ULONG code = IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.IoControlCode;
  if (device->DeviceType == kPerfDeviceType) {
    NTSTATUS status = STATUS_INVALID_DEVICE_REQUEST;  // for a code it does not serve
    perfmon_ioctl(device, irp, status);
    if (status == STATUS_PENDING) return status;
    return ntdrv_complete(irp, status);
  }
  auto& extension = *static_cast<SerialDeviceExtension*>(device->DeviceExtension);
  if (code == IOCTL_SET_CURRENT_COUNTRY || code == IOCTL_SET_DEFAULT_COUNTRY) {
    return ntdrv_country_request(extension, irp);
  }
  return ntdrv_serial_request(extension, irp);
}

}  // namespace vxctl
