// The Diagnostic device: a diagnostic program's way to the front end while
// the modem is not in use (it opens only while nobody holds the AFE device,
// and while it is open no block reaches the data pump). It serves most of
// the AFE device's control codes, the self tests (0x46160) and the resource
// report (0x46168); every other code completes with nothing done.
#include <algorithm>
#include <iterator>

#include "afe/windows/afe_device.h"

namespace afe {
namespace {

// The AFE control codes the Diagnostic device serves as the AFE device does;
// the status query (0x460FC) is not among them.
// clang-format off
constexpr ULONG kServedCodes[] = {
    IOCTL_SET_EVENT, 0x460C4, 0x460C8, 0x460CC, 0x460D0, 0x460E0, 0x460E4, 0x460E8, 0x460EC,
    0x460F0, 0x460F4, 0x460F8, 0x46100, 0x46104, 0x46108, 0x46110, 0x46114,
    IOCTL_AFE_SELF_TEST, IOCTL_AFE_RESOURCES,
};
// clang-format on

}  // namespace

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

NTSTATUS DiagnosticControl(PDEVICE_OBJECT device, PIRP irp) {
  if (irp == nullptr) return STATUS_UNSUCCESSFUL;
  const auto* extension = device != nullptr
                              ? static_cast<DiagnosticDeviceExtension*>(device->DeviceExtension)
                              : nullptr;
  if (extension == nullptr || extension->Afe == nullptr) {
    return CompleteAfeRequest(irp, STATUS_UNSUCCESSFUL, 0);
  }
  const ULONG code = IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.IoControlCode;
  if (std::find(std::begin(kServedCodes), std::end(kServedCodes), code) != std::end(kServedCodes)) {
    return ControlAfe(*extension->Afe, irp);
  }
  return CompleteAfeRequest(irp, STATUS_SUCCESS, 0);
}

}  // namespace afe
