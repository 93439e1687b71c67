// The DSP device's dispatch: create and close, the device controls, and the
// two ways of passing a request down to the front end.
#include "platform/ke/ke.h"
#include "pump/driver/dsp_device.h"

namespace pump {
namespace {

DspDeviceExtension& Extension(PDEVICE_OBJECT device) {
  return *static_cast<DspDeviceExtension*>(device->DeviceExtension);
}

// The lower driver completed the request: the waiting caller gets it back.
NTSTATUS SyncCompletion(PDEVICE_OBJECT, PIRP, PVOID context) {
  KeSetEvent(static_cast<PKEVENT>(context), IO_NO_INCREMENT, FALSE);
  return STATUS_MORE_PROCESSING_REQUIRED;
}

NTSTATUS PassDownRequest(DspDeviceExtension& e, PIRP irp) {
  if (e.lower == nullptr) return CompleteRequest(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
  return CallLowerDriver(e.lower, irp);
}

}  // namespace

NTSTATUS CompleteRequest(PIRP irp, NTSTATUS status, ULONG_PTR information) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

NTSTATUS CallLowerDriver(PDEVICE_OBJECT lower, PIRP irp) {
  IoSkipCurrentIrpStackLocation(irp);
  return IoCallDriver(lower, irp);
}

NTSTATUS CallLowerDriverSync(PDEVICE_OBJECT lower, PIRP irp) {
  KEVENT done;
  KeInitializeEvent(&done, NotificationEvent, FALSE);
  IoCopyCurrentIrpStackLocationToNext(irp);
  IoSetCompletionRoutine(irp, SyncCompletion, &done, TRUE, TRUE, TRUE);
  if (IoCallDriver(lower, irp) == STATUS_PENDING) {
    KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, nullptr);
  }
  return irp->IoStatus.Status;
}

NTSTATUS DspCreateClose(PDEVICE_OBJECT device, PIRP irp) {
  DspDeviceExtension& e = Extension(device);
  if (e.started != 0) return PassDownRequest(e, irp);
  return CompleteRequest(irp, STATUS_SUCCESS, 0);
}

NTSTATUS DspDeviceControl(PDEVICE_OBJECT device, PIRP irp) {
  DspDeviceExtension& e = Extension(device);
  const ULONG code = IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.IoControlCode;
  if (code != IOCTL_MODEM_START && code != IOCTL_MODEM_STOP) return PassDownRequest(e, irp);
  // The start hands over code addresses the data pump calls, and the stop
  // deletes the device: only the controller, a kernel-mode requestor.
  if (irp->RequestorMode != KernelMode) return CompleteRequest(irp, STATUS_ACCESS_DENIED, 0);
  return code == IOCTL_MODEM_START ? StartDsp(e, irp) : RemoveDsp(e, irp);
}

void DspUnload(PDRIVER_OBJECT driver) {
  // Normally the controller's stop has removed the device already; when it
  // never came, the unload removes it.
  if (PDEVICE_OBJECT device = driver->DeviceObject; device != nullptr) {
    RemoveDsp(Extension(device), nullptr);
  }
}

}  // namespace pump
