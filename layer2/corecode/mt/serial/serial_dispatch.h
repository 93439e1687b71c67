// The serial port's dispatch routines: what makes the controller's port an
// ordinary COM port for applications. Create and close open and close the
// port layer and go down to the DSP device as well; device control turns
// the standard serial requests into port functions and serves the two
// private country requests on the serial and probe devices.
#pragma once

#include "layer2/corecode/mt/frame/frame.h"
#include "platform/io/io.h"

namespace vxctl {
struct PortBlock;
}

namespace vxctl {

inline constexpr ULONG IOCTL_SET_CURRENT_COUNTRY = 0x22E000;
inline constexpr ULONG IOCTL_SET_DEFAULT_COUNTRY = 0x22E004;
// The information value create and close carry down to the DSP device.
inline constexpr ULONG_PTR kDspPassInformation = 0x3272794C;

NTSTATUS ntdrv_create(PDEVICE_OBJECT device, PIRP irp);
NTSTATUS ntdrv_close(PDEVICE_OBJECT device, PIRP irp);
NTSTATUS ntdrv_cleanup(PDEVICE_OBJECT device, PIRP irp);
NTSTATUS ntdrv_device_control(PDEVICE_OBJECT device, PIRP irp);
// Reads are served at once (after the queued ones) or queued for the read
// worker (ntdrv_read_now decides); writes and flushes of a non-zero length
// always go to the write worker; a zero length completes at once.
NTSTATUS ntdrv_read(PDEVICE_OBJECT device, PIRP irp);
NTSTATUS ntdrv_write(PDEVICE_OBJECT device, PIRP irp);

// The read decision for `length` bytes under the port's time-outs: true
// to serve at once with `count` bytes (preset to `length`), false to queue.
bool ntdrv_read_now(const PortBlock& port, ULONG length, ULONG& count);

// Cancel routines, by the request's state (kRequest...): a queued request
// is unlinked and cancelled, one being purged cancelled, one being served
// aborted (its worker completes it).
void ntdrv_read_cancel(PDEVICE_OBJECT device, PIRP irp);
void ntdrv_write_cancel(PDEVICE_OBJECT device, PIRP irp);
// Cancels every queued read (write), newest first, then aborts the one
// being served.
void ntdrv_purge_reads(SerialDeviceExtension& extension);
void ntdrv_purge_writes(SerialDeviceExtension& extension);

// IOCTL_SERIAL_SET_WAIT_MASK (mask already cut to the eleven events): the
// pending wait completes with no events, then the new mask applies.
NTSTATUS ntdrv_set_wait_mask(SerialDeviceExtension& extension, ULONG mask);
// IOCTL_SERIAL_WAIT_ON_MASK: always STATUS_PENDING (the request is marked
// pending first); it completes at once when refused or cancelled, else
// when the wait-on-mask worker sees an event.
NTSTATUS ntdrv_wait_on_mask(SerialDeviceExtension& extension, PIRP irp);
void ntdrv_wait_cancel(PDEVICE_OBJECT device, PIRP irp);
// Cleanup's part: the pending wait completes with STATUS_CANCELLED.
void ntdrv_wait_end(SerialDeviceExtension& extension);

// STATUS_SUCCESS while the device accepts requests and is not being
// removed; otherwise the request is completed with STATUS_UNSUCCESSFUL.
NTSTATUS ntdrv_admit(SerialDeviceExtension& extension, PIRP irp);
// Stores the status and completes the request (boost 2 on success, else 0).
NTSTATUS ntdrv_complete(PIRP irp, NTSTATUS status);
// Completes the request with STATUS_CANCELLED and no data.
NTSTATUS ntdrv_complete_cancelled(PIRP irp);

inline SerialDeviceExtension& ExtensionOf(PDEVICE_OBJECT device) {
  return *static_cast<SerialDeviceExtension*>(device->DeviceExtension);
}
// The probe and statistics devices share the kind word at the start of
// their extensions.
inline bool IsSerialPort(PDEVICE_OBJECT device) {
  return *static_cast<const ULONG*>(device->DeviceExtension) == kSerialPortDevice;
}

// The private country requests; `extension` of the serial or probe device.
NTSTATUS ntdrv_country_request(SerialDeviceExtension& extension, PIRP irp);
// The standard serial requests of the serial and probe devices.
NTSTATUS ntdrv_serial_request(SerialDeviceExtension& extension, PIRP irp);

// Installs the dispatch routines.
void ntdrv_install_dispatch(PDRIVER_OBJECT driver);

}  // namespace vxctl
