// Read, write and flush requests: served at once or queued for their
// worker, cancelled where they are, purged from their queues.
#include "layer2/corecode/mt/port/port_block.h"
#include "layer2/corecode/mt/port/uart.h"
#include "layer2/corecode/mt/serial/irp_workers.h"
#include "layer2/corecode/mt/serial/serial_dispatch.h"
#include "layer2/corecode/mt/serial/transfer_side.h"

namespace vxctl {
namespace {

constexpr ULONG kForever = 0xFFFFFFFF;

NTSTATUS Queue(const TransferSide& side, PIRP irp) {
  KIRQL irql;
  IoAcquireCancelSpinLock(&irql);
  IoSetCancelRoutine(irp, side.cancel);
  IoMarkIrpPending(irp);
  SetRequestState(irp, kRequestQueued);
  InsertTailList(&side.queue, &irp->Tail.Overlay.ListEntry);
  IoReleaseCancelSpinLock(irql);
  KeSetEvent(&side.worker.kick, IO_NO_INCREMENT, FALSE);
  return STATUS_PENDING;
}

// What read and write share up to the decision: admission, a zero length,
// a request cancelled before it got here. True when the request is
// complete (`status` its result).
bool Finished(PDEVICE_OBJECT device, PIRP irp, ULONG length, NTSTATUS& status) {
  irp->IoStatus.Information = 0;
  if (!IsSerialPort(device)) {
    status = ntdrv_complete(irp, STATUS_SUCCESS);
    return true;
  }
  SetRequestState(irp, kRequestInDispatch);
  irp->Tail.Overlay.DriverContext[1] = nullptr;
  status = ntdrv_admit(ExtensionOf(device), irp);
  if (!NT_SUCCESS(status)) return true;
  if (length == 0) {
    status = ntdrv_complete(irp, STATUS_SUCCESS);
    return true;
  }
  if (irp->Cancel) {
    IoSetCancelRoutine(irp, nullptr);
    status = ntdrv_complete_cancelled(irp);
    return true;
  }
  return false;
}

void CancelQueued(const TransferSide& side, PIRP irp) {
  switch (RequestState(irp)) {
    case kRequestQueued:
      RemoveEntryList(&irp->Tail.Overlay.ListEntry);
      IoReleaseCancelSpinLock(irp->CancelIrql);
      ntdrv_complete_cancelled(irp);
      return;
    case kRequestPurging:
      IoReleaseCancelSpinLock(irp->CancelIrql);
      ntdrv_complete_cancelled(irp);
      return;
    case kRequestServed:
      IoReleaseCancelSpinLock(irp->CancelIrql);
      AbortTransfer(side);
      return;
    default:
      IoReleaseCancelSpinLock(irp->CancelIrql);
      return;
  }
}

// Newest first, each through its own cancel routine; then the transfer
// being served is aborted.
void Purge(SerialDeviceExtension& extension, const TransferSide& side) {
  KIRQL irql;
  IoAcquireCancelSpinLock(&irql);
  while (!IsListEmpty(&side.queue)) {
    const PIRP irp = RequestOf(side.queue.Blink);
    RemoveEntryList(&irp->Tail.Overlay.ListEntry);
    SetRequestState(irp, kRequestPurging);
    irp->CancelIrql = irql;
    const PDRIVER_CANCEL routine = IoSetCancelRoutine(irp, nullptr);
    irp->Cancel = TRUE;
    if (routine != nullptr) {
      routine(extension.device, irp);
    } else {
      IoReleaseCancelSpinLock(irql);
      ntdrv_complete_cancelled(irp);
    }
    IoAcquireCancelSpinLock(&irql);
  }
  IoReleaseCancelSpinLock(irql);
  AbortTransfer(side);
}

}  // namespace

bool ntdrv_read_now(const PortBlock& port, ULONG length, ULONG& count) {
  count = length;
  if (KeGetCurrentIrql() > PASSIVE_LEVEL) return false;
  const ULONG queued = uart_rx_count();
  if (queued >= length) return true;
  const ULONG interval = port.timeouts.ReadIntervalTimeout;
  const ULONG multiplier = port.timeouts.ReadTotalTimeoutMultiplier;
  const ULONG constant = port.timeouts.ReadTotalTimeoutConstant;
  if (interval == 0 && multiplier == 0 && constant == 0) return false;
  if (interval > 0 && interval < kForever) return queued != 0;
  if (multiplier == 0 && constant == 0) return true;
  if (multiplier != kForever && constant != kForever) return true;
  if (multiplier == kForever && constant != kForever && queued != 0) {
    count = queued;
    return true;
  }
  return false;
}

NTSTATUS ntdrv_read(PDEVICE_OBJECT device, PIRP irp) {
  const ULONG length = IoGetCurrentIrpStackLocation(irp)->Parameters.Read.Length;
  NTSTATUS status = STATUS_SUCCESS;
  if (Finished(device, irp, length, status)) return status;
  SerialDeviceExtension& extension = ExtensionOf(device);
  PortBlock* port = extension.port_block;
  ULONG count = length;
  if (!ntdrv_read_now(*port, length, count)) return Queue(ReadSide(extension), irp);
  if (!ntdrv_read_drain(extension, irp)) return ntdrv_complete(irp, STATUS_UNSUCCESSFUL);
  std::uint32_t read = 0;
  const bool ok = port->table->read != nullptr &&
                  port->table->read(port, static_cast<std::uint8_t*>(irp->AssociatedIrp.SystemBuffer),
                                    count, &read, &irp->Cancel);
  irp->IoStatus.Information = read;
  return ntdrv_complete(irp, ok ? STATUS_SUCCESS : STATUS_UNSUCCESSFUL);
}

NTSTATUS ntdrv_write(PDEVICE_OBJECT device, PIRP irp) {
  const ULONG length = IoGetCurrentIrpStackLocation(irp)->Parameters.Write.Length;
  NTSTATUS status = STATUS_SUCCESS;
  if (Finished(device, irp, length, status)) return status;
  return Queue(WriteSide(ExtensionOf(device)), irp);
}

void ntdrv_read_cancel(PDEVICE_OBJECT device, PIRP irp) {
  CancelQueued(ReadSide(ExtensionOf(device)), irp);
}

void ntdrv_write_cancel(PDEVICE_OBJECT device, PIRP irp) {
  CancelQueued(WriteSide(ExtensionOf(device)), irp);
}

void ntdrv_purge_reads(SerialDeviceExtension& extension) {
  Purge(extension, ReadSide(extension));
}

void ntdrv_purge_writes(SerialDeviceExtension& extension) {
  Purge(extension, WriteSide(extension));
}

}  // namespace vxctl
