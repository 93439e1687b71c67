// Create, close and cleanup, admission and completion, the dispatch table.
#include "layer2/corecode/mt/port/port_call_wrappers.h"
#include "layer2/corecode/mt/serial/serial_dispatch.h"

namespace vxctl {
namespace {

NTSTATUS PassDown(SerialDeviceExtension& extension, PIRP irp) {
  irp->IoStatus.Information = kDspPassInformation;
  IoSkipCurrentIrpStackLocation(irp);
  return IoCallDriver(extension.lower, irp);
}

}  // namespace

NTSTATUS ntdrv_complete(PIRP irp, NTSTATUS status) {
  irp->IoStatus.Status = status;
  IoCompleteRequest(irp, NT_SUCCESS(status) ? IO_SERIAL_INCREMENT : IO_NO_INCREMENT);
  return status;
}

NTSTATUS ntdrv_complete_cancelled(PIRP irp) {
  irp->IoStatus.Information = 0;
  return ntdrv_complete(irp, STATUS_CANCELLED);
}

NTSTATUS ntdrv_admit(SerialDeviceExtension& extension, PIRP irp) {
  if (extension.accepting != 0 && extension.removing == 0) return STATUS_SUCCESS;
  irp->IoStatus.Information = 0;
  return ntdrv_complete(irp, STATUS_UNSUCCESSFUL);
}

NTSTATUS ntdrv_create(PDEVICE_OBJECT device, PIRP irp) {
  if (!IsSerialPort(device)) return ntdrv_complete(irp, STATUS_SUCCESS);
  SerialDeviceExtension& extension = ExtensionOf(device);
  // Admitted before the port opens, so that a refused create leaves no
  // open port behind it.
  if (!NT_SUCCESS(ntdrv_admit(extension, irp))) return STATUS_UNSUCCESSFUL;
  if (!NT_SUCCESS(port_call_open(extension.port_block))) {
    return ntdrv_complete(irp, STATUS_NO_SUCH_DEVICE);
  }
  if (!NT_SUCCESS(port_call_setup(extension.port_block, 4096, 1024))) {
    port_call_close(extension.port_block);
    return ntdrv_complete(irp, STATUS_NO_SUCH_DEVICE);
  }
  KIRQL old;
  KeAcquireSpinLock(&extension.open_count_lock, &old);
  ++extension.open_count;
  extension.pending_wait = nullptr;
  extension.reserved_a = 0;
  KeReleaseSpinLock(&extension.open_count_lock, old);
  return PassDown(extension, irp);
}

NTSTATUS ntdrv_close(PDEVICE_OBJECT device, PIRP irp) {
  if (!IsSerialPort(device)) return ntdrv_complete(irp, STATUS_SUCCESS);
  SerialDeviceExtension& extension = ExtensionOf(device);
  KIRQL old;
  KeAcquireSpinLock(&extension.open_count_lock, &old);
  const bool was_open = extension.open_count != 0;
  if (was_open) --extension.open_count;
  KeReleaseSpinLock(&extension.open_count_lock, old);
  if (was_open) port_call_close(extension.port_block);
  irp->IoStatus.Status = STATUS_SUCCESS;
  return PassDown(extension, irp);
}

// The handle's reads and writes are purged and its pending wait ends too:
// that request holds the file, whose close would otherwise not come.
NTSTATUS ntdrv_cleanup(PDEVICE_OBJECT device, PIRP irp) {
  if (IsSerialPort(device)) {
    SerialDeviceExtension& extension = ExtensionOf(device);
    ntdrv_purge_reads(extension);
    ntdrv_purge_writes(extension);
    ntdrv_wait_end(extension);
  }
  irp->IoStatus.Information = 0;
  return ntdrv_complete(irp, STATUS_SUCCESS);
}

void ntdrv_install_dispatch(PDRIVER_OBJECT driver) {
  driver->MajorFunction[IRP_MJ_CREATE] = ntdrv_create;
  driver->MajorFunction[IRP_MJ_CLOSE] = ntdrv_close;
  driver->MajorFunction[IRP_MJ_CLEANUP] = ntdrv_cleanup;
  driver->MajorFunction[IRP_MJ_READ] = ntdrv_read;
  driver->MajorFunction[IRP_MJ_WRITE] = ntdrv_write;
  driver->MajorFunction[IRP_MJ_FLUSH_BUFFERS] = ntdrv_write;
  driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = ntdrv_device_control;
}

}  // namespace vxctl
