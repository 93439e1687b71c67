// Cancellation: the machine's cancel spin lock, IoCancelIrp, and the
// cancellation of a file's requests (the user's CancelIoEx).
#include "platform/io/files.h"
#include "platform/io/io_manager.h"

using namespace plat::io;

void IoAcquireCancelSpinLock(PKIRQL Irql) {
  KeAcquireSpinLock(&CurrentManager().cancel_lock(), Irql);
}

void IoReleaseCancelSpinLock(KIRQL Irql) {
  KeReleaseSpinLock(&CurrentManager().cancel_lock(), Irql);
}

BOOLEAN IoCancelIrp(PIRP Irp) {
  IoManager& io = CurrentManager();
  RequireAtMost(io, DISPATCH_LEVEL, "IoCancelIrp");
  RecordOf(io, Irp, "io.bad-request", "IoCancelIrp");
  KIRQL irql;
  IoAcquireCancelSpinLock(&irql);
  Irp->Cancel = TRUE;
  const PDRIVER_CANCEL routine = IoSetCancelRoutine(Irp, nullptr);
  if (routine == nullptr) {
    IoReleaseCancelSpinLock(irql);
    io.Trace("request " + std::to_string(RequestNumber(Irp)) + " marked cancelled");
    return FALSE;
  }
  Irp->CancelIrql = irql;
  const PDEVICE_OBJECT device = Irp->CurrentLocation <= Irp->StackCount
                                    ? IoGetCurrentIrpStackLocation(Irp)->DeviceObject
                                    : nullptr;
  io.Trace("request " + std::to_string(RequestNumber(Irp)) + " cancelled at " + DeviceText(device));
  {
    const plat::ke::OwnerScope owner(device != nullptr ? DriverText(device->DriverObject)
                                                       : plat::ke::CurrentOwner());
    routine(device, Irp);
  }
  if (io.cancel_lock() != 0) {
    io.Fatal("io.cancel-lock-kept", "the cancel routine of " + DeviceText(device) +
                                        " returned without releasing the cancel spin lock");
  }
  return TRUE;
}

namespace plat::io {

std::size_t CancelFileRequests(PFILE_OBJECT file) {
  IoManager& io = CurrentManager();
  std::vector<ULONG> numbers;
  for (PIRP irp : io.PendingOn(file)) numbers.push_back(RequestNumber(irp));
  // A cancel routine may end other requests of the list: each is looked up again.
  for (ULONG number : numbers) {
    const IrpRecord* record = io.FindRecord(number);
    if (record != nullptr && !record->completed) IoCancelIrp(record->irp);
  }
  return numbers.size();
}

}  // namespace plat::io
