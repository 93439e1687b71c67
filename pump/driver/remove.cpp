// RemoveDsp: the controller's IOCTL_MODEM_STOP, and the unload when that
// never came. The block thread ends first: until it has, it may reach the
// host interface, the context's resources and the front end's interface, so
// a stop whose thread does not end frees nothing and fails with
// STATUS_TIMEOUT; a later stop waits for the thread again.
#include "platform/ex/expool.h"
#include "platform/reg/regroutines.h"
#include "pump/context/init_context.h"
#include "pump/driver/dsp_device.h"

namespace pump {
namespace {

// Writes VOVProfile back and frees what the start allocated, once no
// controller call is inside: one turn of the exclusion waits out a call in
// progress, and the pump is marked stopped inside it, so later calls run
// nothing.
void ReleaseDataPump(DspDeviceExtension& e) {
  if (e.events.HostInterface == nullptr) return;
  EnterDspExclusion(e.exclusion);
  e.started = 0;
  LeaveExclusion(e);
  SaveDspProfile(e.context);
  FreeHostInterface(e.events.HostInterface);
  e.events.HostInterface = nullptr;
  e.context.host = nullptr;
}

void ReleaseNames(DspDeviceExtension& e) {
  if (e.service_key != 0) ZwClose(e.service_key);
  e.service_key = 0;
  if (e.registry_path.Buffer != nullptr) ExFreePool(e.registry_path.Buffer);
  e.registry_path = {};
  UNICODE_STRING link;
  RtlInitUnicodeString(&link, kDspLinkName);
  IoDeleteSymbolicLink(&link);
}

// The unload's own stop request to the front end.
NTSTATUS SendStopDown(PDEVICE_OBJECT lower) {
  KEVENT done;
  KeInitializeEvent(&done, NotificationEvent, FALSE);
  IO_STATUS_BLOCK status{};
  PIRP stop = IoBuildDeviceIoControlRequest(IOCTL_MODEM_STOP, lower, nullptr, 0, nullptr, 0, FALSE,
                                            &done, &status);
  if (stop == nullptr) return STATUS_INSUFFICIENT_RESOURCES;
  if (IoCallDriver(lower, stop) == STATUS_PENDING) {
    KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, nullptr);
  }
  return status.Status;
}

}  // namespace

NTSTATUS RemoveDsp(DspDeviceExtension& e, PIRP irp) {
  NTSTATUS result = StopBlockThread(e);
  if (result == STATUS_TIMEOUT) {
    return irp != nullptr ? CompleteRequest(irp, STATUS_TIMEOUT, 0) : STATUS_TIMEOUT;
  }
  ReleaseDataPump(e);
  ReleaseNames(e);
  // The front end deletes its devices while it handles the stop; nothing
  // calls its interface any more.
  if (e.lower != nullptr) {
    result = irp != nullptr ? CallLowerDriverSync(e.lower, irp) : SendStopDown(e.lower);
    IoDetachDevice(e.lower);
    e.lower = nullptr;
  }
  PDEVICE_OBJECT device = e.device;
  if (irp != nullptr) CompleteRequest(irp, result, 0);
  IoDeleteDevice(device);
  return result;
}

}  // namespace pump
