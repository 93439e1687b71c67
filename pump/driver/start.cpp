// StartDsp: the controller's IOCTL_MODEM_START. The request goes on to the
// front end with the AfeEventBlock in place of the controller's callback;
// the front end answers with its AfeInterface, over which the data pump
// builds its access state, host interface, profiles and context, and starts
// its block thread. The controller receives the DspContext's address.
#include <cstring>

#include "platform/ex/expool.h"
#include "pump/afe_access/afe_access.h"
#include "pump/context/init_context.h"
#include "pump/context/profiles.h"
#include "pump/driver/dsp_device.h"

namespace pump {
namespace {

template <class T>
T* ReadAddress(const void* buffer) {
  T* address;
  std::memcpy(&address, buffer, sizeof address);
  return address;
}

void WriteAddress(void* buffer, const void* address) {
  std::memcpy(buffer, &address, sizeof address);
}

// The profile path, the ProfileFlags word the front end reads, and the
// context. False when the path cannot be kept.
bool InitDspState(DspDeviceExtension& e, AfeAccess* afe, HostInterface* host) {
  if (!SetProfilePath(e.registry_path)) return false;
  e.events.ProfileFlags = &e.context.profile.flags;
  InitDspContext(e.context, afe, host);
  return true;
}

// Binds the data pump to the front end's interface and to the controller's
// callback. A failure leaves nothing allocated.
NTSTATUS BindDataPump(DspDeviceExtension& e, afe::AfeInterface* afe, ControllerCallback callback) {
  AfeAccess* access = BuildAfeAccess(afe);
  if (access == nullptr) return STATUS_INSUFFICIENT_RESOURCES;
  e.events.AfeAccess = access;
  HostInterface* host = AllocHostInterface();
  if (host == nullptr) return STATUS_INSUFFICIENT_RESOURCES;
  InitHostInterface(*host, callback, ControllerCall);
  NTSTATUS status = STATUS_INSUFFICIENT_RESOURCES;
  if (InitDspState(e, access, host)) {
    e.events.HostInterface = host;
    if (NT_SUCCESS(StartBlockThread(e))) return STATUS_SUCCESS;
    status = STATUS_UNSUCCESSFUL;
    FreeProfilePath();
  }
  e.events.HostInterface = nullptr;
  e.context.host = nullptr;
  FreeHostInterface(host);
  return status;
}

}  // namespace

NTSTATUS StartDsp(DspDeviceExtension& e, PIRP irp) {
  const PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  if (stack->Parameters.DeviceIoControl.InputBufferLength < kStartBufferBytes ||
      stack->Parameters.DeviceIoControl.OutputBufferLength < kStartBufferBytes) {
    return CompleteRequest(irp, STATUS_INVALID_PARAMETER, 0);
  }
  // One start per device: a second would start a second thread over the
  // first one's host interface.
  if (e.start_state != kDspNotStarted) {
    return CompleteRequest(irp, STATUS_INVALID_DEVICE_STATE, 0);
  }
  void* buffer = irp->AssociatedIrp.SystemBuffer;
  const auto callback = ReadAddress<void(HostInterface*)>(buffer);
  WriteAddress(buffer, &e.events);
  e.start_state = kDspStarting;
  NTSTATUS status = STATUS_NO_SUCH_DEVICE;
  if (e.lower != nullptr) {
    status = CallLowerDriverSync(e.lower, irp);
    if (NT_SUCCESS(status)) {
      status = irp->IoStatus.Information < kStartBufferBytes
                   ? STATUS_INSUFFICIENT_RESOURCES
                   : BindDataPump(e, ReadAddress<afe::AfeInterface>(buffer), callback);
    }
  }
  e.previous_start_state = e.start_state;
  e.start_state = kDspStartHandled;
  if (NT_SUCCESS(status)) e.started = 1;
  WriteAddress(buffer, &e.context);
  return CompleteRequest(irp, status, kStartBufferBytes);
}

}  // namespace pump
