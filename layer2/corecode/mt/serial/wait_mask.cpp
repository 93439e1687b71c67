// The wait mask: its setting, the one pending wait-on-mask request and its
// cancellation. Whoever takes the request's cancel routine back completes
// it; a cancel routine that finds its request pending hands it to the
// wait-on-mask worker instead.
#include "layer2/corecode/mt/port/port_block.h"
#include "layer2/corecode/mt/port/port_functions.h"
#include "layer2/corecode/mt/serial/irp_workers.h"
#include "layer2/corecode/mt/serial/serial_dispatch.h"

namespace vxctl {
namespace {

constexpr ULONG_PTR kHandedOver = 1;
// The event notification's reference data while a wait is pending.
const auto kWaitReference = reinterpret_cast<void*>(ULONG_PTR{0xFFFFFFFF});

void NotifyEvents(SerialDeviceExtension& extension, bool on) {
  PortBlock* port = extension.port_block;
  if (port->table->enable_notification == nullptr) return;
  port->table->enable_notification(port, on ? port_null_callback : nullptr,
                                   on ? kWaitReference : nullptr);
}

// The pending wait request when its cancel routine could be taken back
// (no longer pending then); null otherwise.
PIRP TakePendingWait(SerialDeviceExtension& extension) {
  KIRQL irql;
  KeAcquireSpinLock(&extension.wait_lock, &irql);
  PIRP irp = extension.pending_wait;
  if (irp != nullptr && IoSetCancelRoutine(irp, nullptr) != nullptr) {
    extension.pending_wait = nullptr;
  } else {
    irp = nullptr;
  }
  KeReleaseSpinLock(&extension.wait_lock, irql);
  return irp;
}

}  // namespace

void HandOverWait(PIRP irp) {
  irp->Tail.Overlay.DriverContext[1] = reinterpret_cast<PVOID>(kHandedOver);
}

bool WaitHandedOver(PIRP irp) {
  return reinterpret_cast<ULONG_PTR>(irp->Tail.Overlay.DriverContext[1]) == kHandedOver;
}

NTSTATUS ntdrv_set_wait_mask(SerialDeviceExtension& extension, ULONG mask) {
  if (PIRP pending = TakePendingWait(extension)) {
    *static_cast<ULONG*>(pending->AssociatedIrp.SystemBuffer) = 0;
    pending->IoStatus.Information = sizeof(ULONG);
    ntdrv_complete(pending, STATUS_SUCCESS);
  }
  extension.history_mask &= mask;
  extension.event_word &= mask;
  PortBlock* port = extension.port_block;
  if (port->table->set_event_mask == nullptr ||
      !port->table->set_event_mask(port, mask, &extension.event_word)) {
    return STATUS_INVALID_PARAMETER;
  }
  extension.wait_mask = mask;
  return STATUS_SUCCESS;
}

NTSTATUS ntdrv_wait_on_mask(SerialDeviceExtension& extension, PIRP irp) {
  irp->IoStatus.Information = 0;
  irp->Tail.Overlay.DriverContext[1] = nullptr;
  IoMarkIrpPending(irp);
  IoSetCancelRoutine(irp, ntdrv_wait_cancel);
  KIRQL irql;
  KeAcquireSpinLock(&extension.wait_lock, &irql);
  if (irp->Cancel || extension.pending_wait != nullptr || extension.wait_mask == 0) {
    KeReleaseSpinLock(&extension.wait_lock, irql);
    // Without its cancel routine back, the routine completes it.
    if (IoSetCancelRoutine(irp, nullptr) != nullptr) {
      if (irp->Cancel) {
        ntdrv_complete_cancelled(irp);
      } else {
        ntdrv_complete(irp, STATUS_INVALID_PARAMETER);
      }
    }
    return STATUS_PENDING;
  }
  extension.pending_wait = irp;
  KeReleaseSpinLock(&extension.wait_lock, irql);
  NotifyEvents(extension, true);
  if (ntdrv_events_detected(extension) != 0) {
    KeSetEvent(&irp_workers().wait.kick, IO_NO_INCREMENT, FALSE);
  }
  return STATUS_PENDING;
}

void ntdrv_wait_cancel(PDEVICE_OBJECT device, PIRP irp) {
  IoReleaseCancelSpinLock(irp->CancelIrql);
  SerialDeviceExtension& extension = ExtensionOf(device);
  KIRQL irql;
  KeAcquireSpinLock(&extension.wait_lock, &irql);
  const PIRP pending = extension.pending_wait;
  if (pending == irp) HandOverWait(irp);
  KeReleaseSpinLock(&extension.wait_lock, irql);
  if (pending == irp) {
    NotifyEvents(extension, false);
    ntdrv_wait_abort(extension);
    return;
  }
  // Not pending (yet, or any more): nobody else completes it.
  if (pending == nullptr) NotifyEvents(extension, false);
  ntdrv_complete_cancelled(irp);
}

void ntdrv_wait_keep(SerialDeviceExtension& extension, PIRP irp) {
  IoSetCancelRoutine(irp, ntdrv_wait_cancel);
  if (!irp->Cancel || IoSetCancelRoutine(irp, nullptr) == nullptr) return;
  // Cancelled while its routine was off: no routine ran, so it ends here.
  KIRQL irql;
  KeAcquireSpinLock(&extension.wait_lock, &irql);
  if (extension.pending_wait == irp) extension.pending_wait = nullptr;
  KeReleaseSpinLock(&extension.wait_lock, irql);
  ntdrv_complete_cancelled(irp);
}

void ntdrv_wait_end(SerialDeviceExtension& extension) {
  if (PIRP pending = TakePendingWait(extension)) {
    NotifyEvents(extension, false);
    ntdrv_complete_cancelled(pending);
  }
}

}  // namespace vxctl
