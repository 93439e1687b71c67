// The serial port's dispatch routines: what makes the controller's port an
// ordinary COM port for applications. Create and close open and close the
// port layer and go down to the DSP device as well; device control turns
// the standard serial requests into port functions and serves the two
// private country requests on the serial and probe devices.
#pragma once

#include "layer2/corecode/mt/frame/frame.h"
#include "platform/io/io.h"

namespace vxctl {

inline constexpr ULONG IOCTL_SET_CURRENT_COUNTRY = 0x22E000;
inline constexpr ULONG IOCTL_SET_DEFAULT_COUNTRY = 0x22E004;
// The information value create and close carry down to the DSP device.
inline constexpr ULONG_PTR kDspPassInformation = 0x3272794C;

NTSTATUS ntdrv_create(PDEVICE_OBJECT device, PIRP irp);
NTSTATUS ntdrv_close(PDEVICE_OBJECT device, PIRP irp);
NTSTATUS ntdrv_cleanup(PDEVICE_OBJECT device, PIRP irp);
NTSTATUS ntdrv_device_control(PDEVICE_OBJECT device, PIRP irp);

// STATUS_SUCCESS while the device accepts requests and is not being
// removed; otherwise the request is completed with STATUS_UNSUCCESSFUL.
NTSTATUS ntdrv_admit(SerialDeviceExtension& extension, PIRP irp);
// Stores the status and completes the request (boost 2 on success, else 0).
NTSTATUS ntdrv_complete(PIRP irp, NTSTATUS status);

// The private country requests; `extension` of the serial or probe device.
NTSTATUS ntdrv_country_request(SerialDeviceExtension& extension, PIRP irp);
// The standard serial requests of the serial and probe devices.
NTSTATUS ntdrv_serial_request(SerialDeviceExtension& extension, PIRP irp);

// Installs the dispatch routines.
void ntdrv_install_dispatch(PDRIVER_OBJECT driver);

}  // namespace vxctl
