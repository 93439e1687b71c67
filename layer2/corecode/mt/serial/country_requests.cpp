// The private requests that set the current and the default country: the
// 4-byte input written as a REG_DWORD under the service's Parameters key.
#include <cstring>

#include "layer2/corecode/mt/serial/serial_dispatch.h"
#include "platform/reg/regroutines.h"

namespace vxctl {
namespace {

constexpr USHORT kPathCharacters = 512;

}  // namespace

NTSTATUS ntdrv_country_request(SerialDeviceExtension& extension, PIRP irp) {
  irp->IoStatus.Information = 0;
  const PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
  if (extension.accepting == 0) return ntdrv_complete(irp, STATUS_UNSUCCESSFUL);
  if (stack->Parameters.DeviceIoControl.InputBufferLength != sizeof(ULONG)) {
    return ntdrv_complete(irp, STATUS_INVALID_BUFFER_SIZE);
  }
  WCHAR buffer[kPathCharacters + 1] = {};
  UNICODE_STRING path{0, kPathCharacters * sizeof(WCHAR), buffer};
  if (!NT_SUCCESS(RtlAppendUnicodeStringToString(&path, &extension.registry_path)) ||
      !NT_SUCCESS(RtlAppendUnicodeToString(&path, u"\\Parameters"))) {
    return ntdrv_complete(irp, STATUS_REGISTRY_IO_FAILED);
  }
  ULONG country = 0;
  std::memcpy(&country, irp->AssociatedIrp.SystemBuffer, sizeof country);
  const PCWSTR name = code == IOCTL_SET_CURRENT_COUNTRY ? u"CurrentCountry" : u"DefaultCountry";
  const NTSTATUS written =
      RtlWriteRegistryValue(RTL_REGISTRY_ABSOLUTE, buffer, name, REG_DWORD, &country, sizeof country);
  return ntdrv_complete(irp, NT_SUCCESS(written) ? STATUS_SUCCESS : STATUS_REGISTRY_IO_FAILED);
}

}  // namespace vxctl
